#include "mqtt_broker.h"
#include "test_files.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr int kStartMs = 10000;

// MQTT's packet types, the high nibble of a packet's first byte.
constexpr int kConnect = 1;
constexpr int kPublish = 3;
constexpr int kPingRequest = 12;
const QByteArray kConnectAccepted("\x20\x03\x00\x00\x00", 5); // CONNACK: no session, success, no properties
const QByteArray kPingResponse("\xd0\x00", 2);

// The length of the first whole packet in `bytes`; 0 while it is incomplete.
qsizetype wholePacketLength(const QByteArray &bytes)
{
    qsizetype remaining = 0;
    for (qsizetype i = 1; i < bytes.size() && i <= 4; ++i) {
        remaining |= qsizetype(bytes[i] & 0x7f) << (7 * (i - 1));
        if ((bytes[i] & 0x80) == 0)
            return bytes.size() >= 1 + i + remaining ? 1 + i + remaining : 0;
    }
    return 0;
}

// Started as root, mosquitto would become the user "mosquitto", who may not
// read the test's files: it stays whoever runs the test.
QString currentUserName()
{
    const passwd *entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

} // namespace

MqttBroker::MqttBroker(const QStringList &settings)
    : m_port(freeLoopbackPort())
    , m_settings(settings)
{
}

MqttBroker::~MqttBroker()
{
    stop();
}

int MqttBroker::freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool MqttBroker::start()
{
    const QString config = m_dir.filePath("mosquitto.conf");
    QStringList lines{QStringLiteral("listener %1 127.0.0.1").arg(m_port), "persistence true",
                      "persistence_location " + m_dir.path() + u'/', "log_dest file " + m_dir.filePath("broker.log"),
                      "log_type all", "user " + currentUserName()};
    if (!m_settings.join(u'\n').contains(QStringLiteral("password_file")))
        lines << QStringLiteral("allow_anonymous true");
    lines << m_settings;
    if (!writeFile(config, lines.join(u'\n').toUtf8() + '\n'))
        return false;

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start("mosquitto", {"-c", config});
    if (!m_process->waitForStarted())
        return false;
    // Ready once its port takes a connection.
    const QDeadlineTimer deadline(kStartMs);
    while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (probe.waitForConnected(100))
            return true;
        QTest::qWait(20);
    }
    return false;
}

void MqttBroker::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    // SIGTERM: the broker saves its sessions and retained messages first.
    m_process->terminate();
    if (!m_process->waitForFinished(kStartMs))
        m_process->kill();
    m_process->waitForFinished();
}

MqttSubscriber::MqttSubscriber(const MqttBroker &broker, const QString &filter)
    : m_broker(broker)
    , m_filter(filter)
    , m_id(QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::Id128).left(12))
{
}

MqttSubscriber::~MqttSubscriber()
{
    stop();
}

bool MqttSubscriber::start()
{
    stop();
    m_subscribed = false;
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    // -d: its debug lines say when the subscription is confirmed (SUBACK);
    // stdbuf: they reach the pipe as they are printed.
    m_process->start("stdbuf", QStringList{"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", QString::number(m_broker.port()),
                                           "-q", "1", "-c", "-i", m_id, "-v", "-d", "-t", m_filter});
    if (!m_process->waitForStarted())
        return false;
    const QDeadlineTimer deadline(kStartMs);
    while (!m_subscribed && !deadline.hasExpired() && m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(100);
        readOutput();
    }
    return m_subscribed;
}

void MqttSubscriber::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    readOutput();
    m_process->terminate();
    // Between two attempts to reach a stopped broker it may not notice at once.
    if (!m_process->waitForFinished(2000))
        m_process->kill();
    m_process->waitForFinished();
    readOutput();
}

QStringList MqttSubscriber::messages()
{
    if (m_process)
        readOutput();
    return m_messages;
}

void MqttSubscriber::readOutput()
{
    m_partial += m_process->readAll();
    qsizetype end = 0;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
        if (line.startsWith(u"Client ") || line.startsWith(u"Subscribed (mid")) {
            m_subscribed = m_subscribed || line.contains(u"SUBACK");
            continue;
        }
        m_messages << line;
    }
}

WithholdingBroker::WithholdingBroker()
{
    m_server.listen(QHostAddress::LocalHost);
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
        while (QTcpSocket *client = m_server.nextPendingConnection()) {
            QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] { take(client); });
            QObject::connect(client, &QTcpSocket::disconnected, client, [this, client] {
                m_received.remove(client);
                client->deleteLater();
            });
        }
    });
}

void WithholdingBroker::take(QTcpSocket *client)
{
    QByteArray &received = m_received[client];
    received += client->readAll();
    while (const qsizetype length = wholePacketLength(received)) {
        const int type = (quint8(received[0]) >> 4);
        if (type == kConnect)
            client->write(kConnectAccepted);
        else if (type == kPingRequest)
            client->write(kPingResponse);
        else if (type == kPublish)
            ++m_publishCount;
        received.remove(0, length);
    }
}
