#include "command_line/broker_url.h"

#include <QUrl>

namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
constexpr qsizetype kMaxTopicBytes = 65535; // a topic is a length-prefixed UTF-8 string

BrokerUrlParse refused(const QString &problem)
{
    return {{}, problem};
}

QString topicProblem(const QString &topic)
{
    if (topic.isEmpty())
        return QStringLiteral("no TOPIC after the host");
    if (topic.contains(u'+') || topic.contains(u'#'))
        return QStringLiteral("the topic \"%1\" holds a wildcard (+ or #); a message goes to one topic").arg(topic);
    if (topic.contains(QChar(0)) || topic.toUtf8().size() > kMaxTopicBytes)
        return QStringLiteral("the topic is not one MQTT can carry");
    return {};
}

} // namespace

QString BrokerUrl::text() const
{
    const QString login = user.isEmpty() ? QString() : user + u'@';
    return QStringLiteral("%1://%2%3/%4").arg(tls ? u"mqtts" : u"mqtt", login, brokerName(), topic);
}

QString BrokerUrl::brokerName() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

BrokerUrlParse parseBrokerUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"mqtt" && scheme != u"mqtts") || url.host().isEmpty())
        return refused(QStringLiteral("not an mqtt:// or mqtts:// URL with a host"));
    if (!url.password().isEmpty())
        return refused(QStringLiteral("a password does not belong in the URL; set SENSOR_MONITOR_MQTT_PASSWORD"));
    if (url.hasQuery() || url.hasFragment())
        return refused(QStringLiteral("a topic cannot hold \"?\" or \"#\""));
    BrokerUrl parsed;
    parsed.tls = scheme == u"mqtts";
    parsed.user = url.userName(QUrl::FullyDecoded);
    parsed.host = url.host(QUrl::FullyDecoded);
    parsed.port = url.port(parsed.tls ? kMqttsPort : kMqttPort);
    parsed.topic = url.path(QUrl::FullyDecoded).mid(1);
    if (parsed.port == 0)
        return refused(QStringLiteral("port 0"));
    if (const QString problem = topicProblem(parsed.topic); !problem.isEmpty())
        return refused(problem);
    return {parsed, {}};
}
