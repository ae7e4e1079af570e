#include "platform/net/udpsocket.h"

#include "core/logging.h"
#include "platform/sockaddr.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace zeph::platform {

UdpSocket::UdpSocket() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}

UdpSocket::~UdpSocket() = default;

bool UdpSocket::isOpen() const
{
    return static_cast<bool>(m_fd);
}

bool UdpSocket::bind(std::uint16_t port)
{
    const sockaddr_in any = toSockaddr(Ipv4Address(), port);
    if (!isOpen() || ::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        qCWarning(lcPlatform) << "cannot bind UDP port" << port << ":" << std::strerror(errno);
        return false;
    }
    // The endpoint's sends wait for room in the send buffer rather than drop
    // a message during a flood; receive() never waits (MSG_DONTWAIT).
    const int flags = ::fcntl(m_fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(m_fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    m_wake.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_wake) {
        qCWarning(lcPlatform) << "cannot create the reader's stop signal:" << std::strerror(errno);
        return false;
    }
    return true;
}

int UdpSocket::growReceiveBuffer(int bytes)
{
    // SO_RCVBUFFORCE passes net.core.rmem_max but needs CAP_NET_ADMIN; without
    // it SO_RCVBUF takes what the limit allows.
    if (::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int got = 0;
    socklen_t len = sizeof got;
    if (::getsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &got, &len) != 0)
        return 0;
    return got;
}

bool UdpSocket::allowBroadcast()
{
    const int yes = 1;
    return isOpen() && ::setsockopt(m_fd.get(), SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes) == 0;
}

bool UdpSocket::setMulticastInterface(Ipv4Address interfaceAddress, int ttl)
{
    const in_addr out = toInAddr(interfaceAddress);
    const auto hops = static_cast<unsigned char>(ttl);
    return isOpen() &&
           ::setsockopt(m_fd.get(), IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0 &&
           ::setsockopt(m_fd.get(), IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) == 0;
}

bool UdpSocket::connectTo(Ipv4Address address, std::uint16_t port)
{
    const sockaddr_in to = toSockaddr(address, port);
    return isOpen() &&
           ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool UdpSocket::sendTo(Ipv4Address address, std::uint16_t port, QByteArrayView data)
{
    if (!isOpen())
        return false;
    const sockaddr_in to = toSockaddr(address, port);
    ssize_t sent = -1;
    do {
        sent = ::sendto(m_fd.get(), data.data(), static_cast<size_t>(data.size()), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0)
        qCDebug(lcPlatform) << "sendto failed:" << std::strerror(errno);
    return sent == data.size();
}

bool UdpSocket::send(QByteArrayView data)
{
    return isOpen() &&
           ::send(m_fd.get(), data.data(), static_cast<size_t>(data.size()), 0) == data.size();
}

bool UdpSocket::countDrops()
{
    const int on = 1;
    return ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0;
}

UdpSocket::Received UdpSocket::receive(std::span<char> buffer)
{
    Received r;
    sockaddr_in from{};
    iovec data{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(std::uint32_t))];
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &data;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(m_fd.get(), &msg, MSG_DONTWAIT);
    if (n >= 0) {
        r.kind = Received::Kind::Datagram;
        r.data = QByteArrayView(buffer.data(), n);
        r.from = fromInAddr(from.sin_addr);
        r.fromPort = ntohs(from.sin_port);
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
                std::uint32_t count = 0;
                std::memcpy(&count, CMSG_DATA(c), sizeof count);
                r.dropped = count;
            }
        }
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        r.kind = Received::Kind::NothingYet;
    } else {
        r.kind = errno == ECONNREFUSED ? Received::Kind::Refused : Received::Kind::Failed;
    }
    return r;
}

std::vector<std::size_t> UdpSocket::waitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::milliseconds timeout)
{
    std::vector<pollfd> fds;
    fds.reserve(sockets.size());
    for (const UdpSocket* s : sockets)
        fds.push_back(pollfd{s->m_fd.get(), POLLIN, 0});
    std::vector<std::size_t> ready;
    const int rc = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    for (std::size_t i = 0; rc > 0 && i < fds.size(); ++i) {
        if (fds[i].revents)
            ready.push_back(i);
    }
    return ready;
}

bool UdpSocket::waitForDatagram()
{
    std::array<pollfd, 2> fds{pollfd{m_fd.get(), POLLIN, 0}, pollfd{m_wake.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcPlatform) << "reader stops, poll failed:" << std::strerror(errno);
            return false;
        }
        return fds[1].revents == 0;
    }
}

void UdpSocket::wake()
{
    const std::uint64_t one = 1;
    if (::write(m_wake.get(), &one, sizeof one) != static_cast<ssize_t>(sizeof one))
        qCWarning(lcPlatform) << "cannot signal the reader to stop:" << std::strerror(errno);
}

} // namespace zeph::platform
