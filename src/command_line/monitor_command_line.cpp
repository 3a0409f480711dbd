#include "command_line/monitor_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <array>
#include <cctype>

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 9;

// The device the help's example names: a port's name as this system writes it.
#ifdef Q_OS_WIN
constexpr auto kExampleDevice = "COM3";
#else
constexpr auto kExampleDevice = "/dev/ttyUSB0";
#endif

// QGuiApplication's and QApplication's own options, which they take out of
// argv themselves; "-style fusion", "-style=fusion" and "--style fusion"
// all reach them.
constexpr std::array kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "display", "geometry", "style", "stylesheet", "name", "title", "qmljsdebugger",
};
constexpr std::array kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// "-style=fusion" -> "style"; "--style" -> "style"; anything else -> empty.
QString qtOptionName(const QString &argument)
{
    if (!argument.startsWith(u'-') || argument == u"-" || argument == u"--")
        return {};
    QString name = argument.mid(argument.startsWith(u"--") ? 2 : 1);
    return name.left(name.indexOf(u'='));
}

template <std::size_t N>
bool isOneOf(const QString &name, const std::array<const char *, N> &names)
{
    for (const char *candidate : names) {
        if (name == QLatin1String(candidate))
            return true;
    }
    return false;
}

// The arguments without Qt's own options and their values.
QStringList withoutQtOptions(const QStringList &arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const QString name = qtOptionName(argument);
        if (i > 0 && isOneOf(name, kQtFlags))
            continue;
        if (i > 0 && isOneOf(name, kQtOptionsWithValue)) {
            if (!argument.contains(u'='))
                ++i; // the value stands in the next argument
            continue;
        }
        kept << argument;
    }
    return kept;
}

// "3=/dev/ttyUSB1" -> port 3, device "/dev/ttyUSB1"; port 0 and the reason
// when malformed. Only the ASCII digits 1 to 9 name a port.
struct PortAssignment {
    int port = 0;
    QString device;
    QString problem;
};

PortAssignment portAssignment(const QString &value)
{
    const qsizetype equals = value.indexOf(u'=');
    if (equals < 0)
        return {0, {}, QStringLiteral("no \"=\"")};
    const QString number = value.left(equals);
    const QChar digit = number.size() == 1 ? number[0] : QChar();
    if (digit < u'1' || digit > u'9')
        return {0, {}, QStringLiteral("N is not a digit from %1 to %2").arg(kFirstPort).arg(kLastPort)};
    if (equals + 1 == value.size())
        return {0, {}, QStringLiteral("no DEVICE after \"=\"")};
    return {digit.unicode() - u'0', value.mid(equals + 1), {}};
}

// "--record: given twice; expected --record FILE once": an option that takes
// one value, given more often, leaves which one counts to a guess.
QString repeatedOptionText(const QCommandLineOption &option, qsizetype times)
{
    const QString name = option.names().constFirst();
    const QString given = times == 2 ? QStringLiteral("twice") : QStringLiteral("%1 times").arg(times);
    return QStringLiteral("--%1: given %2; expected --%1 %3 once").arg(name, given, option.valueName());
}

QString badPortText(const QString &value, const QString &reason)
{
    return QStringLiteral("--port \"%1\": %2; expected --port N=DEVICE with N from %3 to %4, once per N")
        .arg(value, reason, QString::number(kFirstPort), QString::number(kLastPort));
}

// Read no further: a bundle of every public authority is a quarter of that,
// and a device such as /dev/zero would never end.
constexpr qint64 kMostCaFileBytes = 4 * 1024 * 1024;

// Whether `text` holds a PEM certificate in one of the forms that OpenSSL
// reads as an authority: base64 between its BEGIN and END lines, decoding to
// DER (which starts with a SEQUENCE, 0x30).
bool holdsPemCertificate(const QByteArray &text)
{
    for (const QByteArray label : {"CERTIFICATE", "TRUSTED CERTIFICATE", "X509 CERTIFICATE"}) {
        const QByteArray begin = "-----BEGIN " + label + "-----";
        const QByteArray end = "-----END " + label + "-----";
        for (qsizetype from = text.indexOf(begin); from >= 0; from = text.indexOf(begin, from + 1)) {
            const qsizetype bodyStart = from + begin.size();
            const qsizetype bodyEnd = text.indexOf(end, bodyStart);
            if (bodyEnd < 0)
                break;
            QByteArray body = text.mid(bodyStart, bodyEnd - bodyStart);
            body.removeIf([](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
            const auto der = QByteArray::fromBase64Encoding(body, QByteArray::AbortOnBase64DecodingErrors);
            if (der && der.decoded.startsWith('\x30'))
                return true;
        }
    }
    return false;
}

// Why --publish-ca FILE cannot be the authority; empty when it can.
QString caFileProblem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read: %1").arg(file.errorString());
    const QByteArray text = file.read(kMostCaFileBytes);
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("cannot be read: %1").arg(file.errorString());
    if (!holdsPemCertificate(text))
        return QStringLiteral("holds no certificate; expected a PEM file with -----BEGIN CERTIFICATE-----");
    return {};
}

// --publish URL and --publish-ca FILE checked together; the problem as the
// usage error's text.
BrokerUrlParse brokerUrlFrom(const QString &text, const QString &caPath)
{
    BrokerUrlParse parse = parseBrokerUrl(text);
    if (!parse.problem.isEmpty())
        return {{}, QStringLiteral("--publish \"%1\": %2; expected mqtt://[USER@]HOST[:PORT]/TOPIC or mqtts://...")
                        .arg(shownBrokerUrl(text), parse.problem)};
#ifdef SENSOR_MONITOR_MQTT_NO_TLS
    if (parse.url.tls)
        return {{}, QStringLiteral("--publish \"%1\": this build has no TLS; only mqtt:// can be used").arg(shownBrokerUrl(text))};
#endif
    if (caPath.isEmpty())
        return parse;
    if (!parse.url.tls)
        return {{}, QStringLiteral("--publish-ca \"%1\": only an mqtts:// broker has a certificate to check").arg(caPath)};
    if (const QString problem = caFileProblem(caPath); !problem.isEmpty())
        return {{}, QStringLiteral("--publish-ca \"%1\": %2").arg(caPath, problem)};
    parse.url.caPath = caPath;
    return parse;
}

} // namespace

MonitorVerdict parseMonitorCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Live monitor for a three-sensor device on a serial line."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Com N opens DEVICE (N 1 to 9; repeatable), for example "
                                                       "--port 1=%1.").arg(QLatin1String(kExampleDevice)),
                                        QStringLiteral("N=DEVICE"));
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Com 1 is a built-in simulated three-sensor device."));
    const QCommandLineOption recordOption(QStringLiteral("record"),
                                          QStringLiteral("Append one CSV line per sampling tick to FILE."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption captureOption(QStringLiteral("capture"),
                                           QStringLiteral("Append every byte received from the device to FILE."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption publishOption(QStringLiteral("publish"),
                                           QStringLiteral("Publish every tick to the MQTT broker and topic of URL, "
                                                          "mqtt://[USER@]HOST[:PORT]/TOPIC or mqtts://...; the "
                                                          "password comes from SENSOR_MONITOR_MQTT_PASSWORD."),
                                           QStringLiteral("URL"));
    const QCommandLineOption publishCaOption(QStringLiteral("publish-ca"),
                                             QStringLiteral("Trust the broker's certificate when FILE's authority "
                                                            "signed it (mqtts:// only)."),
                                             QStringLiteral("FILE"));
    parser.addOptions({portOption, demoOption, recordOption, captureOption, publishOption, publishCaOption});

    if (!parser.parse(withoutQtOptions(arguments)))
        return MonitorVerdict::usageError(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object the parser cannot know the program's name.
        QString help = parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QCoreApplication::applicationName());
        return MonitorVerdict::exitWith(0, help, false);
    }
    if (parser.isSet(versionOption))
        return MonitorVerdict::exitWith(0, QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(), SENSOR_MONITOR_VERSION), false);
    if (!parser.positionalArguments().isEmpty())
        return MonitorVerdict::usageError(QStringLiteral("unexpected argument \"%1\"; see --help")
                                              .arg(shownBrokerUrl(parser.positionalArguments().first())));

    for (const QCommandLineOption &singleValueOption : {recordOption, captureOption, publishOption, publishCaOption}) {
        if (const qsizetype times = parser.values(singleValueOption).size(); times > 1)
            return MonitorVerdict::usageError(repeatedOptionText(singleValueOption, times));
    }

    MonitorVerdict verdict;
    MonitorOptions &options = verdict.options;
    options.demo = parser.isSet(demoOption);
    for (const QString &value : parser.values(portOption)) {
        const auto [port, device, problem] = portAssignment(value);
        if (port == 0)
            return MonitorVerdict::usageError(badPortText(value, problem));
        if (const auto given = options.ports.find(port); given != options.ports.end()) {
            const QString first = QStringLiteral("%1=%2").arg(port).arg(given->second);
            return MonitorVerdict::usageError(badPortText(
                value, QStringLiteral("Com %1 is already given as \"%2\", and a port opens one device").arg(QString::number(port), first)));
        }
        if (options.demo && port == kFirstPort)
            return MonitorVerdict::usageError(badPortText(value, QStringLiteral("with --demo, Com 1 is the demo device")));
        options.ports[port] = device;
    }
    for (const QCommandLineOption &fileOption : {recordOption, captureOption}) {
        if (parser.isSet(fileOption) && parser.value(fileOption).isEmpty())
            return MonitorVerdict::usageError(QStringLiteral("--%1 \"\": expected --%1 FILE").arg(fileOption.names().constFirst()));
    }
    options.recordPath = parser.value(recordOption);
    options.capturePath = parser.value(captureOption);
    if (parser.isSet(publishOption)) {
        const auto [url, problem] = brokerUrlFrom(parser.value(publishOption), parser.value(publishCaOption));
        if (!problem.isEmpty())
            return MonitorVerdict::usageError(problem);
        options.publish = url;
    } else if (parser.isSet(publishCaOption)) {
        return MonitorVerdict::usageError(QStringLiteral("--publish-ca: needs --publish mqtts://..."));
    }
    return verdict;
}
