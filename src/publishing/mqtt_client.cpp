#include "publishing/mqtt_client.h"

#include <QCoreApplication>
#include <QFile>

#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveSeconds = 30;
constexpr int kLoopWaitMs = 1000;
constexpr std::chrono::seconds kFirstRetry{1};
constexpr std::chrono::seconds kLastRetry{30};
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

// The connection refusals that name the login, not a passing trouble.
bool isLoginRefusal(int reason)
{
    return reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED
        || reason == MQTT_RC_BANNED || reason == MQTT_RC_BAD_AUTHENTICATION_METHOD
        || reason == MQTT_RC_CLIENTID_NOT_VALID;
}

// What the library says of a connection it cannot even try; anything else
// (the broker away, its name unknown, the connection lost, refused for a
// while) passes and is tried again.
bool isConnectionRefusal(int result)
{
    return result == MOSQ_ERR_INVAL || result == MOSQ_ERR_NOT_SUPPORTED;
}

const char *orNull(const QByteArray &text)
{
    return text.isEmpty() ? nullptr : text.constData();
}

} // namespace

MqttClient::MqttClient(const BrokerUrl &url, const QByteArray &password)
    : m_url(url)
    , m_host(url.host.toUtf8())
    , m_topic(url.topic.toUtf8())
    , m_statusTopic(m_topic + "/status")
    , m_linePrefix((QCoreApplication::applicationName() + QStringLiteral(": --publish %1: ").arg(url.text())).toLocal8Bit())
{
    m_problem = setUp(password);
}

MqttClient::~MqttClient()
{
    if (m_mosq)
        m_lib.mosquitto_destroy(m_mosq);
    // Always MOSQ_ERR_SUCCESS.
    if (m_libraryStarted)
        m_lib.mosquitto_lib_cleanup();
}

QString MqttClient::setUp(const QByteArray &password)
{
    if (const QString problem = m_lib.load(); !problem.isEmpty())
        return QStringLiteral("cannot load the MQTT library: %1").arg(problem);
    if (const int result = m_lib.mosquitto_lib_init(); result != MOSQ_ERR_SUCCESS)
        return QStringLiteral("the MQTT library cannot start: %1").arg(QString::fromUtf8(m_lib.mosquitto_strerror(result)));
    m_libraryStarted = true;
    // A clean session with an id of the library's making: each run is a new client.
    m_mosq = m_lib.mosquitto_new(nullptr, true, this);
    if (!m_mosq)
        return QStringLiteral("the MQTT library cannot make a client: %1").arg(qt_error_string(errno));
    m_lib.mosquitto_connect_v5_callback_set(m_mosq, &MqttClient::onConnect);
    m_lib.mosquitto_disconnect_v5_callback_set(m_mosq, &MqttClient::onDisconnect);
    m_lib.mosquitto_publish_v5_callback_set(m_mosq, &MqttClient::onPublish);
    m_lib.mosquitto_log_callback_set(m_mosq, &MqttClient::onLog);

    const QByteArray user = m_url.user.toUtf8();
    const std::pair<QString, int> steps[] = {
        // MQTT 5, so that the broker says when it refuses a message (its ACL).
        {QStringLiteral("MQTT 5"), m_lib.mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5)},
        {QStringLiteral("%1 messages in flight").arg(kMessagesInFlight),
         m_lib.mosquitto_int_option(m_mosq, MOSQ_OPT_SEND_MAXIMUM, kMessagesInFlight)},
        // Messages are handed over on the window's thread, and written by the network thread alone.
        {QStringLiteral("a thread of our own"), m_lib.mosquitto_threaded_set(m_mosq, true)},
        {QStringLiteral("the last will on %1").arg(QString::fromUtf8(m_statusTopic)),
         m_lib.mosquitto_will_set_v5(m_mosq, m_statusTopic.constData(), int(kOffline.size()), kOffline.constData(), kQos, true, nullptr)},
        {QStringLiteral("the user name or the password"), m_lib.mosquitto_username_pw_set(m_mosq, orNull(user), orNull(password))},
        {QStringLiteral("TLS"), setUpTls()},
    };
    for (const auto &[what, result] : steps) {
        if (result != MOSQ_ERR_SUCCESS)
            return QStringLiteral("the MQTT library refused %1: %2").arg(what, QString::fromUtf8(m_lib.mosquitto_strerror(result)));
    }
    return {};
}

int MqttClient::setUpTls()
{
    if (!m_url.tls)
        return MOSQ_ERR_SUCCESS;
    if (m_url.caPath.isEmpty())
        return m_lib.mosquitto_int_option(m_mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    return m_lib.mosquitto_tls_set(m_mosq, QFile::encodeName(m_url.caPath).constData(), nullptr, nullptr, nullptr, nullptr);
}

void MqttClient::setRefusalListener(RefusalListener listener)
{
    std::lock_guard lock(m_mutex);
    m_refusalListener = std::move(listener);
}

void MqttClient::runNetwork()
{
    // Resolving the host's name may take long, or never end: it is done on
    // this thread, which the end may leave behind.
    int result = m_lib.mosquitto_connect_bind_async(m_mosq, m_host.constData(), m_url.port, kKeepAliveSeconds, nullptr);
    std::chrono::seconds delay = kFirstRetry;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (stopWantedLocked())
                break;
            if (isConnectionRefusal(result)) {
                refuseLocked(PublishRefusal::Library, QStringLiteral("the MQTT library refused to connect"),
                             QString::fromUtf8(m_lib.mosquitto_strerror(result)));
                break;
            }
        }
        if (result == MOSQ_ERR_SUCCESS) {
            result = m_lib.mosquitto_loop(m_mosq, kLoopWaitMs, 1);
            if (m_connected)
                delay = kFirstRetry;
            continue;
        }
        // 1 s, 2 s, 3 s, ... up to 30 s: a broker back after a restart is found soon.
        if (waitBeforeRetry(delay))
            break;
        delay = std::min(delay + kFirstRetry, kLastRetry);
        result = m_lib.mosquitto_reconnect_async(m_mosq);
    }
    {
        std::lock_guard lock(m_mutex);
        m_networkEnded = true;
    }
    m_changed.notify_all();
}

bool MqttClient::waitBeforeRetry(std::chrono::seconds delay)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, delay, [this] { return stopWantedLocked(); });
}

void MqttClient::publish(QByteArray payload)
{
    std::lock_guard lock(m_mutex);
    if (m_refused || !m_problem.isEmpty())
        return;
    if (m_connected && m_pending.size() == 0 && m_awaiting < kMessagesInFlight)
        handOverLocked(m_topic, payload, false);
    else
        m_pending.push(std::move(payload));
}

void MqttClient::stop(Clock::time_point deadline)
{
    if (!m_problem.isEmpty())
        return;
    std::unique_lock lock(m_mutex);
    const auto delivering = [this] { return m_connected && !m_refused; };
    // What was handed over goes out before the end, "offline" last, unless
    // the broker has stopped answering.
    m_changed.wait_until(lock, deadline, [&] { return !delivering() || m_pending.size() == 0; });
    if (delivering() && handOverLocked(m_statusTopic, kOffline, true) != 0)
        m_changed.wait_until(lock, deadline, [&] { return !delivering() || m_awaiting == 0; });
    m_stopping = true;
    const std::size_t dropped = m_pending.takeDroppedCount();
    const std::size_t unsent = m_pending.takeAll().size();
    lock.unlock();
    m_changed.notify_all();
    // A normal DISCONNECT, so that the broker keeps the will to itself; it
    // also wakes the network thread. Not connected, the library says so, and
    // the end goes on all the same.
    m_lib.mosquitto_disconnect(m_mosq);
    reportDropped(dropped);
    if (unsent > 0)
        std::fprintf(stderr, "%s%zu ticks still waiting for the broker at the end were not sent\n", m_linePrefix.constData(), unsent);
}

bool MqttClient::networkEndedBy(Clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline, [this] { return m_networkEnded; });
}

std::size_t MqttClient::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

int MqttClient::awaitingAcknowledgement() const
{
    std::lock_guard lock(m_mutex);
    return m_awaiting;
}

void MqttClient::onConnect(mosquitto *, void *self, int reason, int, const mqtt5__property *)
{
    static_cast<MqttClient *>(self)->connected(reason);
}

void MqttClient::onDisconnect(mosquitto *, void *self, int, const mqtt5__property *)
{
    // Without the lock: the library calls this while holding locks of its
    // own that the window's thread takes after ours.
    auto *client = static_cast<MqttClient *>(self);
    client->m_connected = false;
    client->m_changed.notify_all();
}

void MqttClient::onPublish(mosquitto *, void *self, int messageId, int reason, const mqtt5__property *)
{
    static_cast<MqttClient *>(self)->acknowledged(messageId, reason);
}

void MqttClient::onLog(mosquitto *, void *self, int level, const char *text)
{
    // Errors that end a connection (a certificate that does not verify, say)
    // are otherwise silent; a repeated one is said once.
    if (level != MOSQ_LOG_ERR)
        return;
    auto *client = static_cast<MqttClient *>(self);
    std::lock_guard lock(client->m_logMutex);
    if (client->m_lastError == text)
        return;
    client->m_lastError = text;
    std::fprintf(stderr, "%s%s\n", client->m_linePrefix.constData(), text);
}

void MqttClient::connected(int reason)
{
    std::size_t dropped = 0;
    {
        std::lock_guard lock(m_mutex);
        // Connected only after the end began (late from a slow name server):
        // nothing more goes out.
        if (m_stopping)
            return;
        if (reason == MQTT_RC_SUCCESS) {
            m_connected = true;
            // An "online" not yet acknowledged goes again by itself.
            if (m_onlineMessage == 0)
                m_onlineMessage = handOverLocked(m_statusTopic, kOnline, true);
            handOverWaitingLocked();
            dropped = m_pending.takeDroppedCount();
        } else if (isLoginRefusal(reason)) {
            refuseLocked(PublishRefusal::Login, QStringLiteral("the broker refused the login"),
                         QString::fromUtf8(m_lib.mosquitto_reason_string(reason)));
        }
        // Any other refusal (server busy, unavailable) passes: the connection is tried again.
    }
    reportDropped(dropped);
}

void MqttClient::acknowledged(int messageId, int reason)
{
    std::lock_guard lock(m_mutex);
    // Stopped, the client waits for nothing any more.
    if (m_refused)
        return;
    --m_awaiting;
    if (messageId == m_onlineMessage)
        m_onlineMessage = 0;
    // 0x80 and above: the broker took the message but refused to pass it on.
    if (reason >= MQTT_RC_UNSPECIFIED)
        refuseLocked(PublishRefusal::Topic, QStringLiteral("the broker refused a message on the topic"),
                     QString::fromUtf8(m_lib.mosquitto_reason_string(reason)));
    else
        handOverWaitingLocked();
    m_changed.notify_all();
}

void MqttClient::handOverWaitingLocked()
{
    while (m_connected && !m_refused && m_awaiting < kMessagesInFlight && m_pending.size() > 0)
        handOverLocked(m_topic, m_pending.takeOldest(), false);
}

int MqttClient::handOverLocked(const QByteArray &topic, const QByteArray &payload, bool retain)
{
    int messageId = 0;
    const int result = m_lib.mosquitto_publish(m_mosq, &messageId, topic.constData(), int(payload.size()),
                                               payload.constData(), kQos, retain);
    // "Not connected": the connection broke meanwhile; at QoS 1 the library
    // keeps the message and sends it once connected again.
    if (result == MOSQ_ERR_SUCCESS || result == MOSQ_ERR_NO_CONN) {
        ++m_awaiting;
        return messageId;
    }
    refuseLocked(PublishRefusal::Library, QStringLiteral("the MQTT library refused a message"),
                 QString::fromUtf8(m_lib.mosquitto_strerror(result)));
    return 0;
}

void MqttClient::refuseLocked(PublishRefusal why, const QString &what, const QString &reason)
{
    if (m_refused)
        return;
    m_refused = true;
    // Nothing will send them now, nor wait for their acknowledgement.
    m_pending.takeAll();
    m_awaiting = 0;
    // Not connected, the library says so; the network thread ends either way.
    m_lib.mosquitto_disconnect(m_mosq);
    std::fprintf(stderr, "%spublishing stopped: %s: %s\n", m_linePrefix.constData(), what.toLocal8Bit().constData(),
                 reason.toLocal8Bit().constData());
    if (m_refusalListener)
        m_refusalListener(why, reason);
    m_changed.notify_all();
}

void MqttClient::reportDropped(std::size_t dropped) const
{
    if (dropped == 0)
        return;
    std::fprintf(stderr, "%s%zu ticks dropped while the broker could not take them (at most %zu wait)\n",
                 m_linePrefix.constData(), dropped, m_pending.capacity());
}
