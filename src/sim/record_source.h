#pragma once

#include "sim/record_generator.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

// Hands out the generator's records at a steady pace, as the device's own
// clock would: one each interval after start(), optionally only so many.
class RecordSource : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 1000;

    explicit RecordSource(QObject *parent = nullptr);

    void setInterval(int milliseconds);
    void setLineEnd(LineEnd end);
    // Stops after `records` records; 0 (the default) never stops.
    void setCount(qint64 records);
    void start();

signals:
    void recordDue(const QByteArray &record);
    // The last of the counted records has been handed out.
    void finished();

private:
    void emitNext();

    QTimer m_timer{this};
    RecordGenerator m_generator;
    LineEnd m_lineEnd = LineEnd::CrLf;
    qint64 m_count = 0;
    qint64 m_emitted = 0;
};
