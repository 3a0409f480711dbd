#include "sim/in_process_line.h"

#include <algorithm>
#include <cstring>

void InProcessLine::send(const QByteArray &bytes)
{
    if (!isOpen() || bytes.isEmpty())
        return;
    m_pending.append(bytes);
    emit readyRead();
}

bool InProcessLine::isSequential() const
{
    return true;
}

qint64 InProcessLine::bytesAvailable() const
{
    return m_pending.size() + QIODevice::bytesAvailable();
}

void InProcessLine::close()
{
    m_pending.clear();
    QIODevice::close();
}

qint64 InProcessLine::readData(char *data, qint64 maxSize)
{
    const qsizetype count = std::min<qsizetype>(m_pending.size(), maxSize);
    std::memcpy(data, m_pending.constData(), size_t(count));
    m_pending.remove(0, count);
    return count;
}

// The reader only listens.
qint64 InProcessLine::writeData(const char *, qint64)
{
    return -1;
}
