#pragma once

#include <QByteArray>

#include <cstddef>
#include <deque>
#include <vector>

// The messages that wait while the broker cannot be reached: at most
// `capacity`, the oldest dropped past it and counted, so that a long outage
// costs bounded memory and the newest readings still go out.
class PendingTicks {
public:
    static constexpr std::size_t kHourOfTicks = 3600;

    explicit PendingTicks(std::size_t capacity = kHourOfTicks) : m_capacity(capacity) {}

    void push(QByteArray payload);
    // The oldest waiting message, taken out; the queue must not be empty.
    QByteArray takeOldest();
    // All waiting messages, oldest first; the queue is empty after.
    std::vector<QByteArray> takeAll();
    // Messages dropped since the last call; the count starts again at 0.
    std::size_t takeDroppedCount();

    std::size_t size() const { return m_payloads.size(); }
    std::size_t capacity() const { return m_capacity; }

private:
    std::size_t m_capacity;
    std::deque<QByteArray> m_payloads;
    std::size_t m_dropped = 0;
};
