#pragma once
// The datagrams read off the socket and not yet delivered, oldest first. One
// reader thread pushes, the owner's thread takes. The queue is bounded in bytes:
// when it is full the reader waits, and further datagrams wait (or are dropped)
// in the kernel rather than in our memory; nothing taken in is ever dropped.

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

namespace zeph {

class DatagramQueue {
public:
    // What one queued datagram is counted as beyond its payload (the array's
    // header and the allocator's share), so that a flood of tiny ones is bounded too.
    static constexpr qsizetype kOverheadPerDatagram = 64;

    explicit DatagramQueue(qsizetype byteLimit);
    DatagramQueue(const DatagramQueue&) = delete;
    DatagramQueue& operator=(const DatagramQueue&) = delete;

    // Reader side. Blocks while the queue is full; false once stop is requested.
    bool waitForRoom(std::stop_token stop);
    // Appends; true when the taker had found the queue empty since it was last
    // told, so it must be told again (one wake-up per run of arrivals).
    bool push(QByteArray datagram);

    // Taker side: the oldest datagram, or nothing when the queue is empty (the
    // next push then asks for a wake-up).
    std::optional<QByteArray> take();

    qsizetype size() const;

    // Datagrams the system dropped before they could be read: the reader adds
    // them, the taker takes the sum once it has found the queue empty, so a
    // burst of losses is told once, after what did arrive.
    void addLost(qint64 count);
    qint64 takeLost();

private:
    static qsizetype cost(const QByteArray& d) { return d.size() + kOverheadPerDatagram; }

    const qsizetype m_byteLimit;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_room;
    std::deque<QByteArray> m_items;
    qsizetype m_bytes = 0;
    qint64 m_lost = 0;
    bool m_takerIdle = true;
};

} // namespace zeph
