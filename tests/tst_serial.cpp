#include "pty_pair.h"
#include "raised_error.h"
#include "serial/mscomm.h"
#include "serial/port_directory.h"
#include "sim/in_process_line.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

// A layer whose port 1 is the slave side of a fresh pseudo-terminal.
struct Wired {
    PtyPair pty;
    MSComm comm;
    Wired() { comm.setDeviceMap({{QStringLiteral("1"), pty.slavePath()}}); }
};

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
        QTest::newRow("macOS cu.usbserial-1410 with vendor id, cu.Bluetooth -> the adapter first")
            << QList<HostPortName>{{"cu.Bluetooth-Incoming-Port"}, {"cu.usbserial-1410", true}}
            << QStringList{"cu.usbserial-1410", "cu.Bluetooth-Incoming-Port"};
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
    // between, some in the middle of a record. Every byte reaches the capture
    // once and in order, each tick gets the oldest 1024 characters of what
    // came since the last one, and a hang-up in the middle is reported once.
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
        QByteArray sent;
        QTimer device; // 56 characters every 5 ms: 115200 bit/s
        QObject::connect(&device, &QTimer::timeout, &device, [&] {
            QByteArray records;
            for (int k = 0; k < 4; ++k)
                records += QByteArray::number(sent.size() + records.size()).rightJustified(12, '0') + "\r\n";
            sent += records;
            QVERIFY(line.pty.send(records));
        });
        QTimer tick;
        QStringList inputs;
        QStringList expected;
        QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
            inputs << line.comm.Input(); // takes what the host holds first
            expected << QString::fromLatin1(sinceTick.first(std::min<qsizetype>(1024, sinceTick.size())));
            sinceTick.clear();
        });
        device.setTimerType(Qt::PreciseTimer);
        device.start(5);
        tick.start(333);

        QTest::qWait(1500);
        device.stop();
        if (hangUp)
            line.pty.hangUp();
        QTest::qWait(600);

        QCOMPARE(failed.count(), hangUp ? 1 : 0);
        QVERIFY2(sent.size() > 8000, qPrintable(QString::number(sent.size())));
        QCOMPARE(inputs, expected);
        if (hangUp) // Linux discards what the host held at the hang-up: at most the last batch
            QVERIFY2(sent.startsWith(captured) && captured.size() >= sent.size() - 2048, qPrintable(QString::number(captured.size())));
        else
            QCOMPARE(captured.size(), sent.size());
        QVERIFY(sent.startsWith(captured));
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
