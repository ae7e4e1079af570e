#include "messaging/datagramreader.h"

#include "core/logging.h"
#include "messaging/datagramqueue.h"
#include "messaging/messageformat.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zeph {

DatagramReader::DatagramReader(int socketFd, DatagramQueue& queue, std::function<void()> wake)
    : m_socket(socketFd), m_queue(queue), m_wake(std::move(wake)),
      m_stopFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_stopFd) {
        qCWarning(lcMessaging) << "cannot create the reader's stop signal:" << strerror(errno);
        return;
    }
    m_thread = std::jthread([this](const std::stop_token& stop) { run(stop); });
    pthread_setname_np(m_thread.native_handle(), "zeph-datagrams"); // as debuggers and top show it
}

DatagramReader::~DatagramReader()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        const quint64 one = 1;
        if (write(m_stopFd.get(), &one, sizeof one) != static_cast<ssize_t>(sizeof one))
            qCWarning(lcMessaging) << "cannot signal the reader to stop:" << strerror(errno);
        m_thread.join();
    }
}

void DatagramReader::run(const std::stop_token& stop)
{
    // One buffer as large as any IPv4 UDP payload; each datagram is then copied
    // out at its own size.
    std::array<char, message::kMaxDatagramSize + 1> buffer{};
    std::array<pollfd, 2> fds{pollfd{m_socket, POLLIN, 0}, pollfd{m_stopFd.get(), POLLIN, 0}};
    while (!stop.stop_requested()) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcMessaging) << "reader stops, poll failed:" << strerror(errno);
            return;
        }
        // Everything waiting is taken before polling again.
        while (!stop.stop_requested()) {
            const ssize_t got = recv(m_socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    qCDebug(lcMessaging) << "receive failed:" << strerror(errno);
                break;
            }
            if (got == 0)
                continue; // an empty datagram carries no message
            if (!m_queue.waitForRoom(stop))
                return;
            if (m_queue.push(QByteArray(buffer.data(), static_cast<qsizetype>(got))))
                m_wake();
        }
    }
}

} // namespace zeph
