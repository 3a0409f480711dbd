// How late the event loop runs while a device floods the line at 115200
// bit/s, with and without the tick log and the raw capture; and with
// --wakeups, what the monitor costs while it listens. The real window and its
// one-second timer run here, Com 1 is a pseudo-terminal at 115200, and the
// device is a separate process (as a user's device is) writing 14-byte
// records at an even pace.
//
//   QT_QPA_PLATFORM=offscreen build/soak/bench/bench_flood [--seconds N]
//       [--records-per-second R] [--record FILE] [--capture FILE] [--publish URL]
//   QT_QPA_PLATFORM=offscreen build/soak/bench/bench_flood --wakeups [--seconds N]
//
// The first form runs a probe timer every 10 ms measuring how much later than
// due it fires. R defaults to 823 (11,522 bytes a second, what 115200 bit/s
// 8N1 carries); with --records-per-second 1 it is a calm device, for a sample
// recording. --wakeups runs no probe: with the port open and the device
// silent, at one record a second and under the flood, N seconds each (default
// 10, after a second to settle), it prints the monitor's CPU share of one core
// and its threads' context switches a second (voluntary and involuntary, from
// /proc/self/task), which count how often it was woken.
#include "process_cpu.h"
#include "pty_pair.h"
#include "reception/reception_state.h"
#include "app/keep_publishing.h"
#include "app/keep_records.h"
#include "publishing/mqtt_publisher.h"
#include "recording/recording.h"
#include "window/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

constexpr int kProbeMs = 10;
constexpr int kDrainMs = 300;
constexpr int kFloodRecordsPerSecond = 823;
constexpr int kSettleMs = 1000;
constexpr int kWriterStartMs = 5000;

struct Settings {
    int seconds = 10;
    int recordsPerSecond = kFloodRecordsPerSecond;
    QString recordPath;
    QString capturePath;
    QString publishUrl;
    bool wakeups = false;
    int writerRate = -1; // the device's own process: its records a second
};

Settings settingsFrom(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("How long to run."), QStringLiteral("N"));
    const QCommandLineOption rate(QStringLiteral("records-per-second"), QStringLiteral("Device rate."), QStringLiteral("R"));
    const QCommandLineOption record(QStringLiteral("record"), QStringLiteral("Tick log."), QStringLiteral("FILE"));
    const QCommandLineOption capture(QStringLiteral("capture"), QStringLiteral("Raw capture."), QStringLiteral("FILE"));
    const QCommandLineOption wakeups(QStringLiteral("wakeups"), QStringLiteral("CPU and wakeups: silent, calm, flood."));
    const QCommandLineOption writer(QStringLiteral("writer"), QStringLiteral("Play the device (internal)."), QStringLiteral("R"));
        const QCommandLineOption publish(QStringLiteral("publish"), QStringLiteral("MQTT broker and topic."), QStringLiteral("URL"));
    parser.addOptions({seconds, rate, record, capture, publish, wakeups, writer});
    parser.process(arguments);
    Settings settings;
    settings.seconds = parser.value(seconds).toInt() > 0 ? parser.value(seconds).toInt() : settings.seconds;
    settings.recordsPerSecond = parser.value(rate).toInt() > 0 ? parser.value(rate).toInt() : settings.recordsPerSecond;
    settings.recordPath = parser.value(record);
    settings.capturePath = parser.value(capture);
    settings.publishUrl = parser.value(publish);
    settings.wakeups = parser.isSet(wakeups);
    settings.writerRate = parser.isSet(writer) ? std::max(0, parser.value(writer).toInt()) : -1;
    return settings;
}

// Record k: three values that move, always 14 bytes with CR LF.
QByteArray record(int k)
{
    char text[32];
    std::snprintf(text, sizeof text, "%03d,%03d,%04d\r\n", (k * 37) % 1000, (500 + k * 91) % 1000, (k * 13) % 1024);
    return QByteArray(text);
}

// Sends records at an even pace until told to stop (none at rate 0); the bytes sent.
void sendRecords(PtyPair &device, int recordsPerSecond, const std::atomic<bool> &stop, qint64 &bytesSent)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (int k = 0; !stop; ++k) {
        if (recordsPerSecond == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000LL * k / recordsPerSecond));
        const QByteArray bytes = record(k);
        if (!device.send(bytes))
            return;
        bytesSent += bytes.size();
    }
}

// Reads the device's input up to the end of a line (or of the input).
void awaitLine()
{
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
    }
}

// The device's process: prints its line's path, starts sending at the first
// line on its input (the port is open by then, so that everything sent can be
// held against a capture) and stops at the second, then prints the bytes it
// sent. The line stays up until its input ends: a closed line is a hang-up.
int playDevice(int recordsPerSecond)
{
    PtyPair device;
    std::printf("%s\n", qPrintable(device.slavePath()));
    std::fflush(stdout);
    awaitLine();
    std::atomic<bool> stop = false;
    std::thread stopper([&stop] {
        awaitLine();
        stop = true;
    });
    qint64 bytesSent = 0;
    sendRecords(device, recordsPerSecond, stop, bytesSent);
    stopper.join();
    std::printf("%lld\n", static_cast<long long>(bytesSent));
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

// Starts the device's process; the path of its line, empty on failure.
QString startDevice(QProcess &device, int recordsPerSecond)
{
    device.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--writer"), QString::number(recordsPerSecond)});
    if (!device.waitForReadyRead(kWriterStartMs))
        return {};
    return QString::fromLocal8Bit(device.readLine().trimmed());
}

// Stops the device's sending; the bytes it sent.
qint64 stopDevice(QProcess &device)
{
    device.write("stop\n");
    device.waitForReadyRead(kWriterStartMs);
    return device.readLine().trimmed().toLongLong();
}

// Takes the line down once the monitor has closed its port.
void endDevice(QProcess &device)
{
    device.closeWriteChannel();
    device.waitForFinished(kWriterStartMs);
}

// Com 1 opens the device's line through the window; the device then starts.
void openComOne(Form1 &form, const QString &path, QProcess &device)
{
    form.findChild<QObject *>(QStringLiteral("MSComm1"))->setProperty("DeviceMap", QVariantMap{{QStringLiteral("1"), path}});
    form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
    form.findChild<QRadioButton *>(QStringLiteral("Spd_baud(7)"))->setChecked(true);
    form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"))->click();
    device.write("start\n");
}

void pressOpenClose(Form1 &form)
{
    form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"))->click();
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(fraction * double(values.size())))];
}

// Context switches of all this process's threads so far.
long long contextSwitches()
{
    long long total = 0;
    const QStringList threads = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(thread));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Cost {
    double cpuShare = 0;          // of one core
    double switchesPerSecond = 0;
};

// The monitor listens to a device sending recordsPerSecond for `seconds`.
Cost listen(Form1 &form, int recordsPerSecond, int seconds)
{
    QProcess device;
    const QString path = startDevice(device, recordsPerSecond);
    openComOne(form, path, device);
    runEventLoopFor(kSettleMs);
    const double cpuBefore = processCpuSeconds();
    const long long switchesBefore = contextSwitches();
    runEventLoopFor(seconds * 1000);
    const Cost cost{(processCpuSeconds() - cpuBefore) / seconds,
                    double(contextSwitches() - switchesBefore) / seconds};
    stopDevice(device);
    pressOpenClose(form);
    endDevice(device);
    return cost;
}

int measureWakeups(Form1 &form, const Settings &settings)
{
    struct Phase {
        const char *name;
        int recordsPerSecond;
    };
    const std::array<Phase, 3> phases{{{"port open, device silent", 0},
                                       {"one record a second", 1},
                                       {"115200 bit/s flood (823 records/s)", kFloodRecordsPerSecond}}};
    std::printf("%d s each, after %d ms to settle\n", settings.seconds, kSettleMs);
    std::array<Cost, 3> costs{};
    for (std::size_t k = 0; k < phases.size(); ++k) {
        costs[k] = listen(form, phases[k].recordsPerSecond, settings.seconds);
        std::printf("%-36s CPU %.3f %% of a core, %.1f context switches a second\n", phases[k].name,
                    100 * costs[k].cpuShare, costs[k].switchesPerSecond);
        std::fflush(stdout);
    }
    std::printf("flood/silent context switches: %.2fx\n", costs[2].switchesPerSecond / costs[0].switchesPerSecond);
    return 0;
}

// recordMs: each tick's record line with its fdatasync, filled while the probe runs.
int measureDelay(QApplication &app, Form1 &form, const Settings &settings, const std::vector<double> &recordMs,
                 const MqttPublisher *publisher)
{
    QProcess device;
    const QString path = startDevice(device, settings.recordsPerSecond);
    if (path.isEmpty()) {
        std::fputs("bench_flood: the device's process did not start\n", stderr);
        return 1;
    }
    openComOne(form, path, device);

    std::vector<double> lateMs;
    QElapsedTimer clock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, &form, [&] {
        const double sinceLast = double(clock.nsecsElapsed()) / 1e6;
        clock.restart();
        lateMs.push_back(std::max(0.0, sinceLast - kProbeMs));
    });
    clock.start();
    probe.start(kProbeMs);
    // The device stops first; the monitor then has a moment to take in what
    // is still on the line, so that a capture can be held against the bytes sent.
    qint64 bytesSent = 0;
    QObject::connect(&device, &QProcess::readyReadStandardOutput, &app, [&] {
        bytesSent = device.readLine().trimmed().toLongLong();
        QTimer::singleShot(kDrainMs, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(settings.seconds * 1000, &device, [&device] { device.write("stop\n"); });
    app.exec();
    probe.stop();
    pressOpenClose(form);
    endDevice(device);
    double sum = 0;
    for (const double late : lateMs)
        sum += late;
    std::printf("%d s, %d records/s, %lld bytes sent; record %s, capture %s, publish %s\n", settings.seconds,
                settings.recordsPerSecond, static_cast<long long>(bytesSent),
                settings.recordPath.isEmpty() ? "off" : "on", settings.capturePath.isEmpty() ? "off" : "on",
                publisher ? "on" : "off");
    if (publisher)
        std::printf("ticks waiting for the broker at the end: %zu\n", publisher->pendingCount());
    std::printf("probe every %d ms, %zu probes: late by mean %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                kProbeMs, lateMs.size(), lateMs.empty() ? 0.0 : sum / double(lateMs.size()), percentile(lateMs, 0.5),
                percentile(lateMs, 0.99), percentile(lateMs, 1.0));
    if (!recordMs.empty())
        std::printf("record file: %zu ticks, each line written and synced (fdatasync) in median %.3f ms, max %.3f ms\n",
                    recordMs.size(), percentile(recordMs, 0.5), percentile(recordMs, 1.0));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int k = 0; k < argc; ++k)
        arguments << QString::fromLocal8Bit(argv[k]);
    const Settings settings = settingsFrom(arguments);
    if (settings.writerRate >= 0)
        return playDevice(settings.writerRate);

    QApplication app(argc, argv);
    Recording recording;
    if (const QString refusal = openRecording(recording, settings.recordPath, settings.capturePath); !refusal.isEmpty()) {
        std::fputs(refusal.toLocal8Bit().constData(), stderr);
        return 2;
    }
    ReceptionState reception;
    Form1 form(reception);
    // Slots run in the order they were connected: these two bracket the
    // record file's own, so that each tick's write and fdatasync is timed.
    QElapsedTimer recordClock;
    std::vector<double> recordMs;
    if (recording.ticks.isWriting())
        QObject::connect(&form, &Form1::tickTaken, &form, [&recordClock] { recordClock.start(); });
    keepRecords(form, recording);
    if (recording.ticks.isWriting())
        QObject::connect(&form, &Form1::tickTaken, &form,
                         [&] { recordMs.push_back(double(recordClock.nsecsElapsed()) / 1e6); });
    std::unique_ptr<MqttPublisher> publisher;
    if (!settings.publishUrl.isEmpty()) {
        publisher = std::make_unique<MqttPublisher>(parseBrokerUrl(settings.publishUrl).url, QByteArray());
        keepPublishing(form, *publisher);
        publisher->start();
    }
    form.show();
    return settings.wakeups ? measureWakeups(form, settings)
                            : measureDelay(app, form, settings, recordMs, publisher.get());
}
