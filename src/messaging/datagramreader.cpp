#include "messaging/datagramreader.h"

#include "core/logging.h"
#include "messaging/datagramqueue.h"
#include "messaging/messageformat.h"
#include "platform/net/udpsocket.h"

#include <array>

#ifdef Q_OS_LINUX
#include <pthread.h>
#endif

namespace zeph {

DatagramReader::DatagramReader(platform::UdpSocket& socket, DatagramQueue& queue,
                               std::function<void()> wake)
    : m_socket(socket), m_queue(queue), m_wake(std::move(wake))
{
    if (!m_socket.isOpen())
        return;
    if (!m_socket.countDrops())
        qCDebug(lcMessaging) << "the system does not count dropped datagrams";
    m_thread = std::jthread([this](const std::stop_token& stop) { run(stop); });
#ifdef Q_OS_LINUX
    pthread_setname_np(m_thread.native_handle(), "zeph-datagrams"); // as debuggers and top show it
#endif
}

DatagramReader::~DatagramReader()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_socket.wake();
        m_thread.join();
    }
}

void DatagramReader::run(const std::stop_token& stop)
{
    using Kind = platform::UdpSocket::Received::Kind;
    // One buffer as large as any IPv4 UDP payload; each datagram is then copied
    // out at its own size.
    std::array<char, message::kMaxDatagramSize + 1> buffer{};
    while (!stop.stop_requested()) {
        if (!m_socket.waitForDatagram())
            return;
        // Everything waiting is taken before waiting again.
        while (!stop.stop_requested()) {
            const platform::UdpSocket::Received r = m_socket.receive(buffer);
            if (r.kind != Kind::Datagram) {
                if (r.kind == Kind::Failed)
                    qCDebug(lcMessaging) << "receive failed";
                break;
            }
            if (r.dropped && *r.dropped != m_dropped) {
                m_queue.addLost(static_cast<std::uint32_t>(*r.dropped - m_dropped));
                m_dropped = *r.dropped;
            }
            if (r.data.isEmpty())
                continue; // an empty datagram carries no message
            if (!m_queue.waitForRoom(stop))
                return;
            if (m_queue.push(r.data.toByteArray()))
                m_wake();
        }
    }
}

} // namespace zeph
