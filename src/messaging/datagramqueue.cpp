#include "messaging/datagramqueue.h"

#include <utility>

namespace zeph {

DatagramQueue::DatagramQueue(qsizetype byteLimit) : m_byteLimit(byteLimit) {}

bool DatagramQueue::waitForRoom(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    return m_room.wait(lock, std::move(stop), [this] { return m_bytes < m_byteLimit; });
}

bool DatagramQueue::push(QByteArray datagram)
{
    const std::lock_guard lock(m_mutex);
    m_bytes += cost(datagram);
    m_items.push_back(std::move(datagram));
    const bool wake = m_takerIdle;
    m_takerIdle = false;
    return wake;
}

std::optional<QByteArray> DatagramQueue::take()
{
    std::unique_lock lock(m_mutex);
    if (m_items.empty()) {
        m_takerIdle = true;
        return std::nullopt;
    }
    QByteArray front = std::move(m_items.front());
    m_items.pop_front();
    const bool wasFull = m_bytes >= m_byteLimit;
    m_bytes -= cost(front);
    const bool roomMade = wasFull && m_bytes < m_byteLimit;
    lock.unlock();
    if (roomMade)
        m_room.notify_one();
    return front;
}

void DatagramQueue::addLost(qint64 count)
{
    const std::lock_guard lock(m_mutex);
    m_lost += count;
}

qint64 DatagramQueue::takeLost()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_lost, 0);
}

qsizetype DatagramQueue::size() const
{
    const std::lock_guard lock(m_mutex);
    return static_cast<qsizetype>(m_items.size());
}

} // namespace zeph
