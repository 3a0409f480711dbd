// The monitor's window on real kernel drivers: run inside the rig's guest
// (tests/rig/guest.sh), where Com 1 is QEMU's FTDI adapter on xHCI and the
// 16550s are ttyS0 (the rig's console) and ttyS1. The host (rig_host) plays
// the device and carries out what a check asks for over the console.
#include "app/keep_records.h"
#include "monitor.h"
#include "test_files.h"
#include "recording/recording.h"
#include "window/port_messages.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QSerialPortInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstdio>

namespace {

const QString kAdapter = QStringLiteral("/dev/ttyUSB0");
constexpr int kSpeeds[] = {2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

// Asks the host for something and waits for its answer: one line each way
// on the console (stdout and stdin of this program).
QString askHost(const QString &request)
{
    std::fprintf(stdout, "\n@rig %s\n", qPrintable(request));
    std::fflush(stdout);
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        const QString answer = QString::fromUtf8(line).trimmed();
        if (answer.startsWith(u"@ok"))
            return answer.mid(3).trimmed();
    }
    return {};
}

// What the guest did to the adapter's line since the last mark, as the
// host read it from QEMU's trace: "baud:9600 dtr:1 rts:1 ...".
QStringList adapterLineEvents()
{
    return askHost(QStringLiteral("trace")).split(u' ', Qt::SkipEmptyParts);
}

// The speed the trace shows nearest to `speed`, or 0: FTDI's divisors
// round some speeds (115200 becomes 115384).
int tracedSpeedNear(const QStringList &events, int speed)
{
    for (const QString &event : events) {
        if (!event.startsWith(u"baud:"))
            continue;
        const int traced = event.mid(5).toInt();
        if (std::abs(traced - speed) * 100 <= speed * 3)
            return traced;
    }
    return 0;
}

QStringList adapterNames()
{
    return QDir(QStringLiteral("/dev")).entryList({QStringLiteral("ttyUSB*")}, QDir::System);
}

// The USB serial devices this process has open.
QStringList openAdapters()
{
    QStringList devices;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
        if (const QString target = fd.symLinkTarget(); target.startsWith(u"/dev/ttyUSB"))
            devices << target;
    }
    return devices;
}

bool adapterPresent()
{
    return QFile::exists(kAdapter);
}

// Closes the boxes on screen; how many there were.
int closeBoxes()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible()) {
            box->close();
            ++count;
        }
    }
    return count;
}

// The window as a user has it, with the host's devices behind the port
// numbers and both files of the command line.
struct RigMonitor : MonitorWindow {
    QTemporaryDir files;
    Recording recording;

    RigMonitor()
    {
        openRecording(recording, files.filePath(QStringLiteral("ticks.csv")), files.filePath(QStringLiteral("bytes.bin")));
        keepRecords(form, recording);
        form.show();
    }
    ~RigMonitor() { closeBoxes(); }

    // The host sends `record` on `line`; the tick runs by hand once the port has it.
    bool tick(const QByteArray &record, const QString &line)
    {
        timer.stop();
        askHost(QStringLiteral("send %1 %2").arg(line, QString::fromLatin1(record.toBase64())));
        if (!QTest::qWaitFor([&] { return comm.InBufferCount() == record.size(); }, 5000))
            return false;
        form.Timer1_Timer();
        return true;
    }
    QByteArray file(const char *name) const { return contentsOf(files.filePath(QString::fromLatin1(name))); }
    QString tooltip(int port) const { return ports.itemData(port - 1, Qt::ToolTipRole).toString(); }
};

} // namespace

class RigTest : public QObject {
    Q_OBJECT

private slots:
    void comOneIsTheAdapterAndTheUartComesLater_data()
    {
        QTest::addColumn<bool>("withUdev");
        QTest::newRow("udevd not running -> Com 1 is ttyUSB0, no vendor id") << false;
        QTest::newRow("udevd running -> Com 1 is ttyUSB0, vendor 0403") << true;
    }

    void comOneIsTheAdapterAndTheUartComesLater()
    {
        QFETCH(bool, withUdev);
        QVERIFY(QTest::qWaitFor(adapterPresent, 10000));
        if (withUdev)
            startUdev();
        RigMonitor monitor;
        monitor.ports.showPopup();
        QVERIFY2(monitor.tooltip(1).startsWith(kAdapter), qPrintable(monitor.tooltip(1)));
        // ttyS0 is the rig's console; ttyS1, the 16550 under test, comes after it.
        QVERIFY2(monitor.tooltip(3).startsWith(QStringLiteral("/dev/ttyS1")), qPrintable(monitor.tooltip(3)));
        const QSerialPortInfo adapter(QStringLiteral("ttyUSB0")); // found by its name among the host's ports
        QCOMPARE(adapter.systemLocation(), kAdapter);
        QCOMPARE(adapter.hasVendorIdentifier(), withUdev);
        if (withUdev)
            QCOMPARE(adapter.vendorIdentifier(), quint16(0x0403));
    }

    void openingSetsTheSpeedAndModemLinesAndRecordsPlot_data()
    {
        QTest::addColumn<QString>("line"); // usb: Com 1, the adapter; uart: Com 3, the 16550 under test
        QTest::addColumn<int>("speedIndex");
        for (int k = 0; k < 8; ++k)
            QTest::addRow("adapter at %d bit/s -> that speed, DTR and RTS up then down, plotted and kept", kSpeeds[k])
                << "usb" << k;
        QTest::newRow("16550 at 115200 bit/s -> plotted and kept") << "uart" << 7;
    }

    // The adapter gets the speed and DTR and RTS rise at the opening and
    // fall at the closing (the 16550's line is not traced); what the host
    // sends is plotted and kept.
    void openingSetsTheSpeedAndModemLinesAndRecordsPlot()
    {
        QFETCH(QString, line);
        QFETCH(int, speedIndex);
        const bool adapter = line == u"usb";
        RigMonitor monitor;
        monitor.chooseSpeed(speedIndex);
        askHost(QStringLiteral("mark"));
        monitor.openPort(adapter ? 1 : 3);
        QVERIFY(monitor.looksOpen());
        monitor.timer.stop(); // the ticks below are the only ones
        const QStringList opening = adapterLineEvents();
        qInfo("the adapter's line at the opening: %s", qPrintable(opening.join(u' ')));
        QVERIFY2(!adapter || tracedSpeedNear(opening, kSpeeds[speedIndex]) != 0, qPrintable(opening.join(u' ')));
        QVERIFY2(!adapter || (opening.contains(u"dtr:1") && opening.contains(u"rts:1")), qPrintable(opening.join(u' ')));

        const QByteArray first = QByteArray::number(speedIndex) + ",300,1023\r\n";
        const QByteArray second = QByteArray::number(speedIndex + 500) + ",-7,8\r\n";
        QVERIFY(monitor.tick(first, line));
        QCOMPARE(monitor.lastRow(), (QList<int>{speedIndex, 300, 1023}));
        QVERIFY(monitor.tick(second, line));
        QCOMPARE(monitor.lastRow(), (QList<int>{speedIndex + 500, -7, 8}));

        askHost(QStringLiteral("mark"));
        monitor.press();
        QVERIFY(monitor.looksClosed());
        const QStringList closing = adapterLineEvents();
        QVERIFY2(!adapter || (closing.contains(u"dtr:0") && closing.contains(u"rts:0")), qPrintable(closing.join(u' ')));

        QCOMPARE(monitor.file("bytes.bin"), first + second);
        const QList<QByteArray> lines = monitor.file("ticks.csv").split('\n');
        QCOMPARE(lines.size(), 6); // header, two records of two lines each, the end
        QVERIFY2(lines[1].contains("," + QByteArray::number(speedIndex) + ",300,1023,record,"), lines[1].constData());
        QVERIFY2(lines[3].contains("," + QByteArray::number(speedIndex + 500) + ",-7,8,record,"), lines[3].constData());
    }

    void lostAdapterIsReportedOnceAndReopens_data()
    {
        QTest::addColumn<QString>("loss");
        QTest::newRow("unplugged (QMP device_del) -> one box, port closed, reopens") << QStringLiteral("unplug");
        QTest::newRow("cable pulled (socket closed) -> one box, port closed, reopens") << QStringLiteral("pull");
    }

    // One box in Russian naming the device, the port closed and its
    // descriptor released (the adapter comes back under the same name), no
    // CPU spent on the dead line, and the next opening plots again.
    void lostAdapterIsReportedOnceAndReopens()
    {
        QFETCH(QString, loss);
        QVERIFY(QTest::qWaitFor(adapterPresent, 10000));
        RigMonitor monitor;
        monitor.openPort(1);
        QVERIFY(monitor.looksOpen());
        askHost(QStringLiteral("stream 200 1"));
        const auto stopStream = qScopeGuard([] { askHost(QStringLiteral("stream 0 1")); });
        QTRY_VERIFY_WITH_TIMEOUT(monitor.lastRow().first() > 0, 5000);

        askHost(loss);
        QTRY_VERIFY_WITH_TIMEOUT(monitor.shownBox() != nullptr, 10000);
        QCOMPARE(monitor.shownBox()->text(), deviceLostText(1));
        const QString detail = monitor.shownBox()->informativeText();
        QVERIFY2(detail.contains(kAdapter) && detail.contains(QStringLiteral("отключено")), qPrintable(detail));
        QVERIFY(monitor.looksClosed());
        // No descriptor of the dead line is left open, so nothing can spin on it.
        QVERIFY2(openAdapters().isEmpty(), qPrintable(openAdapters().join(u' ')));
        QCOMPARE(closeBoxes(), 1);

        // Plugged back once the box is up, the adapter gets its old name: nothing
        // holds the old device. A pulled cable comes back after a second
        // whatever the guest did, so its name tells nothing.
        if (loss == u"unplug")
            askHost(QStringLiteral("plug"));
        QTRY_VERIFY_WITH_TIMEOUT(!adapterNames().isEmpty(), 20000);
        if (loss == u"unplug")
            QCOMPARE(adapterNames(), QStringList{QStringLiteral("ttyUSB0")});
        const int before = monitor.lastRow().first();
        monitor.press();
        QVERIFY(monitor.looksOpen());
        QTRY_VERIFY_WITH_TIMEOUT(monitor.lastRow().first() > before, 5000);
        monitor.press();
        QVERIFY(monitor.looksClosed());
    }

private:
    static void startUdev()
    {
        QProcess::execute(QStringLiteral("/bin/systemd-udevd"), {QStringLiteral("--daemon")});
        QProcess::execute(QStringLiteral("/bin/udevadm"), {QStringLiteral("trigger"), QStringLiteral("--action=add")});
        QProcess::execute(QStringLiteral("/bin/udevadm"), {QStringLiteral("settle")});
    }
};

QTEST_MAIN(RigTest)

#include "tst_rig.moc"
