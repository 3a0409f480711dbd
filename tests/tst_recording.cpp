// The tick log and the raw capture: what reaches the files, what the
// program refuses at start, and what happens when a file stops taking data.
#include "monitor.h"
#include "unprivileged.h"
#include "app/keep_records.h"
#include "recording/recording.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <thread>

namespace {

const QByteArray kHeader = "time,A,B,C,outcome,text\r\n";

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A monitor recording to the files given, its Com 1 open. The files outlive the window.
struct RecordingMonitor {
    Recording recording;
    QString refusal;
    Monitor monitor;

    RecordingMonitor(const QString &recordPath, const QString &capturePath)
        : refusal(openRecording(recording, recordPath, capturePath))
    {
        keepRecords(monitor.form, recording);
        monitor.openPort(1);
    }
};

} // namespace

class RecordingTest : public QObject {
    Q_OBJECT

private slots:
    void ticksBecomeCsvLines_data()
    {
        QTest::addColumn<QByteArray>("before"); // the file's bytes before the run; null: no file
        QTest::addColumn<QList<QByteArray>>("ticks");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("utcOffset"); // of the tick's clock, in seconds

        const int kUtcPlus3 = 3 * 3600;
        const QByteArray first = "2026-12-06T14:03:07+03:00,";
        const QByteArray second = "2026-12-06T14:03:08+03:00,";
        QTest::newRow("record, silence -> header, quoted text with CR LF, 0,0,0 and no text")
            << QByteArray() << QList<QByteArray>{"512,300,1023\r\n", ""}
            << kHeader + first + "512,300,1023,record,\"512,300,1023\r\n\"\r\n" + second + "0,0,0,silent,\r\n"
            << kUtcPlus3;
        QTest::newRow("text with quotes rejected -> repeated values, quotes doubled")
            << QByteArray() << QList<QByteArray>{"1,2,3\n", "say \"hi\",\r"}
            << kHeader + first + "1,2,3,record,\"1,2,3\n\"\r\n" + second + "1,2,3,repeated,\"say \"\"hi\"\",\r\"\r\n"
            << kUtcPlus3;
        QTest::newRow("plain rejected text -> written as it is")
            << QByteArray() << QList<QByteArray>{"1,2,3", "abc"}
            << kHeader + first + "1,2,3,record,\"1,2,3\"\r\n" + second + "1,2,3,repeated,abc\r\n" << kUtcPlus3;
        QTest::newRow("Latin-1 units -> UTF-8 text")
            << QByteArray() << QList<QByteArray>{"5,6,7 \xB0" "C\xE9\r\n"}
            << kHeader + first + "5,6,7,record,\"5,6,7 \xC2\xB0" "C\xC3\xA9\r\n\"\r\n" << kUtcPlus3;
        QTest::newRow("field out of range -> overflow, no values")
            << QByteArray() << QList<QByteArray>{"9,40000,1\r\n"} << kHeader + first + ",,,overflow,\"9,40000,1\r\n\"\r\n"
            << kUtcPlus3;
        QTest::newRow("empty file -> header written")
            << QByteArray("") << QList<QByteArray>{""} << kHeader + first + "0,0,0,silent,\r\n" << kUtcPlus3;
        const QByteArray earlier = kHeader + "2026-12-05T09:00:00+03:00,1,1,1,record,x\r\n";
        QTest::newRow("earlier recording -> appended, no second header")
            << earlier << QList<QByteArray>{""} << earlier + first + "0,0,0,silent,\r\n" << kUtcPlus3;
        QTest::newRow("clock west of UTC -> negative offset with minutes")
            << QByteArray() << QList<QByteArray>{""} << kHeader + "2026-12-06T14:03:07-04:30,0,0,0,silent,\r\n"
            << -(4 * 3600 + 30 * 60);
    }

    void ticksBecomeCsvLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<QByteArray>, ticks);
        QFETCH(QByteArray, after);
        QFETCH(int, utcOffset);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ticks.csv"));
        if (!before.isNull())
            QVERIFY(writeFile(path, before));
        RecordingMonitor recording(path, {});
        QCOMPARE(recording.refusal, QString());
        Monitor &monitor = recording.monitor;
        monitor.clock = QDateTime(QDate(2026, 12, 6), QTime(14, 3, 7), QTimeZone(utcOffset));
        for (const QByteArray &text : ticks)
            QVERIFY(monitor.tick(text));
        // Each line is on disk at its tick: nothing waits for the window to close.
        QCOMPARE(contentsOf(path), after);
    }

    void refusedFileOrNoDisplayEndsTheProgramBeforeAnyWindow_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1 is a fresh folder
        QTest::addColumn<QString>("stderrLine");
        QTest::addColumn<int>("status"); // 2 for a refused file, 1 without a display

        QTest::newRow("record into another program's CSV -> refused, file untouched")
            << QStringList{"--record", "%1/other.csv"}
            << "--record \"%1/other.csv\": not a recording of this program (its first line is not time,A,B,C,outcome,text)" << 2;
        QTest::newRow("record into a folder -> refused")
            << QStringList{"--record", "%1"} << "--record \"%1\": is a directory" << 2;
        QTest::newRow("capture into a missing folder -> refused")
            << QStringList{"--capture", "%1/missing/raw.bin"}
            << "--capture \"%1/missing/raw.bin\": No such file or directory" << 2;
        QTest::newRow("capture into a read-only file -> refused")
            << QStringList{"--capture", "%1/locked.bin"} << "--capture \"%1/locked.bin\": Permission denied" << 2;
        QTest::newRow("good record file, capture into a folder -> refused")
            << QStringList{"--record", "%1/ok.csv", "--capture", "%1"} << "--capture \"%1\": is a directory" << 2;
        QTest::newRow("no display, record into a new file, capture into another's -> status 1, no file made or changed")
            << QStringList{"-platform", "xcb", "--record", "%1/new.csv", "--capture", "%1/other.csv"}
            << "no display to show the window on (DISPLAY \"\", WAYLAND_DISPLAY \"\"); headless, try xvfb-run" << 1;
    }

    void refusedFileOrNoDisplayEndsTheProgramBeforeAnyWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, stderrLine);
        QFETCH(int, status);
        // Run as an ordinary user, as people do: root may write anywhere.
        RERUN_AS_NOBODY_WHEN_ROOT();

        QTemporaryDir dir;
        const QByteArray other = "name,age\r\nBob,3\r\n";
        QVERIFY(writeFile(dir.filePath(QStringLiteral("other.csv")), other));
        const QString locked = dir.filePath(QStringLiteral("locked.bin"));
        QVERIFY(writeFile(locked, {}));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        arguments.replaceInStrings(QStringLiteral("%1"), dir.path());

        // No display at all; a refused file is refused first, as a program
        // that got as far as a window would never end.
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path()); // or Qt warns that it is unset
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(SENSOR_MONITOR_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));

        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()),
                 QStringLiteral("sensor-monitor: ") + stderrLine.arg(dir.path()) + u'\n');
        QCOMPARE(contentsOf(dir.filePath(QStringLiteral("other.csv"))), other);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"locked.bin", "other.csv"}));
    }

    void captureKeepsEveryByteOfABurst()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("raw.bin"));
        RecordingMonitor recording({}, path);
        QCOMPARE(recording.refusal, QString());
        Monitor &monitor = recording.monitor;

        // 1 MiB with every byte value, far more than a tick's buffer can hold.
        QByteArray burst(1 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < burst.size(); ++i)
            burst[i] = char((i * 31 + i / 256) & 0xFF);

        qsizetype longestShown = 0;
        int ticks = 0;
        QTimer sampling;
        connect(&sampling, &QTimer::timeout, &monitor.form, [&] {
            monitor.form.Timer1_Timer();
            longestShown = std::max(longestShown, monitor.text(QStringLiteral("Resive")).size());
            ++ticks;
        });
        sampling.start(5);
        bool sent = false;
        std::thread sender([&] { sent = monitor.device.send(burst); });
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path).size(), burst.size(), 60000);
        sender.join();
        sampling.stop();

        QVERIFY(sent);
        QVERIFY(ticks > 1);
        QCOMPARE(contentsOf(path), burst);
        QCOMPARE(longestShown, qsizetype(1024));
    }

    void fileThatFailsIsReportedOnceAndMonitoringGoesOn_data()
    {
        QTest::addColumn<bool>("record"); // else capture
        QTest::addColumn<QString>("message");

        QTest::newRow("record on a full disk -> one box, recording stops")
            << true << "Запись показаний в файл /dev/full остановлена: на диске нет места. Наблюдение продолжается.";
        QTest::newRow("capture on a full disk -> one box, capture stops")
            << false << "Запись принятых байтов в файл /dev/full остановлена: на диске нет места. Наблюдение продолжается.";
    }

    void fileThatFailsIsReportedOnceAndMonitoringGoesOn()
    {
        QFETCH(bool, record);
        QFETCH(QString, message);

        const QString full = QStringLiteral("/dev/full");
        RecordingMonitor recording(record ? full : QString(), record ? QString() : full);
        QCOMPARE(recording.refusal, QString());
        Monitor &monitor = recording.monitor;
        for (const char *text : {"1,2,3\r\n", "4,5,6\r\n", "7,8,9\r\n"})
            QVERIFY(monitor.tick(text));

        const QList<QMessageBox *> boxes = monitor.form.findChildren<QMessageBox *>();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first()->windowTitle(), QStringLiteral("Ошибка"));
        QCOMPARE(boxes.first()->text(), message);
        QCOMPARE(monitor.values(20), Row({7, 8, 9}));
        QVERIFY(monitor.comm.PortOpen());
    }
};

QTEST_MAIN(RecordingTest)
#include "tst_recording.moc"
