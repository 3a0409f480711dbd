#include "sim/record_source.h"

RecordSource::RecordSource(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(kDefaultIntervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RecordSource::emitNext);
}

void RecordSource::setInterval(int milliseconds)
{
    m_timer.setInterval(milliseconds);
}

void RecordSource::setLineEnd(LineEnd end)
{
    m_lineEnd = end;
}

void RecordSource::setCount(qint64 records)
{
    m_count = records;
}

void RecordSource::start()
{
    m_timer.start();
}

void RecordSource::emitNext()
{
    const std::string text = recordText(m_generator.next(), m_lineEnd);
    ++m_emitted;
    emit recordDue(QByteArray(text.data(), qsizetype(text.size())));
    if (m_count > 0 && m_emitted >= m_count) {
        m_timer.stop();
        emit finished();
    }
}
