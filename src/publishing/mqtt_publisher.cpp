#include "publishing/mqtt_publisher.h"

#include "publishing/tick_payload.h"

#include <QCoreApplication>
#include <QFile>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveSeconds = 30;
constexpr unsigned kFirstRetrySeconds = 1;
constexpr unsigned kLastRetrySeconds = 30;
constexpr std::chrono::seconds kLastMessagesWait{2};
constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

// The connection refusals that name the login, not a passing trouble.
bool isLoginRefusal(int reason)
{
    return reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED
        || reason == MQTT_RC_BANNED || reason == MQTT_RC_BAD_AUTHENTICATION_METHOD
        || reason == MQTT_RC_CLIENTID_NOT_VALID;
}

const char *orNull(const QByteArray &text)
{
    return text.isEmpty() ? nullptr : text.constData();
}

} // namespace

MqttPublisher::MqttPublisher(const BrokerUrl &url, const QByteArray &password, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_host(url.host.toUtf8())
    , m_topic(url.topic.toUtf8())
    , m_statusTopic(m_topic + "/status")
    , m_linePrefix((QCoreApplication::applicationName() + QStringLiteral(": --publish %1: ").arg(url.text())).toLocal8Bit())
    , m_libraryProblem(m_lib.load())
{
    if (!m_libraryProblem.isEmpty())
        return;
    m_lib.mosquitto_lib_init();
    // A clean session with an id of the library's making: each run is a new client.
    m_mosq = m_lib.mosquitto_new(nullptr, true, this);
    // MQTT 5, so that the broker says when it refuses a message (its ACL).
    m_lib.mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    m_lib.mosquitto_connect_v5_callback_set(m_mosq, &MqttPublisher::onConnect);
    m_lib.mosquitto_disconnect_v5_callback_set(m_mosq, &MqttPublisher::onDisconnect);
    m_lib.mosquitto_publish_v5_callback_set(m_mosq, &MqttPublisher::onPublish);
    m_lib.mosquitto_log_callback_set(m_mosq, &MqttPublisher::onLog);
    // 1 s, 2 s, 3 s, ... up to 30 s: a broker back after a restart is found soon.
    m_lib.mosquitto_reconnect_delay_set(m_mosq, kFirstRetrySeconds, kLastRetrySeconds, false);
    m_lib.mosquitto_will_set_v5(m_mosq, m_statusTopic.constData(), int(sizeof kOffline - 1), kOffline, kQos, true, nullptr);
    const QByteArray user = url.user.toUtf8();
    m_lib.mosquitto_username_pw_set(m_mosq, orNull(user), orNull(password));
    if (url.tls) {
        if (url.caPath.isEmpty())
            m_lib.mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else
            m_lib.mosquitto_tls_set(m_mosq, QFile::encodeName(url.caPath).constData(), nullptr, nullptr, nullptr, nullptr);
    }
}

MqttPublisher::~MqttPublisher()
{
    if (!m_libraryProblem.isEmpty())
        return;
    {
        std::lock_guard lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopWanted.notify_all();
    if (m_starter.joinable())
        m_starter.join();
    const bool wasConnected = m_connected && !m_refused;
    if (wasConnected) {
        sendStatus(kOffline);
        // What was handed over goes out before the end, unless the broker
        // has stopped answering.
        std::unique_lock lock(m_stopMutex);
        m_stopWanted.wait_for(lock, kLastMessagesWait, [this] { return m_unacknowledged == 0; });
    }
    // A normal DISCONNECT: the broker keeps the will to itself.
    m_lib.mosquitto_disconnect(m_mosq);
    // Connected, the thread ends once the DISCONNECT is out; otherwise it may
    // sit in a connect() to an absent host, which is cut short.
    if (m_loopRunning)
        m_lib.mosquitto_loop_stop(m_mosq, !wasConnected);
    std::lock_guard lock(m_pendingMutex);
    reportDropped(m_pending.takeDroppedCount());
    m_lib.mosquitto_destroy(m_mosq);
    m_lib.mosquitto_lib_cleanup();
}

void MqttPublisher::start()
{
    if (!m_libraryProblem.isEmpty())
        return;
    // Resolving the host name can take long: not on the caller's thread.
    m_starter = std::thread(&MqttPublisher::connectAndRun, this);
}

void MqttPublisher::connectAndRun()
{
    // libmosquitto 2.0's loop thread only starts its work once a first
    // attempt has sent CONNECT; until then this thread retries, as the loop
    // does later, and gives up only when the publisher ends.
    unsigned delaySeconds = kFirstRetrySeconds;
    while (m_lib.mosquitto_connect_bind_async(m_mosq, m_host.constData(), m_url.port, kKeepAliveSeconds, nullptr)
           != MOSQ_ERR_SUCCESS) {
        std::unique_lock lock(m_stopMutex);
        if (m_stopWanted.wait_for(lock, std::chrono::seconds(delaySeconds), [this] { return m_stopping; }))
            return;
        delaySeconds = std::min(delaySeconds + kFirstRetrySeconds, kLastRetrySeconds);
    }
    m_loopRunning = m_lib.mosquitto_loop_start(m_mosq) == MOSQ_ERR_SUCCESS;
}

void MqttPublisher::publish(const TickRow &row)
{
    if (m_refused || !m_libraryProblem.isEmpty())
        return;
    QByteArray payload = tickPayload(row);
    {
        std::lock_guard lock(m_pendingMutex);
        if (!m_connected) {
            m_pending.push(std::move(payload));
            return;
        }
    }
    // libmosquitto queues a QoS 1 message and wakes its thread; should the
    // connection have dropped meanwhile, it sends the message after reconnecting.
    send(payload);
}

std::size_t MqttPublisher::pendingCount() const
{
    std::lock_guard lock(m_pendingMutex);
    return m_pending.size();
}

void MqttPublisher::onConnect(mosquitto *, void *self, int reason, int, const mqtt5__property *)
{
    static_cast<MqttPublisher *>(self)->connected(reason);
}

void MqttPublisher::onDisconnect(mosquitto *, void *self, int, const mqtt5__property *)
{
    static_cast<MqttPublisher *>(self)->m_connected = false;
}

void MqttPublisher::onPublish(mosquitto *, void *self, int, int reason, const mqtt5__property *)
{
    auto *publisher = static_cast<MqttPublisher *>(self);
    // 0x80 and above: the broker took the message but refused to pass it on.
    if (reason >= MQTT_RC_UNSPECIFIED)
        publisher->stopRefused(PublishRefusal::Topic, reason);
    {
        std::lock_guard lock(publisher->m_stopMutex);
        --publisher->m_unacknowledged;
    }
    publisher->m_stopWanted.notify_all();
}

void MqttPublisher::onLog(mosquitto *, void *self, int level, const char *text)
{
    // Errors that end the connection for good (a certificate that does not
    // verify, say) are otherwise silent; a repeated one is said once.
    auto *publisher = static_cast<MqttPublisher *>(self);
    if (level != MOSQ_LOG_ERR || publisher->m_lastError == text)
        return;
    publisher->m_lastError = text;
    std::fprintf(stderr, "%s%s\n", publisher->m_linePrefix.constData(), text);
}

void MqttPublisher::connected(int reason)
{
    if (reason == MQTT_RC_SUCCESS) {
        sendStatus(kOnline);
        sendPendingThenDirect();
    } else if (isLoginRefusal(reason)) {
        stopRefused(PublishRefusal::Login, reason);
    }
    // Any other refusal (server busy, unavailable) passes: the loop retries.
}

void MqttPublisher::sendPendingThenDirect()
{
    // Sent outside the lock, so that a tick handed over meanwhile never waits
    // for a long queue; it joins the queue and goes out in its turn.
    std::size_t dropped = 0;
    for (;;) {
        std::vector<QByteArray> batch;
        {
            std::lock_guard lock(m_pendingMutex);
            batch = m_pending.takeAll();
            if (batch.empty()) {
                m_connected = true;
                dropped = m_pending.takeDroppedCount();
                break;
            }
        }
        for (const QByteArray &payload : batch)
            send(payload);
    }
    reportDropped(dropped);
}

void MqttPublisher::send(const QByteArray &payload)
{
    ++m_unacknowledged;
    m_lib.mosquitto_publish(m_mosq, nullptr, m_topic.constData(), int(payload.size()), payload.constData(), kQos, false);
}

void MqttPublisher::sendStatus(const char *status)
{
    ++m_unacknowledged;
    m_lib.mosquitto_publish(m_mosq, nullptr, m_statusTopic.constData(), int(std::strlen(status)), status, kQos, true);
}

void MqttPublisher::stopRefused(PublishRefusal why, int reason)
{
    if (m_refused.exchange(true))
        return;
    m_lib.mosquitto_disconnect(m_mosq);
    emit refused(why, QString::fromUtf8(m_lib.mosquitto_reason_string(reason)));
}

void MqttPublisher::reportDropped(std::size_t dropped) const
{
    if (dropped == 0)
        return;
    std::fprintf(stderr, "%s%zu ticks dropped while the broker could not be reached (at most %zu wait)\n",
                 m_linePrefix.constData(), dropped, m_pending.capacity());
}
