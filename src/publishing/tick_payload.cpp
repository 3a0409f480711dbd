#include "publishing/tick_payload.h"

namespace {

constexpr std::array<const char *, 3> kSensorNames = {"A", "B", "C"};

} // namespace

QByteArray tickPayload(const TickRow &row)
{
    // Time, numbers and outcome names need no JSON escaping: built directly.
    QByteArray json = "{\"time\":\"" + isoTimeText(row.time).toLatin1() + '"';
    for (std::size_t sensor = 0; sensor < kSensorNames.size(); ++sensor) {
        json += ",\"" + QByteArray(kSensorNames[sensor]) + "\":";
        json += row.outcome == TickOutcome::Overflow ? QByteArray("null") : QByteArray::number(row.values[sensor]);
    }
    return json + ",\"outcome\":\"" + outcomeName(row.outcome).toLatin1() + "\"}";
}
