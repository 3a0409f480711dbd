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

    // Opens `path`; the reason when it cannot or must not, empty when open.
    QString open(const QString &path);

    // Appends the row; the header goes out with the first line written
    // into an empty file.
    void record(const TickRow &row);

    // What the opening repaired, for one line on stderr: empty when the
    // file ended with a complete line.
    QString repairNotice() const;

private:
    QString repairTail();

    bool m_headerDue = false;
    QString m_repairNotice;
};
