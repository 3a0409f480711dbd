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

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimeZone>

#include <cstdio>

namespace {

constexpr int kTicks = 20000;

TickRow tick(int n)
{
    const QDateTime start(QDate(2026, 12, 7), QTime(14, 3, 7), QTimeZone(3 * 3600));
    return {start.addSecs(n), TickOutcome::Record, {n % 1024, 300, 1023}, QStringLiteral("512,300,1023\r\n")};
}

// Resident memory in kB, from /proc.
long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLong();
    }
    return -1;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int ticks = app.arguments().size() > 2 && app.arguments()[1] == u"--ticks" ? app.arguments()[2].toInt() : kTicks;

    MqttBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "bench_publish: mosquitto did not start\n");
        return 1;
    }
    {
        MqttPublisher publisher(loopback(broker.port()), {});
        publisher.start();
        // Connected once the first tick has left the queue.
        publisher.publish(tick(0));
        if (!QTest::qWaitFor([&] { return publisher.pendingCount() == 0; }, 10000)) {
            std::fprintf(stderr, "bench_publish: no connection to the broker\n");
            return 1;
        }
        std::printf("connected: publish() takes %.2f us a tick (mean of %d)\n", publishMicroseconds(publisher, ticks), ticks);
    }
    broker.stop();

    // The broker away: every tick joins the queue, an hour of them at most.
    const long before = residentKb();
    MqttPublisher publisher(loopback(broker.port()), {});
    publisher.start();
    const double queued = publishMicroseconds(publisher, int(PendingTicks::kHourOfTicks));
    const long full = residentKb();
    std::printf("broker away: publish() takes %.2f us a tick (mean of %zu)\n", queued, PendingTicks::kHourOfTicks);
    std::printf("an hour of waiting ticks (%zu): %ld kB resident (%.0f bytes a tick)\n", publisher.pendingCount(),
                full - before, double(full - before) * 1024 / double(PendingTicks::kHourOfTicks));
    publishMicroseconds(publisher, int(PendingTicks::kHourOfTicks));
    std::printf("after another hour of ticks, the oldest dropped: %zu wait, %ld kB more resident\n",
                publisher.pendingCount(), residentKb() - full);
    return 0;
}
