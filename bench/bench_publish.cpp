// What publishing costs the window's thread: the time publish() takes for
// one tick, connected to a broker and with the broker away (the tick joins
// the queue), and the memory an hour of waiting ticks holds.
//
//   build/test/bench/bench_publish [--ticks N]
//
// The broker is Debian's mosquitto, started on a free loopback port.
#include "mqtt_broker.h"
#include "publishing/mqtt_publisher.h"
#include "publishing/pending_ticks.h"
#include "publishing/tick_payload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimeZone>

#include <cstdio>

#include <malloc.h>

namespace {

constexpr int kTicks = 20000;

TickRow tick(int n)
{
    const QDateTime start(QDate(2026, 12, 7), QTime(14, 3, 7), QTimeZone(3 * 3600));
    return {start.addSecs(n), TickOutcome::Record, {n % 1024, 300, 1023}, QStringLiteral("512,300,1023\r\n")};
}

// Bytes the heap has handed out and not yet taken back (glibc): unlike the
// resident size, it does not hide what reuses memory freed earlier.
long heapInUse()
{
    return long(mallinfo2().uordblks);
}

BrokerUrl loopback(int port)
{
    BrokerUrl url;
    url.host = QStringLiteral("127.0.0.1");
    url.port = port;
    url.topic = QStringLiteral("lab/desk-3/readings");
    return url;
}

// Mean time of one publish() call over `ticks` calls, in microseconds.
double publishMicroseconds(MqttPublisher &publisher, int ticks)
{
    std::vector<TickRow> rows;
    for (int n = 0; n < ticks; ++n)
        rows.push_back(tick(n));
    QElapsedTimer clock;
    clock.start();
    for (const TickRow &row : rows)
        publisher.publish(row);
    return double(clock.nsecsElapsed()) / 1e3 / ticks;
}

// Mean time to build one payload, in microseconds.
double payloadMicroseconds(int ticks)
{
    std::vector<TickRow> rows;
    for (int n = 0; n < ticks; ++n)
        rows.push_back(tick(n));
    QElapsedTimer clock;
    clock.start();
    qsizetype bytes = 0;
    for (const TickRow &row : rows)
        bytes += tickPayload(row).size();
    const double microseconds = double(clock.nsecsElapsed()) / 1e3 / ticks;
    return bytes > 0 ? microseconds : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int ticks = app.arguments().size() > 2 && app.arguments()[1] == u"--ticks" ? app.arguments()[2].toInt() : kTicks;
    constexpr int kHour = int(PendingTicks::kHourOfTicks);

    MqttBroker broker;
    {
        // The broker away: every tick joins the queue, an hour of them at most.
        MqttPublisher publisher(loopback(broker.port()), {});
        publisher.start();
        const long before = heapInUse();
        const double queued = publishMicroseconds(publisher, kHour);
        const long full = heapInUse();
        std::printf("broker away: publish() takes %.2f us a tick (mean of %d)\n", queued, kHour);
        std::printf("an hour of waiting ticks (%zu): %.1f kB of heap (%.0f bytes a tick)\n", publisher.pendingCount(),
                    double(full - before) / 1024, double(full - before) / kHour);
        publishMicroseconds(publisher, kHour);
        std::printf("after another hour of ticks, the oldest dropped: %zu wait, %.1f kB more heap\n",
                    publisher.pendingCount(), double(heapInUse() - full) / 1024);
    }
    if (!broker.start()) {
        std::fprintf(stderr, "bench_publish: mosquitto did not start\n");
        return 1;
    }
    MqttPublisher publisher(loopback(broker.port()), {});
    publisher.start();
    // Connected once the first tick has left the queue.
    publisher.publish(tick(0));
    if (!QTest::qWaitFor([&] { return publisher.pendingCount() == 0; }, 10000)) {
        std::fprintf(stderr, "bench_publish: no connection to the broker\n");
        return 1;
    }
    std::printf("connected: publish() takes %.2f us a tick (mean of %d)\n", publishMicroseconds(publisher, ticks), ticks);
    std::printf("of which the payload: %.2f us\n", payloadMicroseconds(ticks));
    return 0;
}
