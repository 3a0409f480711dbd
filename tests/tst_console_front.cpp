// The console front sensor-monitor.com: a console program that starts the
// program with a window beside it with the same arguments and standard
// handles and returns its status. Wine's own cmd waits for programs with a
// window too, so the front is checked here by itself: its kind of program,
// what reaches the program it starts (console_front_probe.exe, beside a copy
// of the front named after it), what comes back on the standard streams, and
// the status.
#include "test_files.h"

#include <QProcess>
#include <QTest>

#include <cstring>

namespace {

// IMAGE_SUBSYSTEM_WINDOWS_GUI and _CUI, as the PE header names them.
constexpr int kWindowSubsystem = 2;
constexpr int kConsoleSubsystem = 3;

// The subsystem field of a PE file's optional header; -1 when it is not one.
int subsystemOf(const QString &path)
{
    const QByteArray image = contentsOf(path);
    if (image.size() < 0x40 || !image.startsWith("MZ"))
        return -1;
    quint32 peAt = 0;
    std::memcpy(&peAt, image.constData() + 0x3c, sizeof peAt);
    // "PE\0\0", the 20-byte file header, then the optional header, whose
    // subsystem sits at offset 68 in PE32 and PE32+ alike.
    const qsizetype subsystemAt = qsizetype(peAt) + 4 + 20 + 68;
    if (image.size() < subsystemAt + 2 || image.mid(peAt, 4) != QByteArray("PE\0\0", 4))
        return -1;
    quint16 subsystem = 0;
    std::memcpy(&subsystem, image.constData() + subsystemAt, sizeof subsystem);
    return subsystem;
}

struct Run {
    QByteArray out;
    QByteArray err;
    int status = -1;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.out = process.readAllStandardOutput().replace("\r\n", "\n");
    result.err = process.readAllStandardError().replace("\r\n", "\n");
    result.status = process.exitCode();
    return result;
}

} // namespace

class ConsoleFrontTest : public QObject {
    Q_OBJECT

private slots:
    void eachProgramIsOfItsKind_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("subsystem");
        QTest::newRow("sensor-monitor.com -> console") << QStringLiteral(SENSOR_MONITOR_FRONT) << kConsoleSubsystem;
        QTest::newRow("sensor-monitor.exe -> window") << QStringLiteral(SENSOR_MONITOR_PROGRAM) << kWindowSubsystem;
    }

    void eachProgramIsOfItsKind()
    {
        QFETCH(QString, path);
        QFETCH(int, subsystem);
        QCOMPARE(subsystemOf(path), subsystem);
    }

    void argumentsStreamsAndStatusPassThrough_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none -> none, status 0") << QStringList{};
        QTest::newRow("words -> each one") << QStringList{"--record", "ticks.csv", "--demo"};
        QTest::newRow("spaces -> one argument") << QStringList{"C:\\Program Files\\a b.csv", "  "};
        QTest::newRow("quotes and backslashes -> as given")
            << QStringList{"say \"hi\"", "\"", "end\\", "a\\\\\"b", "C:\\dir\\"};
        QTest::newRow("empty -> kept") << QStringList{"", "x", ""};
        QTest::newRow("Cyrillic -> kept") << QStringList{"--record", "Отчёт за день.csv"};
    }

    void argumentsStreamsAndStatusPassThrough()
    {
        QFETCH(QStringList, arguments);
        const Run probe = run(QStringLiteral(SENSOR_MONITOR_PROBE_FRONT), arguments);
        QByteArray expected;
        for (const QString &argument : arguments)
            expected += argument.toUtf8() + '\n';
        QCOMPARE(probe.out, expected);
        QCOMPARE(probe.err, QByteArray("probe: done\n"));
        QCOMPARE(probe.status, int(arguments.size()));
    }

    void theProgramsAnswerComesBack_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("outStart");
        QTest::addColumn<QByteArray>("err");
        QTest::addColumn<int>("status");
        QTest::newRow("--version -> the version, 0")
            << QStringList{"--version"} << QByteArray("sensor-monitor " SENSOR_MONITOR_VERSION "\n") << QByteArray() << 0;
        QTest::newRow("--help -> the usage, 0")
            << QStringList{"--help"} << QByteArray("Usage: sensor-monitor [options]\n") << QByteArray() << 0;
        QTest::newRow("an unknown option -> the usage error, 2")
            << QStringList{"--no-such-option"} << QByteArray()
            << QByteArray("sensor-monitor: Unknown option 'no-such-option'.\n") << 2;
    }

    void theProgramsAnswerComesBack()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, outStart);
        QFETCH(QByteArray, err);
        QFETCH(int, status);
        const Run monitor = run(QStringLiteral(SENSOR_MONITOR_FRONT), arguments);
        QVERIFY2(monitor.out.startsWith(outStart), monitor.out.constData());
        QCOMPARE(monitor.err, err);
        QCOMPARE(monitor.status, status);
    }

    void frontWithoutItsProgramSaysSoWithStatus1()
    {
        const Run lone = run(QStringLiteral(SENSOR_MONITOR_LONE_FRONT), {QStringLiteral("--version")});
        QCOMPARE(lone.out, QByteArray());
        QVERIFY2(lone.err.startsWith("sensor-monitor: cannot start ") && lone.err.contains("console_front_alone.exe: "),
                 lone.err.constData());
        QCOMPARE(lone.status, 1);
    }
};

QTEST_MAIN(ConsoleFrontTest)
#include "tst_console_front.moc"
