#pragma once

#include "command_line/broker_url.h"
#include "publishing/mosquitto_library.h"
#include "publishing/pending_ticks.h"
#include "recording/tick_row.h"

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>


// What the broker refused, ending the publishing.
enum class PublishRefusal {
    Login, // the user name, the password or this client
    Topic, // publishing on the topic (the broker's ACL)
};

// Publishes each tick on the URL's topic (QoS 1, not retained) and the
// client's availability on TOPIC/status (retained: "online" once connected,
// "offline" as the last will and at a normal end). libmosquitto's own thread
// connects, reconnects (after 1 s, 2 s, ... at most 30 s) and sends; the caller's thread
// only hands a finished message over. While the broker cannot be reached the
// messages wait in a bounded queue and leave in order once it can.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    MqttPublisher(const BrokerUrl &url, const QByteArray &password, QObject *parent = nullptr);
    // "offline" on the status topic when connected, then disconnects.
    ~MqttPublisher() override;

    // Starts connecting; a broker that cannot be reached is retried, no error.
    void start();
    // Hands the tick over and returns; never waits for the network.
    void publish(const TickRow &row);

    const BrokerUrl &url() const { return m_url; }
    // Why libmosquitto could not be loaded; empty when it was. Without it the
    // publisher does nothing.
    const QString &libraryProblem() const { return m_libraryProblem; }
    // Messages waiting for the broker.
    std::size_t pendingCount() const;

signals:
    // Emitted once, from the network thread; publishing has stopped.
    void refused(PublishRefusal why, const QString &reason);

private:
    static void onConnect(mosquitto *, void *self, int reason, int flags, const mqtt5__property *);
    static void onDisconnect(mosquitto *, void *self, int reason, const mqtt5__property *);
    static void onPublish(mosquitto *, void *self, int messageId, int reason, const mqtt5__property *);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    void connectAndRun();
    void connected(int reason);
    void sendPendingThenDirect();
    void send(const QByteArray &payload);
    void sendStatus(const char *status);
    void stopRefused(PublishRefusal why, int reason);
    void reportDropped(std::size_t dropped) const;

    MosquittoLibrary m_lib;
    BrokerUrl m_url;
    QByteArray m_host;
    QByteArray m_topic;
    QByteArray m_statusTopic;
    QByteArray m_linePrefix; // "program: --publish URL: ", before each line on stderr
    QString m_libraryProblem;
    QByteArray m_lastError;      // the network thread's last error line
    mosquitto *m_mosq = nullptr;
    std::thread m_starter;
    std::mutex m_stopMutex; // with m_stopWanted: the end asked for, the last acknowledgement
    std::condition_variable m_stopWanted;
    bool m_stopping = false;
    bool m_loopRunning = false; // written by the starter thread before it ends
    std::atomic<int> m_unacknowledged = 0; // QoS 1 messages the broker has not acknowledged
    std::atomic<bool> m_connected = false; // messages go straight to libmosquitto
    std::atomic<bool> m_refused = false;
    mutable std::mutex m_pendingMutex;
    PendingTicks m_pending;
};
