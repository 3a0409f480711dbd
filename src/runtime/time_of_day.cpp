#include "runtime/time_of_day.h"

namespace rt {

Clock systemClock()
{
    return [] { return QDateTime::currentDateTime(); };
}

QString timeOfDayText(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace rt
