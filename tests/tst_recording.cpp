// The tick log and the raw capture: what reaches the files, what the
// program refuses at start, and what happens when a file stops taking data.
#include "monitor.h"
#include "test_files.h"
#include "unprivileged.h"
#include "app/keep_records.h"
#include "recording/recording.h"
#include "app/termination_signals.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QByteArray kHeader = "time,A,B,C,outcome,text\r\n";
const QByteArray kEarlier = kHeader + "2026-12-05T09:00:00+03:00,1,1,1,record,x\r\n";
// A crash or power cut in the middle of a line: inside an open quote, every
// later line would otherwise read as part of that one field.
const QByteArray kTornLine = "2026-12-05T09:00:01+03:00,1,1,1,record,\"1,1\r\n";

// Where the program of a start-up row shows its window.
enum class ProgramDisplay {
    Unset,    // no DISPLAY
    Unserved, // a DISPLAY that no X server serves
    Served,   // an X server of the test's own
    Refusing, // an X server that turns away a client without its cookie
};

// An X server of the test's own on a display that -displayfd finds free.
// One that needs a cookie turns away every client without it, as the
// server of somebody else's session does.
struct XServer {
    QTemporaryDir files;
    QProcess process;
    QString display; // ":N"; empty when it did not start
    QString problem;

    explicit XServer(bool needsCookie)
    {
        QStringList arguments{"-displayfd", "1", "-nolisten", "tcp"};
        if (needsCookie) {
            const QString cookies = files.filePath(QStringLiteral("cookies"));
            if (!writeFile(cookies, xauthorityEntry())) {
                problem = QStringLiteral("cannot write the cookie file");
                return;
            }
            arguments << QStringLiteral("-auth") << cookies;
        }
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral("Xvfb"), arguments);
        QByteArray number;
        while (!number.endsWith('\n') && process.waitForReadyRead(30000))
            number += process.readAllStandardOutput();
        if (!number.endsWith('\n')) {
            problem = QStringLiteral("Xvfb did not start: %1").arg(process.errorString());
            return;
        }
        display = u':' + QString::fromLatin1(number.trimmed());
    }

    ~XServer()
    {
        process.terminate();
        process.waitForFinished();
    }

    // One entry of an Xauthority file: FamilyLocal, host, display number,
    // MIT-MAGIC-COOKIE-1 and the cookie, each behind its big-endian length.
    static QByteArray xauthorityEntry()
    {
        QByteArray entry("\x01\x00", 2);
        for (const QByteArray &field : {QByteArray("localhost"), QByteArray("0"), QByteArray("MIT-MAGIC-COOKIE-1"), QByteArray(16, 'Z')})
            entry += char(field.size() >> 8) + QByteArray(1, char(field.size() & 0xFF)) + field;
        return entry;
    }
};

// The regular files of a folder and their bytes.
QMap<QString, QByteArray> filesIn(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        files[name] = contentsOf(QDir(folder).filePath(name));
    return files;
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
        QTest::addColumn<QDateTime>("start"); // the tick's clock
        QTest::addColumn<int>("cutBytes"); // of a torn last line, told on stderr

        const QDateTime kUtcPlus3{QDate(2026, 12, 6), QTime(14, 3, 7), QTimeZone(3 * 3600)};
        const QByteArray first = "2026-12-06T14:03:07+03:00,";
        const QByteArray second = "2026-12-06T14:03:08+03:00,";
        QTest::newRow("record, silence -> header, quoted text with CR LF, 0,0,0 and no text")
            << QByteArray() << QList<QByteArray>{"512,300,1023\r\n", ""}
            << kHeader + first + "512,300,1023,record,\"512,300,1023\r\n\"\r\n" + second + "0,0,0,silent,\r\n"
            << kUtcPlus3 << 0;
        QTest::newRow("text with quotes rejected -> repeated values, quotes doubled")
            << QByteArray() << QList<QByteArray>{"1,2,3\n", "say \"hi\",\r"}
            << kHeader + first + "1,2,3,record,\"1,2,3\n\"\r\n" + second + "1,2,3,repeated,\"say \"\"hi\"\",\r\"\r\n"
            << kUtcPlus3 << 0;
        QTest::newRow("plain rejected text -> written as it is")
            << QByteArray() << QList<QByteArray>{"1,2,3", "abc"}
            << kHeader + first + "1,2,3,record,\"1,2,3\"\r\n" + second + "1,2,3,repeated,abc\r\n" << kUtcPlus3 << 0;
        QTest::newRow("Latin-1 units -> UTF-8 text")
            << QByteArray() << QList<QByteArray>{"5,6,7 \xB0" "C\xE9\r\n"}
            << kHeader + first + "5,6,7,record,\"5,6,7 \xC2\xB0" "C\xC3\xA9\r\n\"\r\n" << kUtcPlus3 << 0;
        QTest::newRow("field out of range -> overflow, no values")
            << QByteArray() << QList<QByteArray>{"9,40000,1\r\n"} << kHeader + first + ",,,overflow,\"9,40000,1\r\n\"\r\n"
            << kUtcPlus3 << 0;
        QTest::newRow("earlier recording -> appended, no second header")
            << kEarlier << QList<QByteArray>{""} << kEarlier + first + "0,0,0,silent,\r\n" << kUtcPlus3 << 0;
        QTest::newRow("torn last line inside a quote -> cut back, new lines after the last whole one")
            << kEarlier + kTornLine << QList<QByteArray>{""} << kEarlier + first + "0,0,0,silent,\r\n" << kUtcPlus3
            << int(kTornLine.size());
        QTest::newRow("torn header -> cut, header written whole")
            << QByteArray("time,A,B") << QList<QByteArray>{""} << kHeader + first + "0,0,0,silent,\r\n" << kUtcPlus3 << 8;
        QTest::newRow("clock west of UTC -> negative offset with minutes")
            << QByteArray() << QList<QByteArray>{""} << kHeader + "2026-12-06T14:03:07-04:30,0,0,0,silent,\r\n"
            << QDateTime(QDate(2026, 12, 6), QTime(14, 3, 7), QTimeZone(-(4 * 3600 + 30 * 60))) << 0;
        // The offset is the instant's own, never the one the run started with:
        // Berlin switches from +01:00 to +02:00 at 01:00 UTC on 29 March 2026.
        QTest::newRow("Berlin across its daylight saving change -> +01:00, then +02:00")
            << QByteArray() << QList<QByteArray>{"", ""}
            << kHeader + "2026-03-29T01:59:59+01:00,0,0,0,silent,\r\n2026-03-29T03:00:00+02:00,0,0,0,silent,\r\n"
            << QDateTime(QDate(2026, 3, 29), QTime(1, 59, 59), QTimeZone("Europe/Berlin")) << 0;
    }

    void ticksBecomeCsvLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<QByteArray>, ticks);
        QFETCH(QByteArray, after);
        QFETCH(QDateTime, start);
        QFETCH(int, cutBytes);
        if (!start.isValid())
            QSKIP("no time zone data for this row's clock on this host");

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ticks.csv"));
        if (!before.isNull())
            QVERIFY(writeFile(path, before));
        RecordingMonitor recording(path, {});
        QCOMPARE(recording.refusal, QString());
        const QStringList cutNotice{QStringLiteral("tst_recording: --record \"%1\": cut %2 bytes of an incomplete last line\n").arg(path).arg(cutBytes)};
        QCOMPARE(recording.recording.notices, cutBytes > 0 ? cutNotice : QStringList());
        Monitor &monitor = recording.monitor;
        monitor.clock = start;
        for (const QByteArray &text : ticks)
            QVERIFY(monitor.tick(text));
        // Each line is on disk at its tick: nothing waits for the window to close.
        QCOMPARE(contentsOf(path), after);
    }

    void refusedStartChangesNothing_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1 is a fresh folder, %2 its name, %3 the X display
        QTest::addColumn<int>("display");
        QTest::addColumn<QString>("said"); // a line of stderr: ours the only one, or one of Qt's own
        QTest::addColumn<int>("status"); // 2 refused, 1 no platform, 0 started (and then stopped)

        const QString program = QStringLiteral("sensor-monitor: ");
        QTest::newRow("record into another program's CSV -> refused")
            << QStringList{"--record", "%1/other.csv"} << int(ProgramDisplay::Unset)
            << program + "--record \"%1/other.csv\": not a recording of this program (its first line is not time,A,B,C,outcome,text)" << 2;
        QTest::newRow("record into a folder -> refused")
            << QStringList{"--record", "%1"} << int(ProgramDisplay::Unset) << program + "--record \"%1\": is a directory" << 2;
        QTest::newRow("capture into a read-only file -> refused")
            << QStringList{"--capture", "%1/locked.bin"} << int(ProgramDisplay::Unset)
            << program + "--capture \"%1/locked.bin\": Permission denied" << 2;
        QTest::newRow("new record file, capture into a folder -> refused, the record file never made")
            << QStringList{"--record", "%1/ok.csv", "--capture", "%1"} << int(ProgramDisplay::Unset)
            << program + "--capture \"%1\": is a directory" << 2;
        QTest::newRow("record into a FIFO nobody reads -> refused at once, never waited for")
            << QStringList{"--record", "%1/fifo"} << int(ProgramDisplay::Unset)
            << program + "--record \"%1/fifo\": a FIFO that no program reads: start its reader first" << 2;
        QTest::newRow("record and capture into one new file by two paths -> refused, nothing made")
            << QStringList{"--record", "%1/one.csv", "--capture", "%1/../%2/one.csv"} << int(ProgramDisplay::Unset)
            << program + "--capture \"%1/../%2/one.csv\": the same file as --record \"%1/one.csv\"" << 2;
        QTest::newRow("torn record, capture into a missing folder -> refused, the torn line kept")
            << QStringList{"--record", "%1/torn.csv", "--capture", "/nonexistent/x.bin"} << int(ProgramDisplay::Unset)
            << program + "--capture \"/nonexistent/x.bin\": No such file or directory" << 2;
        QTest::newRow("new capture file, record into a missing folder -> refused, the capture file never made")
            << QStringList{"--capture", "%1/new.bin", "--record", "%1/missing/r.csv"} << int(ProgramDisplay::Unset)
            << program + "--record \"%1/missing/r.csv\": No such file or directory" << 2;
        QTest::newRow("torn record, --publish to a wildcard topic -> refused, the torn line kept")
            << QStringList{"--record", "%1/torn.csv", "--publish", "mqtt://127.0.0.1/lab/+/x"} << int(ProgramDisplay::Unset)
            << QString() /* one line, in the URL check's own words */ << 2;
        const QString noDisplay = program + "no display to show the window on (DISPLAY \"%3\", WAYLAND_DISPLAY \"\"); headless, try xvfb-run";
        QTest::newRow("no display, torn record, new capture -> status 1, nothing made or cut")
            << QStringList{"-platform", "xcb", "--record", "%1/torn.csv", "--capture", "%1/new.bin"} << int(ProgramDisplay::Unset)
            << noDisplay << 1;
        QTest::newRow("a display nobody serves -> status 1, the display said to be missing")
            << QStringList{"-platform", "xcb", "--record", "%1/torn.csv"} << int(ProgramDisplay::Unserved) << noDisplay << 1;
        QTest::newRow("-platform nosuchplatform on a display that answers -> status 1, Qt's words name the plugin")
            << QStringList{"-platform", "nosuchplatform", "--record", "%1/torn.csv"} << int(ProgramDisplay::Served)
            << "qt.qpa.plugin: Could not find the Qt platform plugin \"nosuchplatform\" in \"\"" << 1;
        QTest::newRow("an X server that turns the program away -> status 1, Qt's words, not a missing display")
            << QStringList{"-platform", "xcb", "--record", "%1/torn.csv"} << int(ProgramDisplay::Refusing)
            << "qt.qpa.xcb: could not connect to display %3" << 1;
        QTest::newRow("torn record, nothing refused -> started, the torn line cut and said")
            << QStringList{"--record", "%1/torn.csv"} << int(ProgramDisplay::Unset)
            << program + "--record \"%1/torn.csv\": cut " + QString::number(kTornLine.size()) + " bytes of an incomplete last line"
            << 0;
    }

    void refusedStartChangesNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, display);
        QFETCH(QString, said);
        QFETCH(int, status);
        // Run as an ordinary user, as people do: root may write anywhere.
        RERUN_AS_NOBODY_WHEN_ROOT();

        QTemporaryDir dir;
        const QString folderName = QFileInfo(dir.path()).fileName();
        QVERIFY(writeFile(dir.filePath(QStringLiteral("other.csv")), "name,age\r\nBob,3\r\n"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("torn.csv")), kEarlier + kTornLine));
        const QString locked = dir.filePath(QStringLiteral("locked.bin"));
        QVERIFY(writeFile(locked, {}));
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
        const QMap<QString, QByteArray> before = filesIn(dir.path());

        // The program's display: QT_QPA_PLATFORM as every test has it, and
        // DISPLAY as the row wants it; no X cookie of the user's.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("XAUTHORITY"), dir.filePath(QStringLiteral("no-cookies")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path()); // or Qt warns that it is unset
        const auto shownOn = ProgramDisplay(display);
        std::optional<XServer> server;
        QString displayName;
        if (shownOn == ProgramDisplay::Unserved)
            displayName = QStringLiteral(":32767"); // beyond any that Xvfb's -displayfd hands out
        if (shownOn == ProgramDisplay::Served || shownOn == ProgramDisplay::Refusing) {
            if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
                QSKIP("Xvfb is not installed: no X server to try this row on");
            server.emplace(shownOn == ProgramDisplay::Refusing);
            QVERIFY2(!server->display.isEmpty(), qPrintable(server->problem));
            displayName = server->display;
        }
        if (!displayName.isEmpty())
            environment.insert(QStringLiteral("DISPLAY"), displayName);
        const auto filledIn = [&](QString text) {
            return text.replace(QStringLiteral("%3"), displayName).replace(QStringLiteral("%2"), folderName)
                .replace(QStringLiteral("%1"), dir.path());
        };
        said = filledIn(said);
        for (QString &argument : arguments)
            argument = filledIn(argument);

        QProcess monitor;
        monitor.setProcessEnvironment(environment);
        monitor.start(QStringLiteral(SENSOR_MONITOR_PROGRAM), arguments);
        QString shown;
        if (status == 0) {
            // The cut is told once it is made and nothing can refuse the start any more.
            QTRY_VERIFY_WITH_TIMEOUT((shown += QString::fromLocal8Bit(monitor.readAllStandardError())).contains(u'\n'), 30000);
            monitor.kill();
            QVERIFY(monitor.waitForFinished(30000));
        } else {
            QVERIFY(monitor.waitForFinished(30000));
            QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
            QCOMPARE(monitor.exitCode(), status);
        }
        shown += QString::fromLocal8Bit(monitor.readAllStandardError());
        // A refusal of ours is one line; Qt's own words are several, among them the row's.
        const QStringList lines = shown.split(u'\n', Qt::SkipEmptyParts);
        if (said.isEmpty() || said.startsWith(u"sensor-monitor: ")) {
            QVERIFY2(said.isEmpty() || lines.value(0) == said, qPrintable(shown));
            QVERIFY2(status == 0 || lines.size() == 1, qPrintable(shown));
        } else {
            QVERIFY2(lines.contains(said) && !shown.contains(u"no display"), qPrintable(shown));
        }
        QMap<QString, QByteArray> after = before;
        if (status == 0)
            after[QStringLiteral("torn.csv")] = kEarlier;
        QCOMPARE(filesIn(dir.path()), after);
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

    // The reader of a pipe takes its time or goes away: the window's thread
    // never waits for it, what waits in memory is bounded, and a reader that
    // went away stops the file with its reason, not the program.
    void pipeReaderThatStallsOrGoesAwayNeverBlocksTheWindow()
    {
        ignoreBrokenPipes();
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        {
            QFile reader;
            QVERIFY(reader.open(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK), QIODevice::ReadOnly,
                                QFileDevice::AutoCloseHandle));
            RecordingMonitor recording({}, fifo);
            QCOMPARE(recording.refusal, QString());
            QSignalSpy failures(&recording.recording.bytes, &ByteCapture::failed);

            // 1 MiB, sixteen times what the pipe holds, is handed over at once
            // and reaches the reader whole as it reads.
            const QByteArray chunk(1 << 20, 'x');
            recording.recording.bytes.capture(chunk);
            QByteArray arrived;
            QTRY_COMPARE_WITH_TIMEOUT((arrived += reader.readAll()).size(), chunk.size(), 20000);

            // A reader that stops reading: past the bound the file stops.
            for (int i = 0; i < 6 && failures.isEmpty(); ++i)
                recording.recording.bytes.capture(chunk);
            QCOMPARE(failures.count(), 1);
            QVERIFY2(failures.first().at(2).toString().contains(u"stopped taking data"), qPrintable(failures.first().at(2).toString()));
            QVERIFY(!recording.recording.bytes.isWriting());
        }

        // A writer whose reader goes away.
        QFile gone;
        QVERIFY(gone.open(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK), QIODevice::ReadOnly,
                          QFileDevice::AutoCloseHandle));
        RecordingMonitor ticks(fifo, {});
        QCOMPARE(ticks.refusal, QString());
        QVERIFY(ticks.monitor.tick("1,2,3\r\n"));
        QByteArray got;
        QTRY_VERIFY2((got += gone.readAll()).contains("1,2,3"), got.constData());
        gone.close();
        QVERIFY(ticks.monitor.tick("4,5,6\r\n"));
        QTRY_VERIFY(Monitor::shownBox());
        QVERIFY2(Monitor::shownBox()->informativeText().contains(u"went away"), qPrintable(Monitor::shownBox()->informativeText()));
        QVERIFY(ticks.monitor.tick("7,8,9\r\n"));
        QCOMPARE(ticks.monitor.values(20), Row({7, 8, 9}));
    }

    void fileThatFailsIsReportedOnceAndMonitoringGoesOn_data()
    {
        QTest::addColumn<bool>("record"); // else capture
        QTest::addColumn<bool>("tinyDisk"); // else /dev/full
        QTest::addColumn<QString>("message"); // %1: the file

        QTest::newRow("record on a full disk -> one box, recording stops")
            << true << false << "Запись показаний в файл %1 остановлена: на диске нет места. Наблюдение продолжается.";
        QTest::newRow("capture on a full disk -> one box, capture stops")
            << false << false << "Запись принятых байтов в файл %1 остановлена: на диске нет места. Наблюдение продолжается.";
        QTest::newRow("record on a tiny disk filling up mid-line -> one box, the file ends with its last whole line")
            << true << true << "Запись показаний в файл %1 остановлена: на диске нет места. Наблюдение продолжается.";
    }

    void fileThatFailsIsReportedOnceAndMonitoringGoesOn()
    {
        QFETCH(bool, record);
        QFETCH(bool, tinyDisk);
        QFETCH(QString, message);

        QTemporaryDir dir;
        QString path = QStringLiteral("/dev/full");
        if (tinyDisk) {
            if (!runningAsRoot())
                QSKIP("mounting a tiny filesystem needs root");
            QProcess mount;
            mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=8k", "tmpfs", dir.path()});
            if (!mount.waitForFinished() || mount.exitCode() != 0)
                QSKIP("this host does not let the test mount a tmpfs");
            path = dir.filePath(QStringLiteral("ticks.csv"));
        }
        const auto unmount = qScopeGuard([&] {
            if (tinyDisk)
                QProcess::execute(QStringLiteral("umount"), {dir.path()});
        });
        RecordingMonitor recording(record ? path : QString(), record ? QString() : path);
        QCOMPARE(recording.refusal, QString());
        Monitor &monitor = recording.monitor;
        // Lines of about 1 KB: the tiny disk fills up within one of them.
        const QByteArray text = "7,8,9 " + QByteArray(1000, '#') + "\r\n";
        for (int i = 0; i < 12; ++i)
            QVERIFY(monitor.tick(text));

        const QList<QMessageBox *> boxes = monitor.form.findChildren<QMessageBox *>();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first()->windowTitle(), QStringLiteral("Ошибка"));
        QCOMPARE(boxes.first()->text(), message.arg(path));
        QCOMPARE(monitor.values(20), Row({7, 8, 9}));
        QVERIFY(monitor.comm.PortOpen());
        if (tinyDisk) {
            const QByteArray written = contentsOf(path);
            const qsizetype lineSize = QByteArray("2026-12-06T14:03:07+03:00,7,8,9,record,\"\"\r\n").size() + text.size();
            QVERIFY2(written.size() > kHeader.size() && (written.size() - kHeader.size()) % lineSize == 0,
                     qPrintable(QString::number(written.size())));
        }
    }
};

QTEST_MAIN(RecordingTest)
#include "tst_recording.moc"
