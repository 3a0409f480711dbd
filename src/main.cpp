#include "app/keep_records.h"
#include "app/termination_signals.h"
#include "command_line/console.h"
#include "command_line/monitor_options.h"
#include "reception/reception_state.h"
#include "recording/recording.h"
#include "sim/demo_device.h"
#include "window/form1.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <optional>


int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("sensor-monitor"));
    attachToParentConsole();
    // Read before any window exists, so that --help, --version and usage
    // errors also work where there is no display.
    const MonitorVerdict verdict = parseMonitorCommandLine(argumentsOf(argc, argv));
    if (!verdict.run)
        return verdict.printMessage();
    const MonitorOptions &options = verdict.options;

    // Files are checked before any window too: a refused file ends the
    // program with the reason, even where there is no display.
    Recording recording;
    if (const QString refusal = openRecording(recording, options.recordPath, options.capturePath);
        !refusal.isEmpty()) {
        std::fputs(refusal.toLocal8Bit().constData(), stderr);
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(SENSOR_MONITOR_VERSION));
    // Docks, task switchers and Wayland compositors find the menu entry's name and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral(SENSOR_MONITOR_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/" SENSOR_MONITOR_APP_ID ".svg")));
    // The demo device sends for the whole run, whether or not Com 1 is open.
    std::optional<DemoDevice> demo;
    if (options.demo) {
        demo.emplace();
        if (!demo->isValid()) {
            std::fprintf(stderr, "sensor-monitor: --demo: cannot make the demo device: %s\n",
                         qPrintable(demo->errorString()));
            return 1;
        }
        demo->start();
    }
    ReceptionState reception;
    Form1 window(reception);
    for (const auto &[port, device] : options.ports)
        window.assignPort(port, device);
    if (demo)
        window.assignPort(1, demo->path(), demo->description(), demo->inProcessLine());
    keepRecords(window, recording);
    window.show();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window, &Form1::Command1_Click);
    return app.exec();
}
