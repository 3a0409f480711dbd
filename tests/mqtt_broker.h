#pragma once

#include <QHash>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>

class QTcpSocket;

// Debian's mosquitto broker on a free loopback port, with a configuration
// written into a folder of its own; stopped (and restartable on the same
// port, its retained messages and sessions kept on disk) by the test.
class MqttBroker {
public:
    // `settings`: further lines for mosquitto.conf (password_file, acl_file, a TLS listener).
    explicit MqttBroker(const QStringList &settings = {});
    ~MqttBroker();

    // Starts it and waits until it accepts connections; false when it does not.
    bool start();
    void stop();

    int port() const { return m_port; }

    static int freeLoopbackPort();

private:
    QTemporaryDir m_dir;
    int m_port = 0;
    QStringList m_settings;
    std::unique_ptr<QProcess> m_process;
};

// mosquitto_sub on the broker, subscribed to `filter` at QoS 1 with a
// persistent session: stopped and started again, it receives what was
// published meanwhile. Each message is one line "topic payload".
class MqttSubscriber {
public:
    MqttSubscriber(const MqttBroker &broker, const QString &filter);
    ~MqttSubscriber();

    // Starts it and waits until the broker confirmed the subscription.
    bool start();
    void stop();
    // Every message received so far, by all its runs, in order.
    QStringList messages();

private:
    const MqttBroker &m_broker;
    QString m_filter;
    QString m_id;
    std::unique_ptr<QProcess> m_process;
    QStringList m_messages;
    QByteArray m_partial;
    bool m_subscribed = false;

    void readOutput();
};

// A broker that keeps the connection and acknowledges no message: on the
// loopback, it answers CONNECT (MQTT 5) and PINGREQ and counts each PUBLISH,
// so that a client's messages in flight can be counted on the wire.
class WithholdingBroker {
public:
    WithholdingBroker();

    int port() const { return m_server.serverPort(); }
    // PUBLISH packets received, on every connection.
    int publishCount() const { return m_publishCount; }

private:
    QHash<QTcpSocket *, QByteArray> m_received;
    int m_publishCount = 0;
    QTcpServer m_server; // last, so that its connections end while the above still stand

    void take(QTcpSocket *client);
};
