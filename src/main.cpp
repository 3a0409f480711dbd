#include "reception/reception_state.h"
#include "window/form1.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sensor-monitor"));
    QApplication::setApplicationVersion(QStringLiteral(SENSOR_MONITOR_VERSION));
    // Docks, task switchers and Wayland compositors find the menu entry's name and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral(SENSOR_MONITOR_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/" SENSOR_MONITOR_APP_ID ".svg")));
    ReceptionState reception;
    Form1 window(reception);
    window.show();
    return app.exec();
}
