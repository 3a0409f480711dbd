#pragma once

#include "recording/append_file.h"
#include "recording/tick_row.h"

// The tick log (--record): one CSV line per sampling tick, after the header
// time,A,B,C,outcome,text. It appends to a log of its own kind and refuses
// any other non-empty file rather than write into somebody else's data.
class TickRecorder : public AppendFile {
    Q_OBJECT
public:
    using AppendFile::AppendFile;

    // Judges `path` without creating or changing anything; the reason when
    // it cannot or must not be used, empty when it can.
    QString judge(const QString &path);

    // Cuts off the incomplete last line that judging found, once the start
    // can no longer be called off; the reason when it cannot.
    QString cutTornTail();

    // Appends the row; the header goes out with the first line written
    // into an empty file.
    void record(const TickRow &row);

    // What cutTornTail() cut, for one line on stderr: empty when nothing was.
    QString repairNotice() const;

private:
    QString measureTornTail();

    bool m_headerDue = false;
    qint64 m_completeEnd = 0; // where the last complete line ends
    qint64 m_tornBytes = 0;   // after it: an incomplete line to cut off
    QString m_repairNotice;
};
