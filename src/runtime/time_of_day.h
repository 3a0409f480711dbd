#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

#include <functional>

namespace rt {

// The local date and time of a tick: its time of day labels the chart row,
// the whole reading dates the recorded line. Replaceable so that tests can
// choose the time.
using Clock = std::function<QDateTime()>;

Clock systemClock();

// "hh:mm:ss" on the 24-hour clock, whatever the host's locale.
QString timeOfDayText(const QTime &time);

} // namespace rt
