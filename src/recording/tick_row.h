#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>

// What one sampling tick did, as the recording names it.
enum class TickOutcome {
    Record,   // a record was read: the values are new
    Repeated, // the text was rejected: the previous values were written again
    Silent,   // fewer than two characters waited: 0, 0, 0 and no text
    Overflow, // a field was out of range: no chart row, so no values
};

// One line of the recording: the tick's clock reading, the values the
// tick wrote into the chart's new row, its outcome and the text it took.
struct TickRow {
    QDateTime time;
    TickOutcome outcome = TickOutcome::Silent;
    std::array<int, 3> values{}; // not written for an overflow
    QString text;
};

// "record", "repeated", "silent", "overflow": the outcome as files and messages name it.
QString outcomeName(TickOutcome outcome);

// The recording's first line, CR LF included.
QByteArray tickHeaderLine();

// "2026-12-06T14:03:07+03:00": ISO 8601 with seconds and the UTC offset.
QString isoTimeText(const QDateTime &time);

// The row as a CSV line: time,A,B,C,outcome,text.
QByteArray tickLine(const TickRow &row);
