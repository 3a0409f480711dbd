// Renders the monitor's window after twenty seconds of a simulated device
// into the PNG named on the command line. Run by tools/screenshot.sh.
#include "chart/grap_chart.h"
#include "pty_pair.h"
#include "reception/reception_state.h"
#include "serial/mscomm.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>

#include <cmath>

namespace {

QByteArray reading(int second)
{
    const double t = second / 3.0;
    const int a = int(512 + 300 * std::sin(t));
    const int b = int(300 + 120 * std::cos(t / 2));
    const int c = int(800 + 150 * std::sin(t * 1.7));
    return QStringLiteral("%1,%2,%3\r\n").arg(a).arg(b).arg(c).toLatin1();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        qCritical("usage: window-screenshot OUTPUT.png");
        return 2;
    }
    PtyPair device;
    ReceptionState reception;
    Form1 form(reception);
    form.findChild<MSComm *>(QStringLiteral("MSComm1"))->setDeviceMap({{QStringLiteral("1"), device.slavePath()}});
    form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
    form.findChild<QRadioButton *>(QStringLiteral("Spd_baud(2)"))->setChecked(true);
    form.show();
    form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"))->click();

    QTime clock(14, 3, 7);
    form.setClock([&clock] { return QDateTime(QDate(2026, 12, 6), clock); });
    auto &comm = *form.findChild<MSComm *>(QStringLiteral("MSComm1"));
    for (int second = 0; second < 20; ++second) {
        const QByteArray record = reading(second);
        device.send(record);
        QTest::qWaitFor([&] { return comm.InBufferCount() == record.size(); });
        form.Timer1_Timer();
        clock = clock.addSecs(1);
    }
    QTest::qWait(100);
    return form.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
