#include "command_line/broker_url.h"

#include <QStringDecoder>
#include <QUrl>

namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttsPort = 8883;
// An MQTT string is length-prefixed in 16 bits; the status topic adds "/status" to the topic.
constexpr qsizetype kMaxStringBytes = 65535;
constexpr qsizetype kMaxTopicBytes = kMaxStringBytes - qsizetype(sizeof "/status" - 1);

BrokerUrlParse refused(const QString &problem)
{
    return {{}, problem};
}

QString codePointName(char32_t codePoint)
{
    return QStringLiteral("U+") + QString::number(uint(codePoint), 16).toUpper().rightJustified(4, u'0');
}

// C0 controls (U+0000 to U+001F), DEL and the C1 controls (U+0080 to
// U+009F): MQTT advises against all of them and libmosquitto refuses them,
// so they are refused here, where the user can still mend the URL.
bool isControl(char32_t codePoint)
{
    return codePoint <= 0x1F || (codePoint >= 0x7F && codePoint <= 0x9F);
}

// U+FDD0 to U+FDEF and the last two code points of every plane, which
// libmosquitto refuses as well.
bool isNoncharacter(char32_t codePoint)
{
    return (codePoint >= 0xFDD0 && codePoint <= 0xFDEF) || (codePoint & 0xFFFE) == 0xFFFE;
}

// What keeps `bytes` (the topic or the user name, its %XX escapes decoded)
// from being an MQTT string; `what` names it in the text.
QString mqttStringProblem(const QByteArray &bytes, const QString &what)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QStringLiteral("%1 is not UTF-8 once its %XX escapes are decoded").arg(what);
    for (const char32_t codePoint : text.toUcs4()) {
        if (isControl(codePoint))
            return QStringLiteral("%1 holds the control character %2; MQTT takes none").arg(what, codePointName(codePoint));
        if (isNoncharacter(codePoint))
            return QStringLiteral("%1 holds %2, which is not a character").arg(what, codePointName(codePoint));
    }
    if (bytes.size() > kMaxStringBytes)
        return QStringLiteral("%1 is %2 bytes long; MQTT carries at most %3").arg(what).arg(bytes.size()).arg(kMaxStringBytes);
    return {};
}

QString topicProblem(const QByteArray &topic)
{
    if (topic.isEmpty())
        return QStringLiteral("no TOPIC after the host");
    if (topic.size() > kMaxTopicBytes)
        return QStringLiteral("the topic is %1 bytes long; at most %2 leave room for its \"/status\"").arg(topic.size()).arg(kMaxTopicBytes);
    if (const QString problem = mqttStringProblem(topic, QStringLiteral("the topic")); !problem.isEmpty())
        return problem;
    if (topic.contains('+') || topic.contains('#'))
        return QStringLiteral("the topic \"%1\" holds a wildcard (+ or #); a message goes to one topic").arg(QString::fromUtf8(topic));
    return {};
}

// The bytes a URL part stands for: QUrl's own decoding would turn bytes
// that are not UTF-8 into U+FFFD and hide them.
QByteArray decodedBytes(const QString &encoded)
{
    return QByteArray::fromPercentEncoding(encoded.toLatin1());
}

// Where a password stands in a URL as typed: after the first ':' of the
// user information, up to its '@'; {-1, 0} when there is none. A password
// holding a '/', '?' or '#' of its own ends the authority early: then what
// follows the ':' is no port number, and the password runs up to the last '@'.
std::pair<qsizetype, qsizetype> passwordSpan(const QString &text)
{
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    const qsizetype authorityStart = schemeEnd < 0 ? 0 : schemeEnd + 3;
    qsizetype authorityEnd = authorityStart;
    while (authorityEnd < text.size() && !QStringView(u"/?#").contains(text[authorityEnd]))
        ++authorityEnd;
    const qsizetype colon = text.indexOf(u':', authorityStart);
    if (colon < 0 || authorityEnd == authorityStart)
        return {-1, 0};
    qsizetype at = text.lastIndexOf(u'@', authorityEnd - 1);
    if (at < authorityStart && colon < authorityEnd && text[authorityStart] != u'[') {
        bool isPort = false;
        text.mid(colon + 1, authorityEnd - colon - 1).toUInt(&isPort);
        if (!isPort)
            at = text.lastIndexOf(u'@');
    }
    if (at <= colon + 1)
        return {-1, 0};
    return {colon + 1, at - colon - 1};
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

QString shownBrokerUrl(const QString &text)
{
    QString shown = text;
    if (const auto [start, length] = passwordSpan(text); start >= 0)
        shown.replace(start, length, QStringLiteral("***"));
    // A control character typed into the argument would break the message's line.
    QString escaped;
    for (const char32_t codePoint : shown.toUcs4()) {
        if (isControl(codePoint))
            escaped += QString::fromLatin1(QString(QChar(codePoint)).toUtf8().toPercentEncoding());
        else
            escaped += QString::fromUcs4(&codePoint, 1);
    }
    return escaped;
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
    const QByteArray user = decodedBytes(url.userName(QUrl::FullyEncoded));
    if (const QString problem = mqttStringProblem(user, QStringLiteral("the user name")); !problem.isEmpty())
        return refused(problem);
    const QByteArray topic = decodedBytes(url.path(QUrl::FullyEncoded)).mid(1);
    if (const QString problem = topicProblem(topic); !problem.isEmpty())
        return refused(problem);
    BrokerUrl parsed;
    parsed.tls = scheme == u"mqtts";
    parsed.user = QString::fromUtf8(user);
    parsed.host = url.host(QUrl::FullyDecoded);
    parsed.port = url.port(parsed.tls ? kMqttsPort : kMqttPort);
    parsed.topic = QString::fromUtf8(topic);
    if (parsed.port == 0)
        return refused(QStringLiteral("port 0"));
    return {parsed, {}};
}
