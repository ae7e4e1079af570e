#include "platform/udpsocket.h"

#include "core/logging.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zeph::platform {
namespace {

int growReceiveBuffer(int fd, int want)
{
    // SO_RCVBUFFORCE passes net.core.rmem_max but needs CAP_NET_ADMIN; without
    // it SO_RCVBUF takes what the limit allows.
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
    int got = 0;
    socklen_t len = sizeof got;
    if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &got, &len) != 0)
        return 0;
    return got;
}

} // namespace

UdpSocket::~UdpSocket()
{
    close();
}

bool UdpSocket::open(std::uint16_t port, int receiveBuffer)
{
    close();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        qCWarning(lcMessaging) << "cannot create a UDP socket:" << strerror(errno);
        return false;
    }
    // Not marked for broadcast: messages only ever go to one computer.
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        qCWarning(lcMessaging) << "cannot bind UDP port" << port << ":" << strerror(errno);
        ::close(fd);
        return false;
    }
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        qCWarning(lcMessaging) << "cannot create the reader's stop signal:" << strerror(errno);
        ::close(fd);
        return false;
    }
    m_socket = fd;
    m_wake = wake;
    m_receiveBuffer = growReceiveBuffer(fd, receiveBuffer);
    return true;
}

void UdpSocket::close()
{
    if (m_socket != kNone)
        ::close(int(m_socket));
    if (m_wake != kNone)
        ::close(int(m_wake));
    m_socket = m_wake = kNone;
    m_receiveBuffer = 0;
}

bool UdpSocket::sendTo(const ipv4::Address& to, std::uint16_t port, QByteArrayView data)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    std::memcpy(&addr.sin_addr, to.data(), to.size()); // network order
    ssize_t sent = 0;
    do {
        sent = sendto(int(m_socket), data.data(), static_cast<size_t>(data.size()), 0,
                      reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (sent < 0 && errno == EINTR);
    if (sent != data.size()) {
        qCDebug(lcMessaging) << "sendto failed:" << strerror(errno);
        return false;
    }
    return true;
}

qsizetype UdpSocket::receive(char* buffer, qsizetype size)
{
    for (;;) {
        const ssize_t got = recv(int(m_socket), buffer, size_t(size), MSG_DONTWAIT);
        if (got >= 0)
            return got;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return kNothing;
        qCDebug(lcMessaging) << "receive failed:" << strerror(errno);
        return kFailed;
    }
}

bool UdpSocket::waitReadable()
{
    std::array<pollfd, 2> fds{pollfd{int(m_socket), POLLIN, 0}, pollfd{int(m_wake), POLLIN, 0}};
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcMessaging) << "reader stops, poll failed:" << strerror(errno);
            return false;
        }
        return fds[1].revents == 0;
    }
}

void UdpSocket::wake()
{
    const quint64 one = 1;
    if (write(int(m_wake), &one, sizeof one) != static_cast<ssize_t>(sizeof one))
        qCWarning(lcMessaging) << "cannot signal the reader to stop:" << strerror(errno);
}

} // namespace zeph::platform
