#pragma once
// Reads every datagram that arrives on a UDP socket, on a thread of its own, into
// a DatagramQueue, so that the kernel's receive buffer is emptied as fast as
// datagrams come in, however long the owner's thread is busy. The datagrams the
// kernel dropped all the same (queue and buffer full) are counted into the
// queue where the system tells (Linux).

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <thread>

namespace zeph {

class DatagramQueue;
namespace platform {
class UdpSocket;
}

class DatagramReader {
public:
    // wake runs on the reader thread when the queue's taker must be told that
    // datagrams wait. The socket stays the caller's: it must outlive the reader.
    DatagramReader(platform::UdpSocket& socket, DatagramQueue& queue, std::function<void()> wake);
    // Stops and joins the thread; the datagrams already queued stay queued.
    ~DatagramReader();
    DatagramReader(const DatagramReader&) = delete;
    DatagramReader& operator=(const DatagramReader&) = delete;

    bool running() const { return m_thread.joinable(); }

private:
    void run(const std::stop_token& stop);

    platform::UdpSocket& m_socket; // the caller's
    DatagramQueue& m_queue;
    std::function<void()> m_wake;
    std::uint32_t m_dropped = 0; // the system's count of drops, as last seen
    std::jthread m_thread;
};

} // namespace zeph
