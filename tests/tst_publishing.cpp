// Publishing every tick to an MQTT broker: the payload of each outcome, the
// bounded queue, and the client against Debian's mosquitto broker started
// on the loopback by each test, with mosquitto_sub as the dashboard.
#include "app/keep_publishing.h"
#include "mqtt_broker.h"
#include "test_files.h"
#include "publishing/mqtt_publisher.h"
#include "publishing/pending_ticks.h"
#include "publishing/tick_payload.h"
#include "reception/reception_state.h"
#include "window/form1.h"
#include "window/recording_messages.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kNetworkMs = 15000;
const QString kTopic = QStringLiteral("lab/desk-3/readings");

const QDateTime kFirstTick{QDate(2026, 12, 7), QTime(14, 3, 7), QTimeZone(3 * 3600)};

TickRow tickAt(int second, TickOutcome outcome, std::array<int, 3> values)
{
    return {kFirstTick.addSecs(second), outcome, values, QStringLiteral("ignored text")};
}

// Tick n: a record whose A is n, so that each payload names its tick.
TickRow numberedTick(int n)
{
    return tickAt(n, TickOutcome::Record, {n, 300, 1023});
}

QString payloadLine(const TickRow &row)
{
    return kTopic + u' ' + QString::fromUtf8(tickPayload(row));
}

BrokerUrl urlOf(int port, const QString &topic = kTopic, const QString &user = {})
{
    return {.user = user, .host = QStringLiteral("127.0.0.1"), .port = port, .topic = topic, .caPath = {}};
}

// What arrived on the status topic, in order.
QStringList statusesIn(const QStringList &messages)
{
    QStringList statuses;
    for (const QString &message : messages) {
        if (message.startsWith(kTopic + QStringLiteral("/status ")))
            statuses << message.section(u' ', 1);
    }
    return statuses;
}

bool runs(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ran =
        process.waitForFinished(kNetworkMs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ran)
        qWarning("%s: %s", qPrintable(program), process.readAll().constData());
    return ran;
}

} // namespace

class PublishingTest : public QObject {
    Q_OBJECT

private slots:
    void payloadOfEachOutcome_data()
    {
        QTest::addColumn<TickRow>("row");
        QTest::addColumn<QByteArray>("payload");

        QTest::newRow("record -> its values")
            << tickAt(0, TickOutcome::Record, {512, 300, 1023})
            << QByteArray(R"({"time":"2026-12-07T14:03:07+03:00","A":512,"B":300,"C":1023,"outcome":"record"})");
        QTest::newRow("repeated, negative values -> the previous values again")
            << tickAt(1, TickOutcome::Repeated, {0, -32768, 32767})
            << QByteArray(R"({"time":"2026-12-07T14:03:08+03:00","A":0,"B":-32768,"C":32767,"outcome":"repeated"})");
        QTest::newRow("silent -> zeros")
            << tickAt(2, TickOutcome::Silent, {0, 0, 0})
            << QByteArray(R"({"time":"2026-12-07T14:03:09+03:00","A":0,"B":0,"C":0,"outcome":"silent"})");
        QTest::newRow("overflow -> null values")
            << tickAt(3, TickOutcome::Overflow, {9, 7, 1})
            << QByteArray(R"({"time":"2026-12-07T14:03:10+03:00","A":null,"B":null,"C":null,"outcome":"overflow"})");
        QTest::newRow("west of UTC -> negative offset")
            << TickRow{QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(-(4 * 3600 + 30 * 60))), TickOutcome::Record, {1, 2, 3}, {}}
            << QByteArray(R"({"time":"2026-01-02T03:04:05-04:30","A":1,"B":2,"C":3,"outcome":"record"})");
    }

    void payloadOfEachOutcome()
    {
        QFETCH(TickRow, row);
        QFETCH(QByteArray, payload);
        QCOMPARE(tickPayload(row), payload);
    }

    void ticksArriveInOrderWithStatusOnlineThenOffline()
    {
        MqttBroker broker;
        QVERIFY(broker.start());
        MqttSubscriber dashboard(broker, QStringLiteral("lab/#"));
        QVERIFY(dashboard.start());
        const std::vector<TickRow> ticks = {
            tickAt(0, TickOutcome::Record, {512, 300, 1023}), tickAt(1, TickOutcome::Repeated, {512, 300, 1023}),
            tickAt(2, TickOutcome::Silent, {0, 0, 0}),       tickAt(3, TickOutcome::Overflow, {}),
            tickAt(4, TickOutcome::Record, {-5, 0, 7}),
        };
        QStringList expected;
        {
            MqttPublisher publisher(urlOf(broker.port()), {});
            publisher.start();
            QTRY_COMPARE_WITH_TIMEOUT(statusesIn(dashboard.messages()), QStringList{"online"}, kNetworkMs);
            for (const TickRow &tick : ticks) {
                publisher.publish(tick);
                expected << payloadLine(tick);
            }
        }
        expected.prepend(kTopic + QStringLiteral("/status online"));
        expected << kTopic + QStringLiteral("/status offline");
        QTRY_COMPARE_WITH_TIMEOUT(dashboard.messages(), expected, kNetworkMs);
    }

    void queueKeepsTheNewestAndCountsTheDropped()
    {
        PendingTicks pending(3);
        for (const char *payload : {"1", "2", "3", "4", "5"})
            pending.push(payload);
        QCOMPARE(pending.takeDroppedCount(), 2u);
        QCOMPARE(pending.takeDroppedCount(), 0u);
        QCOMPARE(pending.takeAll(), (std::vector<QByteArray>{"3", "4", "5"}));
        QCOMPARE(pending.size(), 0u);
    }

    void everyTickArrivesAcrossBrokerOutages()
    {
        MqttBroker broker;
        MqttSubscriber dashboard(broker, QStringLiteral("lab/#"));
        // The dashboard's session is made first, so that the broker keeps what
        // arrives for it while it is away.
        QVERIFY(broker.start());
        QVERIFY(dashboard.start());
        dashboard.stop();
        broker.stop();

        MqttPublisher publisher(urlOf(broker.port()), {});
        publisher.start();
        int next = 0;
        const auto publishTicks = [&](int count) {
            for (const int last = next + count; next < last; ++next)
                publisher.publish(numberedTick(next));
        };
        // Down at start: the ticks wait.
        publishTicks(3);
        QVERIFY(broker.start());
        QVERIFY(dashboard.start());
        QTRY_COMPARE_WITH_TIMEOUT(publisher.pendingCount(), 0u, kNetworkMs);
        publishTicks(2);
        QTRY_VERIFY_WITH_TIMEOUT(dashboard.messages().contains(payloadLine(numberedTick(next - 1))), kNetworkMs);
        // Stopped for a few ticks and started again.
        dashboard.stop();
        broker.stop();
        publishTicks(3);
        QVERIFY(broker.start());
        QVERIFY(dashboard.start());
        publishTicks(2);
        QTRY_COMPARE_WITH_TIMEOUT(publisher.pendingCount(), 0u, kNetworkMs);

        // QoS 1 may repeat a message across a reconnect; none may be missing.
        const auto allArrived = [&] {
            const QStringList received = dashboard.messages();
            for (int n = 0; n < next; ++n) {
                if (!received.contains(payloadLine(numberedTick(n))))
                    return false;
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(allArrived(), qPrintable(dashboard.messages().join(u'\n')), kNetworkMs);
        // The broker's last will says "offline" while the monitor is away (the
        // broker may say it more than once); "online" again once it is back.
        QStringList statuses = statusesIn(dashboard.messages());
        statuses.erase(std::unique(statuses.begin(), statuses.end()), statuses.end());
        QCOMPARE(statuses, (QStringList{"online", "offline", "online"}));
    }

    void refusalShowsOneBoxAndStopsPublishing_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<bool>("topicRefused");

        QTest::newRow("wrong password -> login refused") << "wrong" << kTopic << false;
        QTest::newRow("topic outside the ACL -> topic refused") << "desk-secret" << "lab/desk-9/readings" << true;
    }

    void refusalShowsOneBoxAndStopsPublishing()
    {
        QFETCH(QString, password);
        QFETCH(QString, topic);
        QFETCH(bool, topicRefused);

        // The broker's user and what it may publish.
        QTemporaryDir files;
        const QString passwords = files.filePath(QStringLiteral("passwords"));
        QVERIFY(runs(QStringLiteral("mosquitto_passwd"), {"-c", "-b", passwords, "desk", "desk-secret"}));
        const QString acl = files.filePath(QStringLiteral("acl"));
        QVERIFY(writeFile(acl, "user desk\ntopic readwrite lab/desk-3/#\n"));
        MqttBroker broker({QStringLiteral("password_file ") + passwords, QStringLiteral("acl_file ") + acl});
        QVERIFY(broker.start());

        ReceptionState reception;
        Form1 window(reception);
        window.show();
        MqttPublisher publisher(urlOf(broker.port(), topic, QStringLiteral("desk")), password.toUtf8());
        keepPublishing(window, publisher);
        publisher.start();
        publisher.publish(numberedTick(0));

        const QString expected = publishingStoppedText(QStringLiteral("127.0.0.1:%1").arg(broker.port()), topic, topicRefused);
        QTRY_COMPARE_WITH_TIMEOUT(window.findChildren<QMessageBox *>().size(), 1, kNetworkMs);
        QMessageBox *box = window.findChildren<QMessageBox *>().constFirst();
        QCOMPARE(box->windowTitle(), QStringLiteral("Ошибка"));
        QCOMPARE(box->text(), expected);
        QVERIFY(!box->informativeText().isEmpty());
        // Publishing has stopped: further ticks are not even queued, no second box.
        const std::size_t pending = publisher.pendingCount();
        publisher.publish(numberedTick(1));
        QCOMPARE(publisher.pendingCount(), pending);
        QCoreApplication::processEvents();
        QCOMPARE(window.findChildren<QMessageBox *>().size(), 1);
    }

    void tlsWithThePrivateAuthority()
    {
        QTemporaryDir keys;
        const auto key = [&](const char *name) { return keys.filePath(QString::fromLatin1(name)); };
        QVERIFY(runs("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test authority",
                                 "-keyout", key("ca.key"), "-out", key("ca.pem")}));
        QVERIFY(runs("openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                                 key("server.key"), "-out", key("server.csr")}));
        QVERIFY(writeFile(key("san.ext"), "subjectAltName=IP:127.0.0.1\n"));
        QVERIFY(runs("openssl", {"x509", "-req", "-in", key("server.csr"), "-CA", key("ca.pem"), "-CAkey", key("ca.key"),
                                 "-CAcreateserial", "-days", "2", "-extfile", key("san.ext"), "-out", key("server.pem")}));

        // A TLS listener for the monitor beside the plain one the dashboard uses.
        const int tlsPort = MqttBroker::freeLoopbackPort();
        MqttBroker broker({QStringLiteral("listener %1 127.0.0.1").arg(tlsPort), "cafile " + key("ca.pem"),
                           "certfile " + key("server.pem"), "keyfile " + key("server.key")});
        QVERIFY(broker.start());
        MqttSubscriber dashboard(broker, kTopic);
        QVERIFY(dashboard.start());

        BrokerUrl url = urlOf(tlsPort);
        url.tls = true;
        url.caPath = key("ca.pem");
        MqttPublisher publisher(url, {});
        publisher.start();
        publisher.publish(numberedTick(0));
        QTRY_COMPARE_WITH_TIMEOUT(dashboard.messages(), QStringList{payloadLine(numberedTick(0))}, kNetworkMs);
    }

    void silentListenerDelaysNoTick()
    {
        // Accepts connections and never answers: the client waits for a CONNACK
        // that does not come.
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        MqttPublisher publisher(urlOf(listener.serverPort()), {});
        publisher.start();
        QTRY_VERIFY(listener.hasPendingConnections());

        // As bench_flood measures it: how much later than due a 10 ms probe fires,
        // while the ticks are handed over ten times faster than the window ticks.
        constexpr int kProbeMs = 10;
        constexpr int kTicks = 20;
        qint64 longestDelayMs = 0;
        QElapsedTimer sinceProbe;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        connect(&probe, &QTimer::timeout, this, [&] {
            longestDelayMs = std::max(longestDelayMs, sinceProbe.restart() - kProbeMs);
        });
        int handedOver = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { publisher.publish(numberedTick(handedOver++)); });
        sinceProbe.start();
        probe.start(kProbeMs);
        tick.start(100);
        QTRY_COMPARE_WITH_TIMEOUT(handedOver, kTicks, kNetworkMs);
        tick.stop();
        QCOMPARE(publisher.pendingCount(), std::size_t(kTicks));
        QVERIFY2(longestDelayMs < 20, qPrintable(QStringLiteral("longest delay %1 ms").arg(longestDelayMs)));
    }
};

QTEST_MAIN(PublishingTest)
#include "tst_publishing.moc"
