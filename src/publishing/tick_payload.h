#pragma once

#include "recording/tick_row.h"

#include <QByteArray>

// One tick as the MQTT message carries it, a compact JSON object:
// {"time":"2026-12-07T14:03:07+03:00","A":512,"B":300,"C":1023,"outcome":"record"}
// The same time, values and outcome as the record file's line; for an
// overflow the three values are null.
QByteArray tickPayload(const TickRow &row);
