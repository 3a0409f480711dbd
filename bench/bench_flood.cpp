// How late the event loop runs while a device floods the line at 115200
// bit/s, with and without the tick log and the raw capture: the real window
// and its one-second timer, Com 1 a pseudo-terminal at 115200, a sender
// thread writing 14-byte records at an even pace, and a probe timer every
// 10 ms measuring how much later than due it fires.
//
//   QT_QPA_PLATFORM=offscreen build/test/bench/bench_flood [--seconds N]
//       [--records-per-second R] [--record FILE] [--capture FILE] [--publish URL]
//
// R defaults to 823 (11,522 bytes a second, what 115200 bit/s 8N1 carries).
// With --records-per-second 1 it is a calm device, for a sample recording.
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
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

constexpr int kProbeMs = 10;
constexpr int kDrainMs = 300;

struct Settings {
    int seconds = 10;
    int recordsPerSecond = 823;
    QString recordPath;
    QString capturePath;
    QString publishUrl;
};

Settings settingsFrom(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("How long to run."), QStringLiteral("N"));
    const QCommandLineOption rate(QStringLiteral("records-per-second"), QStringLiteral("Device rate."), QStringLiteral("R"));
    const QCommandLineOption record(QStringLiteral("record"), QStringLiteral("Tick log."), QStringLiteral("FILE"));
    const QCommandLineOption capture(QStringLiteral("capture"), QStringLiteral("Raw capture."), QStringLiteral("FILE"));
    const QCommandLineOption publish(QStringLiteral("publish"), QStringLiteral("MQTT broker and topic."), QStringLiteral("URL"));
    parser.addOptions({seconds, rate, record, capture, publish});
    parser.process(arguments);
    Settings settings;
    settings.seconds = parser.value(seconds).toInt() > 0 ? parser.value(seconds).toInt() : settings.seconds;
    settings.recordsPerSecond = parser.value(rate).toInt() > 0 ? parser.value(rate).toInt() : settings.recordsPerSecond;
    settings.recordPath = parser.value(record);
    settings.capturePath = parser.value(capture);
    settings.publishUrl = parser.value(publish);
    return settings;
}

// Record k: three values that move, always 14 bytes with CR LF.
QByteArray record(int k)
{
    char text[32];
    std::snprintf(text, sizeof text, "%03d,%03d,%04d\r\n", (k * 37) % 1000, (500 + k * 91) % 1000, (k * 13) % 1024);
    return QByteArray(text);
}

// Sends records at an even pace until told to stop; the bytes sent.
void sendRecords(PtyPair &device, int recordsPerSecond, const std::atomic<bool> &stop, qint64 &bytesSent)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    for (int k = 0; !stop; ++k) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000LL * k / recordsPerSecond));
        const QByteArray bytes = record(k);
        if (!device.send(bytes))
            return;
        bytesSent += bytes.size();
    }
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(fraction * double(values.size())))];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const Settings settings = settingsFrom(app.arguments());

    Recording recording;
    if (const QString refusal = openRecording(recording, settings.recordPath, settings.capturePath); !refusal.isEmpty()) {
        std::fputs(refusal.toLocal8Bit().constData(), stderr);
        return 2;
    }
    PtyPair device;
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
    form.findChild<QObject *>(QStringLiteral("MSComm1"))
        ->setProperty("DeviceMap", QVariantMap{{QStringLiteral("1"), device.slavePath()}});
    form.findChild<QComboBox *>(QStringLiteral("Com_select"))->setCurrentIndex(0);
    form.findChild<QRadioButton *>(QStringLiteral("Spd_baud(7)"))->setChecked(true);
    form.show();
    form.findChild<QAbstractButton *>(QStringLiteral("Key_Op_Cl"))->click();

    std::atomic<bool> stop = false;
    qint64 bytesSent = 0;
    std::thread sender(sendRecords, std::ref(device), settings.recordsPerSecond, std::cref(stop), std::ref(bytesSent));

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
    QTimer::singleShot(settings.seconds * 1000, &app, [&] {
        stop = true;
        sender.join();
        QTimer::singleShot(kDrainMs, &app, &QCoreApplication::quit);
    });
    app.exec();
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
