#include "pty_pair.h"
#include "unprivileged.h"
#include "runtime/numbered_error.h"
#include "serial/mscomm.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs `action` and returns the error it raised, if any.
std::optional<rt::NumberedError> raisedBy(const std::function<void()> &action)
{
    try {
        action();
    } catch (const rt::NumberedError &error) {
        return error;
    }
    return std::nullopt;
}

// A layer whose port 1 is the slave side of `pty`.
void mapPortOneTo(MSComm &comm, const PtyPair &pty)
{
    comm.setDeviceMap({{QStringLiteral("1"), pty.slavePath()}});
    comm.setCommPort(1);
}

QByteArray pattern(int size, char first)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(first + i % 26);
    return bytes;
}

} // namespace

class TestSerial : public QObject {
    Q_OBJECT

private slots:
    void startsClosedWithStoredSettings();

    void openingAppliesSpeedAnd8N1_data();
    void openingAppliesSpeedAnd8N1();
    void settingsWhileOpenChangeSpeedAtOnce_data();
    void settingsWhileOpenChangeSpeedAtOnce();
    void malformedSettingsRaise380AndChangeNothing_data();
    void malformedSettingsRaise380AndChangeNothing();
    void propertyValuesOutsideRangeRaise380_data();
    void propertyValuesOutsideRangeRaise380();

    void openingWithoutUsableDeviceRaises8002_data();
    void openingWithoutUsableDeviceRaises8002();
    void unreadableDeviceRaises8002();
    void deviceHeldByAnotherOpenerRaises8005NamingIt();
    void deviceMapNamesThePortsDevices();

    void everyByteValueArrivesAsSameCharacterCode();
    void dataIsSeenWithoutWaitingForTheEventLoop();
    void fullBufferKeepsOldestAndDropsTheRest_data();
    void fullBufferKeepsOldestAndDropsTheRest();
    void closingDiscardsWhatWasReceived();
    void hangUpClosesPortAndReportsOnce();
};

void TestSerial::startsClosedWithStoredSettings()
{
    MSComm comm;
    QCOMPARE(comm.CommPort(), 1);
    QCOMPARE(comm.Settings(), QStringLiteral("9600,n,8,1"));
    QVERIFY(!comm.PortOpen());
    QCOMPARE(comm.InBufferSize(), 1024);
    QCOMPARE(comm.InBufferCount(), 0);
    QCOMPARE(comm.InputMode(), 0);
    QCOMPARE(comm.InputLen(), 0);
}

void TestSerial::openingAppliesSpeedAnd8N1_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<unsigned>("speed");
    for (const unsigned speed : {2400u, 4800u, 9600u, 14400u, 19200u, 38400u, 57600u, 115200u}) {
        const QString settings = QStringLiteral("%1,n,8,1").arg(speed);
        QTest::addRow("%s -> %u 8N1", qPrintable(settings), speed) << settings << speed;
    }
    QTest::addRow("4800,N,8,1 -> 4800 8N1") << QStringLiteral("4800,N,8,1") << 4800u;
}

void TestSerial::openingAppliesSpeedAnd8N1()
{
    QFETCH(QString, settings);
    QFETCH(unsigned, speed);
    PtyPair pty;
    QVERIFY(pty.isValid());
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setSettings(settings);
    comm.setPortOpen(true);

    QVERIFY(comm.PortOpen());
    QCOMPARE(pty.slaveSpeed(), speed);
    const termios line = pty.slaveTermios();
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(line.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QVERIFY(line.c_cflag & CREAD);
}

void TestSerial::settingsWhileOpenChangeSpeedAtOnce_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<unsigned>("speed");
    QTest::addRow("115200,n,8,1 while open -> 115200") << QStringLiteral("115200,n,8,1") << 115200u;
    QTest::addRow("14400,n,8,1 while open -> 14400") << QStringLiteral("14400,n,8,1") << 14400u;
    QTest::addRow("2400,n,8,1 while open -> 2400") << QStringLiteral("2400,n,8,1") << 2400u;
}

void TestSerial::settingsWhileOpenChangeSpeedAtOnce()
{
    QFETCH(QString, settings);
    QFETCH(unsigned, speed);
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setPortOpen(true);
    QCOMPARE(pty.slaveSpeed(), 9600u);

    comm.setSettings(settings);

    QVERIFY(comm.PortOpen());
    QCOMPARE(comm.Settings(), settings);
    QCOMPARE(pty.slaveSpeed(), speed);
}

void TestSerial::malformedSettingsRaise380AndChangeNothing_data()
{
    QTest::addColumn<QString>("settings");
    const char *rows[] = {"9600,e,8,1", "9600,n,7,1", "9600,n,8,2", "9601,n,8,1", "1200,n,8,1",
                          "230400,n,8,1", "09600,n,8,1", " 9600,n,8,1", "9600,n,8", "9600,n,8,1,",
                          "9600;n;8;1", ""};
    for (const char *row : rows)
        QTest::addRow("\"%s\" -> 380, unchanged", row) << QString::fromLatin1(row);
}

void TestSerial::malformedSettingsRaise380AndChangeNothing()
{
    QFETCH(QString, settings);
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setSettings(QStringLiteral("19200,n,8,1"));

    const auto whileClosed = raisedBy([&] { comm.setSettings(settings); });
    QVERIFY(whileClosed);
    QCOMPARE(whileClosed->number(), 380);
    QCOMPARE(comm.Settings(), QStringLiteral("19200,n,8,1"));

    comm.setPortOpen(true);
    const auto whileOpen = raisedBy([&] { comm.setSettings(settings); });
    QVERIFY(whileOpen);
    QCOMPARE(whileOpen->number(), 380);
    QCOMPARE(comm.Settings(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(pty.slaveSpeed(), 19200u);
    QVERIFY(comm.PortOpen());
}

void TestSerial::propertyValuesOutsideRangeRaise380_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("whileOpen");
    QTest::addColumn<bool>("raises");
    QTest::addRow("CommPort -1 -> 380") << "CommPort" << -1 << false << true;
    QTest::addRow("CommPort 0 -> accepted") << "CommPort" << 0 << false << false;
    QTest::addRow("CommPort 16 -> accepted") << "CommPort" << 16 << false << false;
    QTest::addRow("CommPort 17 -> 380") << "CommPort" << 17 << false << true;
    QTest::addRow("CommPort 1 while open -> 380") << "CommPort" << 1 << true << true;
    QTest::addRow("InputMode 0 -> accepted") << "InputMode" << 0 << true << false;
    QTest::addRow("InputMode 1 (binary) -> 380") << "InputMode" << 1 << false << true;
    QTest::addRow("InputLen 0 -> accepted") << "InputLen" << 0 << true << false;
    QTest::addRow("InputLen 1 -> 380") << "InputLen" << 1 << false << true;
}

void TestSerial::propertyValuesOutsideRangeRaise380()
{
    QFETCH(QString, property);
    QFETCH(int, value);
    QFETCH(bool, whileOpen);
    QFETCH(bool, raises);
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    if (whileOpen)
        comm.setPortOpen(true);

    const auto error = raisedBy([&] {
        if (property == u"CommPort")
            comm.setCommPort(value);
        else if (property == u"InputMode")
            comm.setInputMode(value);
        else
            comm.setInputLen(value);
    });

    QCOMPARE(bool(error), raises);
    if (error)
        QCOMPARE(error->number(), 380);
    if (property == u"CommPort")
        QCOMPARE(comm.CommPort(), raises ? 1 : value);
    QCOMPARE(comm.PortOpen(), whileOpen);
}

void TestSerial::openingWithoutUsableDeviceRaises8002_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("mappedPath");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("named");
    const QString missing = QStringLiteral("/dev/no-such-serial-device");
    QTest::addRow("port 0 -> 8002 no device") << 0 << missing << int(OpenFailure::NoDevice) << "port 0";
    QTest::addRow("unmapped port 2 -> 8002 no device") << 2 << missing << int(OpenFailure::NoDevice) << "port 2";
    QTest::addRow("missing device -> 8002 naming its path") << 1 << missing << int(OpenFailure::NotFound) << missing;
}

void TestSerial::openingWithoutUsableDeviceRaises8002()
{
    QFETCH(int, port);
    QFETCH(QString, mappedPath);
    QFETCH(int, reason);
    QFETCH(QString, named);
    MSComm comm;
    comm.setDeviceMap({{QStringLiteral("1"), mappedPath}});
    comm.setCommPort(port);
    QSignalSpy failed(&comm, &MSComm::deviceFailed);

    const auto error = raisedBy([&] { comm.setPortOpen(true); });

    QVERIFY(error);
    QCOMPARE(error->number(), 8002);
    QVERIFY2(error->description().contains(named), qPrintable(error->description()));
    QCOMPARE(int(comm.lastOpenFailure().reason), reason);
    QVERIFY(!comm.PortOpen());
    QCOMPARE(failed.count(), 0);
}

// Root may read any device, so the refusal is tried as user nobody in a
// child run of this very test.
void TestSerial::unreadableDeviceRaises8002()
{
    if (runningAsRoot()) {
        const UnprivilegedRun run = rerunAsNobody(QTest::currentTestFunction());
        if (!run.available)
            QSKIP("running as root and setpriv is not installed: cannot try the device as an unprivileged user");
        QVERIFY2(run.passed, qPrintable(run.output));
        return;
    }
    PtyPair pty;
    QVERIFY(pty.isValid());
    QCOMPARE(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0), 0);
    MSComm comm;
    mapPortOneTo(comm, pty);

    const auto error = raisedBy([&] { comm.setPortOpen(true); });

    QVERIFY(error);
    QCOMPARE(error->number(), 8002);
    QVERIFY2(error->description().contains(pty.slavePath()), qPrintable(error->description()));
    QCOMPARE(comm.lastOpenFailure().reason, OpenFailure::NoPermission);
    QVERIFY(!comm.PortOpen());
}

void TestSerial::deviceHeldByAnotherOpenerRaises8005NamingIt()
{
    PtyPair pty;
    QSerialPort other(pty.slavePath());
    QVERIFY(other.open(QIODevice::ReadOnly));
    MSComm comm;
    mapPortOneTo(comm, pty);
    QSignalSpy failed(&comm, &MSComm::deviceFailed);

    const auto error = raisedBy([&] { comm.setPortOpen(true); });

    QVERIFY(error);
    QCOMPARE(error->number(), 8005);
    QCOMPARE(failed.count(), 0);
    const OpenFailure failure = comm.lastOpenFailure();
    QCOMPARE(failure.reason, OpenFailure::Busy);
    QCOMPARE(failure.path, pty.slavePath());
    QCOMPARE(failure.holder, QCoreApplication::applicationName());
    QCOMPARE(failure.holderPid, QCoreApplication::applicationPid());
    QVERIFY2(error->description().contains(pty.slavePath()), qPrintable(error->description()));
    QVERIFY(!comm.PortOpen());

    // Once the other opener lets go, the same port opens.
    other.close();
    comm.setPortOpen(true);
    QVERIFY(comm.PortOpen());
    QCOMPARE(comm.lastOpenFailure().reason, OpenFailure::None);
    const auto again = raisedBy([&] { comm.setPortOpen(true); });
    QVERIFY(again);
    QCOMPARE(again->number(), 8005);
}

void TestSerial::deviceMapNamesThePortsDevices()
{
    PtyPair pty;
    MSComm comm;
    comm.setDeviceMap({{QStringLiteral("3"), pty.slavePath()}});

    QCOMPARE(comm.devicePath(3), pty.slavePath());
    QCOMPARE(comm.devicePath(1), QString());
    QCOMPARE(comm.devicePath(0), QString());
    QCOMPARE(comm.deviceSummary(3), pty.slavePath());
    QCOMPARE(comm.deviceSummary(5), QStringLiteral("Нет устройства для Com 5"));
}

void TestSerial::everyByteValueArrivesAsSameCharacterCode()
{
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setPortOpen(true);
    QByteArray all(256, Qt::Uninitialized);
    for (int code = 0; code < 256; ++code)
        all[code] = static_cast<char>(code);

    QVERIFY(pty.send(all));
    QTRY_COMPARE(comm.InBufferCount(), 256);
    const QString text = comm.Input();

    QCOMPARE(text.size(), 256);
    for (int code = 0; code < 256; ++code)
        QCOMPARE(text[code].unicode(), char16_t(code));
    QCOMPARE(comm.InBufferCount(), 0);
    QCOMPARE(comm.Input(), QString());
}

void TestSerial::dataIsSeenWithoutWaitingForTheEventLoop()
{
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setPortOpen(true);
    QVERIFY(pty.send("512,300,1023\r\n"));

    // No event is processed here: only the read itself can take the bytes in.
    const QDeadlineTimer deadline(5000);
    while (comm.InBufferCount() < 14 && !deadline.hasExpired()) {
    }
    QCOMPARE(comm.Input(), QStringLiteral("512,300,1023\r\n"));
}

void TestSerial::fullBufferKeepsOldestAndDropsTheRest_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addRow("1000 then 100 -> oldest 1024") << 1000 << 100;
    QTest::addRow("1024 then 1 -> the 1024") << 1024 << 1;
    QTest::addRow("2000 at once -> first 1024") << 2000 << 0;
    QTest::addRow("1023 then 0 -> all 1023") << 1023 << 0;
}

void TestSerial::fullBufferKeepsOldestAndDropsTheRest()
{
    QFETCH(int, first);
    QFETCH(int, second);
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setPortOpen(true);
    const QByteArray older = pattern(first, 'a');
    const QByteArray newer = pattern(second, 'A');
    const int kept = std::min(first + second, 1024);

    QVERIFY(pty.send(older));
    QTRY_COMPARE(comm.InBufferCount(), std::min(first, 1024));
    QVERIFY(pty.send(newer));
    QTRY_COMPARE(comm.InBufferCount(), kept);
    QTRY_COMPARE(pty.slaveUnreadBytes(), 0);

    QCOMPARE(comm.Input(), QString::fromLatin1((older + newer).first(kept)));
    QVERIFY(pty.send("next"));
    QTRY_COMPARE(comm.InBufferCount(), 4);
    QCOMPARE(comm.Input(), QStringLiteral("next"));
}

void TestSerial::closingDiscardsWhatWasReceived()
{
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setPortOpen(true);
    QVERIFY(pty.send("1,2,3\r\n"));
    QTRY_COMPARE(comm.InBufferCount(), 7);

    comm.setPortOpen(false);

    QVERIFY(!comm.PortOpen());
    QCOMPARE(comm.InBufferCount(), 0);
    comm.setPortOpen(true);
    QCOMPARE(comm.Input(), QString());
}

void TestSerial::hangUpClosesPortAndReportsOnce()
{
    PtyPair pty;
    MSComm comm;
    mapPortOneTo(comm, pty);
    comm.setPortOpen(true);
    auto *port = comm.findChild<QSerialPort *>();
    QVERIFY(port);
    QSignalSpy hostErrors(port, &QSerialPort::errorOccurred);
    QSignalSpy failed(&comm, &MSComm::deviceFailed);
    QVERIFY(pty.send("7,8,9\r\n"));
    QTRY_COMPARE(comm.InBufferCount(), 7);

    pty.hangUp();

    QVERIFY(failed.wait(5000));
    QVERIFY(!comm.PortOpen());
    QCOMPARE(failed.first().at(0).toInt(), 1);
    QVERIFY2(failed.first().at(1).toString().contains(pty.slavePath()), qPrintable(failed.first().at(1).toString()));
    const qsizetype errorsAtFailure = hostErrors.count();
    // A device left open after a hang-up reports an error on every poll;
    // give such a loop a moment to show itself.
    QTest::qWait(200);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(hostErrors.count(), errorsAtFailure);
    // What had arrived before the failure can still be taken.
    QCOMPARE(comm.Input(), QStringLiteral("7,8,9\r\n"));
}

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
