#include "sim_command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <limits>
#include <optional>

namespace {

constexpr qint64 kLongestIntervalMs = 3600 * 1000;
constexpr qint64 kFastestSpeed = 4000000;

// The whole number `text` when it lies within first..last.
std::optional<qint64> numberWithin(const QString &text, qint64 first, qint64 last)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok || number < first || number > last)
        return std::nullopt;
    return number;
}

QString badValueText(const QString &option, const QString &value, const QString &expected)
{
    return QStringLiteral("--%1 \"%2\": expected %3").arg(option, value, expected);
}

// A serial device as this system names it, for the help and the messages.
#ifdef Q_OS_WIN
constexpr auto kExampleDevice = "COM7";
#else
constexpr auto kExampleDevice = "/dev/ttyUSB0";
#endif

} // namespace

SimVerdict parseSimCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sends a simulated three-sensor device's records (\"A,B,C\" and a line end) to a serial "
                       "device, or to a new pseudo-terminal with --pty."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption ptyOption(QStringLiteral("pty"),
                                       QStringLiteral("Create a pseudo-terminal pair, print its slave's path and write "
                                                      "into it."));
    const QCommandLineOption intervalOption(QStringLiteral("interval"),
                                            QStringLiteral("One record every MS milliseconds (default 1000)."),
                                            QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption lineEndOption(QStringLiteral("line-end"),
                                           QStringLiteral("Line end: crlf (default), lf, cr or lfcr."),
                                           QStringLiteral("END"), QStringLiteral("crlf"));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Stop after N records."),
                                         QStringLiteral("N"));
    const QCommandLineOption speedOption(QStringLiteral("speed"),
                                         QStringLiteral("Line speed in bit/s, 8N1 (default 9600)."),
                                         QStringLiteral("BAUD"), QStringLiteral("9600"));
    parser.addOptions({ptyOption, intervalOption, lineEndOption, countOption, speedOption});
    parser.addPositionalArgument(QStringLiteral("DEVICE"), QStringLiteral("The serial device to write to, such as %1; not with --pty.")
                                                                  .arg(QLatin1String(kExampleDevice)));

    if (!parser.parse(arguments))
        return SimVerdict::usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        QString help = parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QCoreApplication::applicationName());
        return SimVerdict::exitWith(0, help, false);
    }
    if (parser.isSet(versionOption))
        return SimVerdict::exitWith(0, QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(), SENSOR_MONITOR_VERSION), false);

    SimVerdict verdict;
    SimOptions &options = verdict.options;
    options.pty = parser.isSet(ptyOption);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1 || (options.pty && !positional.isEmpty()))
        return SimVerdict::usageError(QStringLiteral("unexpected argument \"%1\"; expected one DEVICE or --pty").arg(positional.last()));
    if (!options.pty && positional.isEmpty())
        return SimVerdict::usageError(QStringLiteral("no device; expected a DEVICE such as %1, or --pty").arg(QLatin1String(kExampleDevice)));
    options.device = positional.value(0);

    const auto interval = numberWithin(parser.value(intervalOption), 1, kLongestIntervalMs);
    if (!interval)
        return SimVerdict::usageError(badValueText(QStringLiteral("interval"), parser.value(intervalOption),
                                       QStringLiteral("milliseconds from 1 to %1").arg(kLongestIntervalMs)));
    options.intervalMs = int(*interval);

    const auto lineEnd = lineEndNamed(parser.value(lineEndOption).toStdString());
    if (!lineEnd)
        return SimVerdict::usageError(badValueText(QStringLiteral("line-end"), parser.value(lineEndOption),
                                       QStringLiteral("crlf, lf, cr or lfcr")));
    options.lineEnd = *lineEnd;

    if (parser.isSet(countOption)) {
        const auto count = numberWithin(parser.value(countOption), 1, std::numeric_limits<qint64>::max());
        if (!count)
            return SimVerdict::usageError(badValueText(QStringLiteral("count"), parser.value(countOption),
                                           QStringLiteral("a number of records from 1 up")));
        options.count = *count;
    }

    const auto speed = numberWithin(parser.value(speedOption), 1, kFastestSpeed);
    if (!speed)
        return SimVerdict::usageError(badValueText(QStringLiteral("speed"), parser.value(speedOption),
                                       QStringLiteral("bit/s from 1 to %1").arg(kFastestSpeed)));
    options.speed = qint32(*speed);
    return verdict;
}
