#pragma once

#include "command_line/broker_url.h"
#include "publishing/mqtt_client.h"
#include "recording/tick_row.h"

#include <QObject>

#include <memory>
#include <thread>

// Publishes each tick on the URL's topic (QoS 1, not retained) and the
// client's availability on TOPIC/status (retained: "online" once connected,
// "offline" as the last will and at a normal end). A thread of its own
// resolves the broker's name, connects, reconnects and sends; the caller's
// thread only hands a finished message over. While the broker cannot be
// reached, or does not acknowledge, the messages wait in a bounded queue and
// leave in order once it can.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    MqttPublisher(const BrokerUrl &url, const QByteArray &password, QObject *parent = nullptr);
    // "offline" on the status topic when connected, then disconnects; waits
    // 2 s at most, whatever the broker or the name server does.
    ~MqttPublisher() override;

    // Starts connecting; a broker that cannot be reached is retried, no error.
    void start();
    // Hands the tick over and returns; never waits for the network.
    void publish(const TickRow &row);

    const BrokerUrl &url() const { return m_url; }
    // Why the publisher cannot work, as one line for stderr (the library
    // missing, or refusing the set-up); empty when it can. Without it the
    // publisher does nothing.
    const QString &problem() const { return m_client->problem(); }
    // Ticks waiting in the publisher's own queue.
    std::size_t pendingCount() const { return m_client->pendingCount(); }
    // Messages handed to the library and not yet acknowledged by the broker;
    // none once a refusal has stopped the publishing.
    int awaitingAcknowledgement() const { return m_client->awaitingAcknowledgement(); }

signals:
    // Emitted once, from either thread; publishing has stopped.
    void refused(PublishRefusal why, const QString &reason);

private:
    BrokerUrl m_url;
    // Shared with the network thread, which may outlive the publisher.
    std::shared_ptr<MqttClient> m_client;
    std::thread m_network;
};
