#include "recording/tick_row.h"

#include "recording/csv_line.h"

#include <QStringList>

#include <cstdlib>

QString outcomeName(TickOutcome outcome)
{
    switch (outcome) {
    case TickOutcome::Record:
        return QStringLiteral("record");
    case TickOutcome::Repeated:
        return QStringLiteral("repeated");
    case TickOutcome::Silent:
        return QStringLiteral("silent");
    case TickOutcome::Overflow:
        return QStringLiteral("overflow");
    }
    return {};
}

namespace {

// "+03:00", "-04:30", "+00:00".
QString offsetText(int secondsEastOfUtc)
{
    const int minutes = std::abs(secondsEastOfUtc) / 60;
    const QString hoursAndMinutes =
        QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return QLatin1Char(secondsEastOfUtc < 0 ? '-' : '+') + hoursAndMinutes;
}

} // namespace

QByteArray tickHeaderLine()
{
    return csvLine({QStringLiteral("time"), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                    QStringLiteral("outcome"), QStringLiteral("text")});
}

QString isoTimeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + offsetText(time.offsetFromUtc());
}

QByteArray tickLine(const TickRow &row)
{
    QStringList fields{isoTimeText(row.time)};
    for (const int value : row.values)
        fields << (row.outcome == TickOutcome::Overflow ? QString() : QString::number(value));
    fields << outcomeName(row.outcome) << row.text;
    return csvLine(fields);
}
