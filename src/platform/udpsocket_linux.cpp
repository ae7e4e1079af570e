#include "platform/udpsocket.h"

#include "platform/sockaddr.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace zeph::platform {

UdpSocket::UdpSocket() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}

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
    const sockaddr_in to = toSockaddr(address, port);
    return isOpen() && ::sendto(m_fd.get(), data.data(), static_cast<size_t>(data.size()), 0,
                                reinterpret_cast<const sockaddr*>(&to), sizeof to) == data.size();
}

bool UdpSocket::send(QByteArrayView data)
{
    return isOpen() &&
           ::send(m_fd.get(), data.data(), static_cast<size_t>(data.size()), 0) == data.size();
}

UdpSocket::Received UdpSocket::receive(std::span<char> buffer)
{
    Received r;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(m_fd.get(), buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &len);
    if (n >= 0) {
        r.kind = Received::Kind::Datagram;
        r.data = QByteArrayView(buffer.data(), n);
        r.from = fromInAddr(from.sin_addr);
        r.fromPort = ntohs(from.sin_port);
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

} // namespace zeph::platform
