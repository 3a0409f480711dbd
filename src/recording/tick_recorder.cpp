#include "recording/tick_recorder.h"

#include <QFileInfo>

#include <utility>

namespace {

// Empty when `path` may be appended to: it does not exist yet, is empty, is
// not a regular file (a pipe, a device), or starts with our header.
QString foreignFileReason(const QString &path, bool &empty)
{
    const QFileInfo info(path);
    empty = !info.exists() || !info.isFile() || info.size() == 0;
    if (empty)
        return {};
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly))
        return existing.errorString();
    const QByteArray header = tickHeaderLine();
    if (existing.read(header.size()) != header)
        return QStringLiteral("not a recording of this program (its first line is not %1)")
            .arg(QString::fromLatin1(header.trimmed()));
    return {};
}

} // namespace

QString TickRecorder::open(const QString &path)
{
    bool empty = false;
    if (QString reason = foreignFileReason(path, empty); !reason.isEmpty())
        return reason;
    m_headerDue = empty;
    return openForAppend(path);
}

void TickRecorder::record(const TickRow &row)
{
    // One write for header and line, so that a killed program never leaves
    // a header without its first line, nor a line without the header.
    append(std::exchange(m_headerDue, false) ? tickHeaderLine() + tickLine(row) : tickLine(row));
}
