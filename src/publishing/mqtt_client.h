#pragma once

#include "command_line/broker_url.h"
#include "publishing/mosquitto_library.h"
#include "publishing/pending_ticks.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>

// What ended the publishing.
enum class PublishRefusal {
    Login,   // the broker refused the user name, the password or this client
    Topic,   // the broker refused messages on the topic (its ACL)
    Library, // libmosquitto refused a message or the connection it was asked for
};

// One libmosquitto client and what the window's thread and the network
// thread share of it. The network thread spends its whole life in
// runNetwork(); the window's thread hands messages over with publish(). At
// most kMessagesInFlight messages are with the library at a time (sent, or
// queued for the reconnection, and not yet acknowledged); the others wait in
// a bounded queue of ticks, so that a broker that never acknowledges costs
// bounded memory as one that cannot be reached does.
class MqttClient {
public:
    static constexpr int kMessagesInFlight = 20;
    using Clock = std::chrono::steady_clock;
    // Told of the refusal that ends the publishing, once, from either thread.
    using RefusalListener = std::function<void(PublishRefusal why, const QString &reason)>;

    MqttClient(const BrokerUrl &url, const QByteArray &password);
    // Only once the network thread has left runNetwork(), or never entered it.
    ~MqttClient();
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;

    // Why this client cannot publish (the library missing, or refusing the
    // set-up), as one line for stderr; empty when it can.
    const QString &problem() const { return m_problem; }
    void setRefusalListener(RefusalListener listener);

    // The network thread: connects, reconnects after 1 s, 2 s, ... at most
    // 30 s, and runs the library's loop until stop() or a refusal.
    void runNetwork();
    // Hands the message over and returns; never waits for the network.
    void publish(QByteArray payload);
    // The end, from the window's thread: while connected, the waiting ticks
    // and "offline" go out and are acknowledged, unless `deadline` comes
    // first; then the network thread is asked to end.
    void stop(Clock::time_point deadline);
    // True once runNetwork() has returned, false when `deadline` came first.
    bool networkEndedBy(Clock::time_point deadline);

    std::size_t pendingCount() const;
    int awaitingAcknowledgement() const;

private:
    static void onConnect(mosquitto *, void *self, int reason, int flags, const mqtt5__property *);
    static void onDisconnect(mosquitto *, void *self, int reason, const mqtt5__property *);
    static void onPublish(mosquitto *, void *self, int messageId, int reason, const mqtt5__property *);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    QString setUp(const QByteArray &password);
    int setUpTls();
    bool waitBeforeRetry(std::chrono::seconds delay);
    void connected(int reason);
    void acknowledged(int messageId, int reason);
    bool stopWantedLocked() const { return m_stopping || m_refused; }
    void handOverWaitingLocked();
    int handOverLocked(const QByteArray &topic, const QByteArray &payload, bool retain);
    void refuseLocked(PublishRefusal why, const QString &what, const QString &reason);
    void reportDropped(std::size_t dropped) const;

    MosquittoLibrary m_lib;
    BrokerUrl m_url;
    QByteArray m_host;
    QByteArray m_topic;
    QByteArray m_statusTopic;
    QByteArray m_linePrefix; // "program: --publish URL: ", before each line on stderr
    bool m_libraryStarted = false;
    mosquitto *m_mosq = nullptr;
    QString m_problem;

    // Held while a message is handed over, so that ticks leave in order.
    mutable std::mutex m_mutex;
    std::condition_variable m_changed; // a stop, an acknowledgement, a refusal, the network thread's end
    RefusalListener m_refusalListener;
    PendingTicks m_pending;
    int m_awaiting = 0;      // messages with the library, not yet acknowledged; 0 once refused
    int m_onlineMessage = 0; // the "online" still with the library; 0: none
    bool m_stopping = false;
    bool m_refused = false;
    bool m_networkEnded = false;
    std::atomic<bool> m_connected = false; // cleared without the lock (onDisconnect)

    std::mutex m_logMutex; // the library logs from either thread
    QByteArray m_lastError;
};
