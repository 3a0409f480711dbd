#include "publishing/pending_ticks.h"

#include <iterator>
#include <utility>

void PendingTicks::push(QByteArray payload)
{
    if (m_capacity == 0) {
        ++m_dropped;
        return;
    }
    if (m_payloads.size() == m_capacity) {
        m_payloads.pop_front();
        ++m_dropped;
    }
    m_payloads.push_back(std::move(payload));
}

QByteArray PendingTicks::takeOldest()
{
    QByteArray oldest = std::move(m_payloads.front());
    m_payloads.pop_front();
    return oldest;
}

std::vector<QByteArray> PendingTicks::takeAll()
{
    std::vector<QByteArray> all(std::make_move_iterator(m_payloads.begin()), std::make_move_iterator(m_payloads.end()));
    m_payloads.clear();
    return all;
}

std::size_t PendingTicks::takeDroppedCount()
{
    return std::exchange(m_dropped, 0);
}
