#include "publishing/mqtt_publisher.h"

#include "publishing/tick_payload.h"

namespace {

constexpr std::chrono::seconds kLongestEnd{2};

} // namespace

MqttPublisher::MqttPublisher(const BrokerUrl &url, const QByteArray &password, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_client(std::make_shared<MqttClient>(url, password))
{
    m_client->setRefusalListener([this](PublishRefusal why, const QString &reason) { emit refused(why, reason); });
}

MqttPublisher::~MqttPublisher()
{
    const auto deadline = MqttClient::Clock::now() + kLongestEnd;
    m_client->setRefusalListener({});
    m_client->stop(deadline);
    if (!m_network.joinable())
        return;
    if (m_client->networkEndedBy(deadline)) {
        m_network.join();
        return;
    }
    // Still in a call that cannot be cut short, a name lookup the name
    // server does not answer: the thread keeps its share of the client and
    // destroys it once the call returns.
    m_network.detach();
}

void MqttPublisher::start()
{
    if (!m_client->problem().isEmpty() || m_network.joinable())
        return;
    m_network = std::thread([client = m_client] { client->runNetwork(); });
}

void MqttPublisher::publish(const TickRow &row)
{
    m_client->publish(tickPayload(row));
}
