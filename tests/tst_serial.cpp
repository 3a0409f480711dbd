#include "pty_pair.h"
#include "raised_error.h"
#include "serial/mscomm.h"
#include "serial/port_directory.h"
#include "sim/in_process_line.h"
#include "unprivileged.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// A layer whose port 1 is the slave side of a fresh pseudo-terminal.
struct Wired {
    PtyPair pty;
    MSComm comm;
    Wired() { comm.setDeviceMap({{QStringLiteral("1"), pty.slavePath()}}); }
};

// Counts the openings of a device node from now on, whoever opens it.
class OpeningsOf {
public:
    explicit OpeningsOf(const QString &node)
        : m_watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
        , m_watching(::inotify_add_watch(m_watch, QFile::encodeName(node).constData(), IN_OPEN) >= 0)
    {
    }
    ~OpeningsOf() { ::close(m_watch); }
    OpeningsOf(const OpeningsOf &) = delete;
    OpeningsOf &operator=(const OpeningsOf &) = delete;

    bool isWatching() const { return m_watching; }

    int count()
    {
        alignas(inotify_event) char events[4096];
        for (ssize_t length; (length = ::read(m_watch, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < length; ++m_count) {
                const auto *event = reinterpret_cast<const inotify_event *>(events + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return m_count;
    }

private:
    int m_watch;
    bool m_watching;
    int m_count = 0;
};

// A lock file as other programs write it: lockdev and UUCP programs the
// pid in ten characters, some plain, older ones as a native int.
QByteArray lockFileContents(const QString &form, qint64 pid)
{
    if (form == u"binary") {
        const int binary = static_cast<int>(pid);
        return QByteArray(reinterpret_cast<const char *>(&binary), sizeof binary);
    }
    if (form == u"plain")
        return QByteArray::number(pid);
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

} // namespace

class TestSerial : public QObject {
    Q_OBJECT

private slots:
    void hostDevicesGetPortNumbersUsbFirstInNaturalOrder_data()
    {
        QTest::addColumn<QList<HostPortName>>("reported"); // as the host lists them
        QTest::addColumn<QStringList>("byPortNumber");     // Com 1, Com 2, ...

        QTest::newRow("ttyS0, ttyS1, an FTDI adapter -> Com 1 the adapter, then ttyS0, ttyS1")
            << QList<HostPortName>{{"ttyS0"}, {"ttyS1"}, {"ttyUSB0", true}} << QStringList{"ttyUSB0", "ttyS0", "ttyS1"};
        QTest::newRow("ttyUSB10, ttyUSB2 -> natural order, 2 before 10")
            << QList<HostPortName>{{"ttyUSB10", true}, {"ttyUSB2", true}} << QStringList{"ttyUSB2", "ttyUSB10"};
        QTest::newRow("ttyS10, ttyS2, ttyS1 -> 1, 2, 10")
            << QList<HostPortName>{{"ttyS10"}, {"ttyS2"}, {"ttyS1"}} << QStringList{"ttyS1", "ttyS2", "ttyS10"};
        QTest::newRow("a CH341 by vendor id, an ACM board without one, ttyS0 -> both adapters first, by name")
            << QList<HostPortName>{{"ttyS0"}, {"ttyCH341USB0", true}, {"ttyACM0"}}
            << QStringList{"ttyACM0", "ttyCH341USB0", "ttyS0"};
    }

    void hostDevicesGetPortNumbersUsbFirstInNaturalOrder()
    {
        QFETCH(QList<HostPortName>, reported);
        QFETCH(QStringList, byPortNumber);
        std::sort(reported.begin(), reported.end(), comesBeforeInPortOrder);
        QStringList names;
        for (const HostPortName &port : reported)
            names << port.name;
        QCOMPARE(names, byPortNumber);
    }

    // Each row opens at one speed, then moves to the next one while open, so
    // every supported speed goes through both paths (14400 has no B-constant).
    void speedIsSetOnOpeningAndChangesAtOnceWhileOpen_data()
    {
        QTest::addColumn<unsigned>("speed");
        QTest::addColumn<unsigned>("next");
        const unsigned speeds[] = {2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
        for (std::size_t i = 0; i < std::size(speeds); ++i) {
            const unsigned next = speeds[(i + 1) % std::size(speeds)];
            QTest::addRow("%u,n,8,1 -> %u, then %u while open", speeds[i], speeds[i], next) << speeds[i] << next;
        }
    }

    void speedIsSetOnOpeningAndChangesAtOnceWhileOpen()
    {
        QFETCH(unsigned, speed);
        QFETCH(unsigned, next);
        Wired line;
        line.comm.setSettings(QStringLiteral("%1,n,8,1").arg(speed));
        line.comm.setPortOpen(true);
        QCOMPARE(line.pty.slaveSpeed(), speed);

        line.comm.setSettings(QStringLiteral("%1,n,8,1").arg(next));

        QCOMPARE(line.pty.slaveSpeed(), next);
    }

    void valueOutsideRangeRaises380AndChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("whileOpen");
        QTest::addColumn<int>("error");
        for (const char *settings : {"9600,e,8,1", "9600,n,7,1", "9600,n,8,2", "1200,n,8,1", "09600,n,8,1"})
            QTest::addRow("Settings \"%s\" while open -> 380", settings)
                << QByteArray("Settings") << QVariant(settings) << true << 380;
        QTest::addRow("Settings \"9600,n,8,1,\" -> 380") << QByteArray("Settings") << QVariant("9600,n,8,1,") << false
                                                     << 380;
        QTest::addRow("Settings \"4800,N,8,1\" -> accepted") << QByteArray("Settings") << QVariant("4800,N,8,1") << false
                                                          << 0;
        QTest::addRow("CommPort -1 -> 380") << QByteArray("CommPort") << QVariant(-1) << false << 380;
        QTest::addRow("CommPort 0 -> accepted") << QByteArray("CommPort") << QVariant(0) << false << 0;
        QTest::addRow("CommPort 16 -> accepted") << QByteArray("CommPort") << QVariant(16) << false << 0;
        QTest::addRow("CommPort 17 -> 380") << QByteArray("CommPort") << QVariant(17) << false << 380;
        QTest::addRow("CommPort 1 while open -> 380") << QByteArray("CommPort") << QVariant(1) << true << 380;
        QTest::addRow("InputMode 1 (binary) -> 380") << QByteArray("InputMode") << QVariant(1) << false << 380;
        QTest::addRow("InputLen 1 -> 380") << QByteArray("InputLen") << QVariant(1) << false << 380;
        QTest::addRow("PortOpen true while open -> 8005") << QByteArray("PortOpen") << QVariant(true) << true << 8005;
    }

    void valueOutsideRangeRaises380AndChangesNothing()
    {
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(bool, whileOpen);
        QFETCH(int, error);
        Wired line;
        line.comm.setSettings(QStringLiteral("19200,n,8,1"));
        line.comm.setPortOpen(whileOpen);

        QCOMPARE(errorNumberOf([&] { QVERIFY(line.comm.setProperty(property, value)); }), error);

        QCOMPARE(line.comm.PortOpen(), whileOpen);
        QCOMPARE(line.comm.Settings(), property == "Settings" && !error ? value.toString() : QStringLiteral("19200,n,8,1"));
        QCOMPARE(line.comm.CommPort(), property == "CommPort" && !error ? value.toInt() : 1);
        if (whileOpen)
            QCOMPARE(line.pty.slaveSpeed(), 19200u);
    }

    void bytesKeepTheirCodesAndFullBufferKeepsOldest_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addRow("1000 then 100 -> oldest 1024, codes 0..255 unchanged") << 1000 << 100;
        QTest::addRow("1024 then 1 -> the 1024, codes 0..255 unchanged") << 1024 << 1;
    }

    void bytesKeepTheirCodesAndFullBufferKeepsOldest()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        Wired line;
        line.comm.setPortOpen(true);
        QByteArray sent(first + second, Qt::Uninitialized);
        for (int i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<char>(i % 256);

        QVERIFY(line.pty.send(sent.first(first)));
        QTRY_COMPARE(line.comm.InBufferCount(), first);
        QVERIFY(line.pty.send(sent.sliced(first)));
        // Once the overflow is on the device (no event loop runs meanwhile), it is read off and dropped.
        for (QDeadlineTimer arrival(5000); line.pty.slaveUnreadBytes() < second && !arrival.hasExpired();) {
        }
        QTRY_COMPARE(line.pty.slaveUnreadBytes(), 0);
        QCOMPARE(line.comm.InBufferCount(), 1024);

        QCOMPARE(line.comm.Input(), QString::fromLatin1(sent.first(1024)));
        QVERIFY(line.pty.send("next"));
        QTRY_COMPARE(line.comm.InBufferCount(), 4);
        QCOMPARE(line.comm.Input(), QStringLiteral("next"));
    }

    void closingDiscardsButHangUpKeepsWhatArrived_data()
    {
        QTest::addColumn<bool>("hangUp");
        QTest::addRow("closed here -> buffer discarded, nothing reported") << false;
        QTest::addRow("hung up -> buffer kept, reported once") << true;
    }

    // A batch has been taken before the line ends. A hang-up is noticed
    // without a read from the caller, reported once, and what the batch took
    // stays readable.
    void closingDiscardsButHangUpKeepsWhatArrived()
    {
        QFETCH(bool, hangUp);
        Wired line;
        line.comm.setPortOpen(true);
        QSignalSpy received(&line.comm, &MSComm::received);
        QSignalSpy failed(&line.comm, &MSComm::deviceFailed);
        QVERIFY(line.pty.send("7,8,9\r\n"));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(line.comm.InBufferCount(), 7);

        if (hangUp)
            line.pty.hangUp();
        else
            line.comm.setPortOpen(false);

        QTRY_COMPARE(failed.count(), hangUp ? 1 : 0);
        QVERIFY(!line.comm.PortOpen());
        if (hangUp)
            QVERIFY2(failed.first().at(1).toString().contains(line.pty.slavePath()), qPrintable(failed.first().at(1).toString()));
        QCOMPARE(received.first().at(0).toByteArray(), QByteArray("7,8,9\r\n"));
        QCOMPARE(line.comm.Input(), hangUp ? QStringLiteral("7,8,9\r\n") : QString());
    }

    // The host holds the end of a record that no batch has taken yet when a
    // tick reads: the tick gets the whole record, in order, and so does the capture.
    void tickTakesWhatTheHostHoldsBehindABatch_data()
    {
        QTest::addColumn<QByteArray>("taken");
        QTest::addColumn<QByteArray>("waiting");
        QTest::addRow("\"12,34,\" taken, \"56\\r\\n\" waiting -> whole record") << QByteArray("12,34,") << QByteArray("56\r\n");
        QTest::addRow("\"12,34,56\\r\" taken, \"\\n\" waiting -> whole record") << QByteArray("12,34,56\r") << QByteArray("\n");
        QTest::addRow("\"1\" taken, \"2,34,56\\r\\n\" waiting -> whole record") << QByteArray("1") << QByteArray("2,34,56\r\n");
    }

    void tickTakesWhatTheHostHoldsBehindABatch()
    {
        QFETCH(QByteArray, taken);
        QFETCH(QByteArray, waiting);
        Wired line;
        line.comm.setPortOpen(true);
        QSignalSpy received(&line.comm, &MSComm::received);
        QVERIFY(line.pty.send(taken));
        QTRY_COMPARE(received.count(), 1);
        QVERIFY(line.pty.send(waiting));
        // The bytes reach the device (no event loop runs meanwhile), then the
        // event loop begins a batch (or finishes it): the tick reads mid-way.
        for (QDeadlineTimer arrival(5000); line.pty.slaveUnreadBytes() < waiting.size() && !arrival.hasExpired();) {
        }
        QTRY_VERIFY(line.pty.slaveUnreadBytes() < waiting.size());

        QCOMPARE(line.comm.InBufferCount(), taken.size() + waiting.size());
        QCOMPARE(line.comm.Input(), QString::fromLatin1(taken + waiting));
        QByteArray captured;
        for (const QList<QVariant> &bytes : received)
            captured += bytes.at(0).toByteArray();
        QCOMPARE(captured, taken + waiting);
    }

    // A device that never pauses: batch follows batch and the ticks read in
    // between, some in the middle of a record. It talks until it has sent
    // 8000 characters and three ticks have read while it talked, however
    // slowly this machine runs. Every byte reaches the capture once and in
    // order, each tick gets the oldest 1024 characters of what came since
    // the last one, and a hang-up in the middle is reported once.
    void busyDeviceLosesNothingBetweenBatchesAndTicks_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<bool>("hangUp");
        QTest::addRow("115200, device stops -> everything captured") << 115200 << false;
        QTest::addRow("9600, device stops -> everything captured") << 9600 << false;
        QTest::addRow("115200, hung up while sending -> reported once, capture in order") << 115200 << true;
    }

    void busyDeviceLosesNothingBetweenBatchesAndTicks()
    {
        QFETCH(int, speed);
        QFETCH(bool, hangUp);
        Wired line;
        line.comm.setSettings(QStringLiteral("%1,n,8,1").arg(speed));
        line.comm.setPortOpen(true);
        QSignalSpy failed(&line.comm, &MSComm::deviceFailed);
        QByteArray captured;
        QByteArray sinceTick;
        QObject::connect(&line.comm, &MSComm::received, &line.comm, [&](const QByteArray &bytes) {
            captured += bytes;
            sinceTick += bytes;
        });
        QTimer tick;
        QStringList inputs;
        QStringList expected;
        QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
            inputs << line.comm.Input(); // takes what the host holds first
            expected << QString::fromLatin1(sinceTick.first(std::min<qsizetype>(1024, sinceTick.size())));
            sinceTick.clear();
        });
        QByteArray sent;
        QTimer device; // 56 characters every 5 ms: 115200 bit/s
        QObject::connect(&device, &QTimer::timeout, &device, [&] {
            if (sent.size() >= 8000 && inputs.size() >= 3)
                return device.stop();
            QByteArray records;
            for (int k = 0; k < 4; ++k)
                records += QByteArray::number(sent.size() + records.size()).rightJustified(12, '0') + "\r\n";
            sent += records;
            QVERIFY(line.pty.send(records));
        });
        device.setTimerType(Qt::PreciseTimer);
        device.start(5);
        tick.start(333);

        QTRY_VERIFY_WITH_TIMEOUT(!device.isActive(), 60000);
        if (hangUp) {
            line.pty.hangUp();
            QTRY_COMPARE(failed.count(), 1);
        } else {
            QTRY_COMPARE(captured.size(), sent.size());
        }
        // A tick after the last arrival, and after a hang-up's report.
        const qsizetype ticks = inputs.size();
        QTRY_VERIFY(inputs.size() > ticks);

        QCOMPARE(failed.count(), hangUp ? 1 : 0);
        QCOMPARE(inputs, expected);
        QVERIFY(sent.startsWith(captured));
        // Linux discards what the host held at the hang-up: at most the last
        // batch, as the device sends only between batches on this thread.
        if (hangUp)
            QVERIFY2(captured.size() >= sent.size() - 2048, qPrintable(QString::number(captured.size())));
    }

    // Another program's claim on the line: a lock file in the forms UUCP
    // programs and lockdev write, or a flock, through whatever node or link
    // names the device. A live claim is refused before the device is
    // opened at all (opening raises DTR), and its lock file stays; a dead
    // holder's lock file is stale and gives way to ours.
    void otherProgramsClaimIsHonouredThroughAnyNameOfTheDevice_data()
    {
        QTest::addColumn<QString>("claim");     // a lock file's form, "flock" or none
        QTest::addColumn<QString>("holder");    // live, dead, another user's (pid 1)
        QTest::addColumn<int>("ageSeconds");    // of the lock file
        QTest::addColumn<QString>("claimedAs"); // device, device numbers (lockdev)
        QTest::addColumn<QString>("openedAs");  // device, second node, link
        QTest::addColumn<bool>("refused");

        QTest::newRow("UUCP lock file, live holder, fresh -> refused naming it, device never opened")
            << "uucp" << "live" << 0 << "device" << "device" << true;
        QTest::newRow("UUCP lock file 120 s old, live holder -> refused")
            << "uucp" << "live" << 120 << "device" << "device" << true;
        QTest::newRow("plain pid without line end, live holder -> refused")
            << "plain" << "live" << 0 << "device" << "device" << true;
        QTest::newRow("binary pid, live holder -> refused") << "binary" << "live" << 0 << "device" << "device" << true;
        QTest::newRow("UUCP lock file of another user's process (EPERM) -> refused")
            << "uucp" << "another user's" << 0 << "device" << "device" << true;
        QTest::newRow("lockdev's LCK.MMM.mmm, live holder, opened through a second node -> refused")
            << "uucp" << "live" << 0 << "device numbers" << "second node" << true;
        QTest::newRow("UUCP lock file, dead holder -> stale, replaced by ours, opens")
            << "uucp" << "dead" << 0 << "device" << "device" << false;
        QTest::newRow("flock on the device, opened through a second node -> refused naming the holder, never opened")
            << "flock" << "live" << 0 << "device" << "second node" << true;
        QTest::newRow("by-id style link to a free device -> the device opened and locked under its own name")
            << "" << "" << 0 << "" << "link" << false;
    }

    void otherProgramsClaimIsHonouredThroughAnyNameOfTheDevice()
    {
        QFETCH(QString, claim);
        QFETCH(QString, holder);
        QFETCH(int, ageSeconds);
        QFETCH(QString, claimedAs);
        QFETCH(QString, openedAs);
        QFETCH(bool, refused);
        if (holder == u"another user's")
            RERUN_AS_NOBODY_WHEN_ROOT();
        if (!QFileInfo(QStringLiteral("/var/lock")).isWritable())
            QSKIP("no lock directory /var/lock that this user may write");
        Wired line;
        const QString device = line.pty.slavePath();
        QTemporaryDir dir;
        const QString secondNode = dir.filePath(QStringLiteral("ttyContainer0"));
        // A pseudo-terminal opens only through its own node (EIO elsewhere):
        // the second node is the monitor's, as in a container.
        if (openedAs == u"second node") {
            struct stat slave {};
            QCOMPARE(::stat(QFile::encodeName(device).constData(), &slave), 0);
            if (::mknod(QFile::encodeName(secondNode).constData(), S_IFCHR | 0600, slave.st_rdev) != 0)
                QSKIP("mknod is refused to this user: no second node for the device can be made");
        }
        const QString link = dir.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A10K1L2B-if00-port0"));
        QVERIFY(QFile::link(device, link));
        const QString opened = openedAs == u"second node" ? secondNode : openedAs == u"link" ? link : device;
        line.comm.setDeviceMap({{QStringLiteral("1"), opened}});

        QProcess liveHolder;
        const auto stopHolder = qScopeGuard([&] {
            liveHolder.kill();
            liveHolder.waitForFinished();
        });
        qint64 holderPid = 1;
        if (holder == u"live") {
            liveHolder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
            QVERIFY(liveHolder.waitForStarted());
            holderPid = liveHolder.processId();
        } else if (holder == u"dead") {
            holderPid = deadPid();
        }
        QString lockFile = lockFileOf(device);
        if (claimedAs == u"device numbers") {
            struct stat slave {};
            QCOMPARE(::stat(QFile::encodeName(device).constData(), &slave), 0);
            lockFile = QString::asprintf("/var/lock/LCK.%03u.%03u", major(slave.st_rdev), minor(slave.st_rdev));
        }
        const auto removeLockFile = qScopeGuard([&] { QFile::remove(lockFile); });
        const QByteArray planted = lockFileContents(claim, holderPid);
        int flocked = -1;
        const auto unlock = qScopeGuard([&] { ::close(flocked); });
        if (claim == u"flock") {
            flocked = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            QVERIFY2(flocked >= 0 && ::flock(flocked, LOCK_EX | LOCK_NB) == 0, strerror(errno));
            holderPid = QCoreApplication::applicationPid();
        } else if (!claim.isEmpty()) {
            QFile file(lockFile);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(planted) == planted.size());
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
        }
        OpeningsOf openings(opened);
        QVERIFY(openings.isWatching());

        const int error = errorNumberOf([&] { line.comm.setPortOpen(true); });

        const OpenFailure failure = line.comm.lastOpenFailure();
        QVERIFY2(error == (refused ? 8005 : 0), qPrintable(failure.description(1)));
        QCOMPARE(line.comm.PortOpen(), !refused);
        if (refused) {
            QCOMPARE(openings.count(), 0);
            QCOMPARE(failure.holderPid, holderPid);
            const QString description = failure.description(1);
            QVERIFY2(description.contains(QStringLiteral("pid %1").arg(holderPid)), qPrintable(description));
            if (claim != u"flock") {
                QCOMPARE(QFileInfo(failure.lockFile).canonicalFilePath(), QFileInfo(lockFile).canonicalFilePath());
                QFile file(lockFile);
                QVERIFY(file.open(QIODevice::ReadOnly));
                QCOMPARE(file.readAll(), planted);
            }
            return;
        }
        // Ours, in the serial port module's form: our pid on the first line.
        QFile ours(lockFileOf(device));
        QVERIFY(ours.open(QIODevice::ReadOnly));
        QCOMPARE(ours.readLine().trimmed().toLongLong(), QCoreApplication::applicationPid());
        QVERIFY(!QFile::exists(lockFileOf(link)));
        // A second copy of the monitor is refused by our flock and names us from our lock file.
        MSComm other;
        other.setDeviceMap({{QStringLiteral("1"), device}});
        QCOMPARE(errorNumberOf([&] { other.setPortOpen(true); }), 8005);
        QCOMPARE(other.lastOpenFailure().reason, OpenFailure::FlockHeld);
        QCOMPARE(other.lastOpenFailure().holder, QCoreApplication::applicationName());
        QCOMPARE(other.lastOpenFailure().holderPid, QCoreApplication::applicationPid());
        line.comm.setPortOpen(false);
        QVERIFY(!QFile::exists(lockFileOf(device)));
    }

    // Where there are no pseudo-terminals the demo device is an in-process
    // line: the port reads it through the same buffer and signal, one reader
    // at a time, and bytes sent while it is closed are lost.
    void inProcessLineIsReadAsAPortIs()
    {
        InProcessLine line;
        MSComm comm;
        comm.ports().assign(1, QStringLiteral("DEMO"), {}, &line);
        QSignalSpy received(&comm, &MSComm::received);
        line.send("lost before opening");
        comm.setPortOpen(true);
        QVERIFY(comm.PortOpen());

        line.send(QByteArray(1000, 'a'));
        line.send(QByteArray(100, 'b'));
        QCOMPARE(received.count(), 2);
        QCOMPARE(comm.InBufferCount(), 1024);
        QCOMPARE(comm.Input(), QString(1000, u'a') + QString(24, u'b'));

        MSComm other;
        other.ports().assign(1, QStringLiteral("DEMO"), {}, &line);
        QCOMPARE(errorNumberOf([&] { other.setPortOpen(true); }), 8005);

        comm.setPortOpen(false);
        QVERIFY(!line.isOpen());
        line.send("lost after closing");
        comm.setPortOpen(true);
        QCOMPARE(comm.InBufferCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
