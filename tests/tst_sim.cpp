// The simulated device: its records read as the monitor reads them, and
// sensor-sim delivers them through a pseudo-terminal.
#include "reception/record_parser.h"
#include "sim/record_generator.h"

#include <QProcess>
#include <QSerialPort>
#include <QTest>

#include <optional>
#include <set>

Q_DECLARE_METATYPE(LineEnd)

namespace {

// The monitor's verdict on one record as sent; the reading when it parsed.
std::optional<SensorReading> parsedByMonitor(const QByteArray &record)
{
    ReceptionState state;
    state.Rx_Line = QString::fromLatin1(record);
    if (parseRecord(state) != RecordOutcome::Parsed)
        return std::nullopt;
    return SensorReading{state.Sens_A, state.Sens_B, state.Sens_C};
}

} // namespace

class SimTest : public QObject {
    Q_OBJECT

private slots:
    void generatedRecordsParseWithinScale_data()
    {
        QTest::addColumn<LineEnd>("lineEnd");
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<quint32>("seed");

        QTest::newRow("crlf, default seed -> parses, 0..1024") << LineEnd::CrLf << QByteArray("\r\n")
                                                               << RecordGenerator::kDefaultSeed;
        QTest::newRow("lf, seed 0 -> parses, 0..1024") << LineEnd::Lf << QByteArray("\n") << 0u;
        QTest::newRow("cr, seed 7 -> parses, 0..1024") << LineEnd::Cr << QByteArray("\r") << 7u;
        QTest::newRow("lfcr, seed 2^32-1 -> parses, 0..1024") << LineEnd::LfCr << QByteArray("\n\r") << 4294967295u;
    }

    void generatedRecordsParseWithinScale()
    {
        QFETCH(LineEnd, lineEnd);
        QFETCH(QByteArray, ending);
        QFETCH(quint32, seed);

        RecordGenerator generator(seed);
        RecordGenerator again(seed);
        std::set<int> seen[3];
        // Two periods of the slowest wave.
        for (int n = 0; n < 480; ++n) {
            const SensorReading reading = generator.next();
            QCOMPARE(again.next(), reading);
            const QByteArray record = QByteArray::fromStdString(recordText(reading, lineEnd));
            QVERIFY2(record.endsWith(ending), record.constData());
            const auto parsed = parsedByMonitor(record);
            QVERIFY2(parsed && *parsed == reading, record.constData());
            for (const int value : {reading.a, reading.b, reading.c})
                QVERIFY2(value >= 0 && value <= 1024, record.constData());
            seen[0].insert(reading.a);
            seen[1].insert(reading.b);
            seen[2].insert(reading.c);
        }
        // Every sensor moves.
        for (const auto &values : seen)
            QVERIFY(values.size() > 20);
    }

    // The first records, worked out by hand from the documented formula:
    // A = 512 + 400 sin(2πn/40) rounded, B = 100 + 5n, C = 800 + (x mod 81) − 40
    // with x the n-th number of std::mt19937 seeded with 1024 (2781812667,
    // 1825252241, 4281711201). A refusal is one line on stderr.
    void sensorSimDoesWhatItsCommandLineSays_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("written"); // to its pseudo-terminal; on a refusal, to stderr

        const QStringList three{"--pty", "--count", "3", "--interval", "100"};
        QTest::newRow("--pty --count 3 -> the first three records, CR LF")
            << three << 0 << QByteArray("512,100,781\r\n575,105,783\r\n636,110,769\r\n");
        QTest::newRow("--line-end lfcr -> the same records, LF CR")
            << three + QStringList{"--line-end", "lfcr"} << 0 << QByteArray("512,100,781\n\r575,105,783\n\r636,110,769\n\r");
        QTest::newRow("no device -> 2, names what is expected") << QStringList{} << 2
            << QByteArray("sensor-sim: no device; expected a DEVICE such as /dev/ttyUSB0, or --pty\n");
        QTest::newRow("two devices -> 2") << QStringList{"/dev/ttyS0", "/dev/ttyS1"} << 2
            << QByteArray("sensor-sim: unexpected argument \"/dev/ttyS1\"; expected one DEVICE or --pty\n");
        QTest::newRow("--interval 0 -> 2") << QStringList{"--pty", "--interval", "0"} << 2
            << QByteArray("sensor-sim: --interval \"0\": expected milliseconds from 1 to 3600000\n");
        QTest::newRow("--line-end crcr -> 2") << QStringList{"--pty", "--line-end", "crcr"} << 2
            << QByteArray("sensor-sim: --line-end \"crcr\": expected crlf, lf, cr or lfcr\n");
        QTest::newRow("--count 0 -> 2") << QStringList{"--pty", "--count", "0"} << 2
            << QByteArray("sensor-sim: --count \"0\": expected a number of records from 1 up\n");
        QTest::newRow("a device that does not exist -> 1") << QStringList{"/dev/ttyNoSuchDevice7"} << 1
            << QByteArray("sensor-sim: cannot open /dev/ttyNoSuchDevice7: No such file or directory\n");
    }

    void sensorSimDoesWhatItsCommandLineSays()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, written);

        QProcess sim;
        sim.start(QStringLiteral(SENSOR_SIM_PATH), arguments);
        QByteArray received;
        if (status == 0) {
            QVERIFY(sim.waitForStarted());
            QTRY_VERIFY(sim.canReadLine());
            const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
            QSerialPort port(path);
            QVERIFY2(port.open(QIODevice::ReadOnly), qPrintable(path + u' ' + port.errorString()));
            QTRY_VERIFY_WITH_TIMEOUT((received += port.readAll()).size() >= written.size(), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(sim.state(), QProcess::NotRunning, 10000);
            received += port.readAll();
        } else {
            QVERIFY(sim.waitForFinished(10000));
            received = sim.readAllStandardError();
            QCOMPARE(sim.readAllStandardOutput(), QByteArray());
        }
        QCOMPARE(received, written);
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), status);
    }
};

QTEST_GUILESS_MAIN(SimTest)
#include "tst_sim.moc"
