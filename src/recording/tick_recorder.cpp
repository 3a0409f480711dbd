#include "recording/tick_recorder.h"

#include <QFileInfo>

#include <utility>

namespace {

// Empty when `path` may be appended to: it does not exist yet, is empty, is
// not a regular file (a pipe, a device), or starts with our header (or with
// the beginning of it, cut short by a run that ended while writing it).
QString foreignFileReason(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || info.size() == 0)
        return {};
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly))
        return existing.errorString();
    const QByteArray header = tickHeaderLine();
    if (!header.startsWith(existing.read(header.size())))
        return QStringLiteral("not a recording of this program (its first line is not %1)")
            .arg(QString::fromLatin1(header.trimmed()));
    return {};
}

// Where the last complete line ends: after the last CR LF outside quotes.
// The whole file is read once, as quoted fields may hold line ends.
qint64 endOfLastCompleteLine(QFile &file)
{
    qint64 lastEnd = 0;
    qint64 position = 0;
    bool quoted = false;
    char previous = 0;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            break;
        for (const char c : chunk) {
            ++position;
            if (c == '"')
                quoted = !quoted;
            else if (c == '\n' && previous == '\r' && !quoted)
                lastEnd = position;
            previous = c;
        }
    }
    return lastEnd;
}

} // namespace

QString TickRecorder::judge(const QString &path)
{
    if (QString reason = foreignFileReason(path); !reason.isEmpty())
        return reason;
    if (QString reason = judgeForAppend(path); !reason.isEmpty())
        return reason;
    return measureTornTail();
}

// A run that ended in the middle of a line (a crash, a power cut) left it
// incomplete: it must go, or every later line would be read as part of it.
QString TickRecorder::measureTornTail()
{
    m_headerDue = true;
    if (!isRegularFile())
        return {};
    QFile existing(path());
    if (!existing.open(QIODevice::ReadOnly))
        return existing.errorString();
    m_completeEnd = endOfLastCompleteLine(existing);
    m_tornBytes = existing.size() - m_completeEnd;
    m_headerDue = m_completeEnd == 0;
    return {};
}

QString TickRecorder::cutTornTail()
{
    if (m_tornBytes <= 0)
        return {};
    if (!cutBackTo(m_completeEnd))
        return QStringLiteral("cannot cut back its incomplete last line");
    m_repairNotice = QStringLiteral("cut %1 bytes of an incomplete last line").arg(std::exchange(m_tornBytes, 0));
    return {};
}

QString TickRecorder::repairNotice() const
{
    return m_repairNotice;
}

void TickRecorder::record(const TickRow &row)
{
    // One write for header and line, so that a killed program never leaves
    // a header without its first line, nor a line without the header.
    append(std::exchange(m_headerDue, false) ? tickHeaderLine() + tickLine(row) : tickLine(row));
}
