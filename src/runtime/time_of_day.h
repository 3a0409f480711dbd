#pragma once

#include <QString>
#include <QTime>

#include <functional>

namespace rt {

// What the chart labels its samples with; replaceable so that tests can
// choose the time.
using Clock = std::function<QTime()>;

Clock systemClock();

// "hh:mm:ss" on the 24-hour clock, whatever the host's locale.
QString timeOfDayText(const QTime &time);

} // namespace rt
