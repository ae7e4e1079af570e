#include "platform/icmp/icmpecho.h"

#include "platform/icmp/bigendian.h"
#include "platform/sockaddr.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

// From <linux/icmp.h>, which does not mix with <netinet/ip_icmp.h>.
#ifndef ICMP_FILTER
#define ICMP_FILTER 1
#endif

namespace zeph::icmp {
namespace {

std::uint16_t checksum(const unsigned char* data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += std::uint32_t(data[i]) << 8 | data[i + 1];
    if (size & 1)
        sum += std::uint32_t(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return std::uint16_t(~sum);
}

} // namespace

EchoSocket::EchoSocket() : m_outstanding(std::size_t(1) << 16, 0) {}

void EchoSocket::close()
{
    m_fd.reset();
    m_kind = SocketKind::None;
    std::fill(m_outstanding.begin(), m_outstanding.end(), 0);
}

bool EchoSocket::open(bool allowRaw)
{
    close();
    m_fd.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (m_fd) {
        m_kind = SocketKind::Datagram;
    } else if (allowRaw) {
        m_fd.reset(::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
        if (!m_fd)
            return false;
        m_kind = SocketKind::Raw;
        // A raw socket sees every ICMP packet of the host: let only echo replies through.
        std::uint32_t filter = ~(std::uint32_t(1) << ICMP_ECHOREPLY);
        ::setsockopt(m_fd.get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    } else {
        return false;
    }
    // A /24 answering at once is 255 replies queued before the first read.
    const int buffer = 256 * 1024;
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    // The identifier only matters on a raw socket; the kernel picks its own
    // for a datagram socket. Random, as every sequence number is: a LAN host
    // that sees one of our requests learns nothing about the others, so it
    // cannot forge replies for addresses that are silent.
    const std::optional<std::uint16_t> ident = m_random.next();
    if (!ident) {
        close();
        return false;
    }
    m_ident = *ident;
    return true;
}

bool EchoSocket::send(Ipv4Address dest)
{
    if (!m_fd || !isProbeable(dest))
        return false;
    // A number no request waits on, if a few tries find one: with a sweep's
    // requests outstanding, most numbers are free.
    std::optional<std::uint16_t> sequence;
    for (int tries = 0; tries < 4; ++tries) {
        sequence = m_random.next();
        if (!sequence || m_outstanding[*sequence] == 0)
            break;
    }
    if (!sequence)
        return false;
    unsigned char req[8] = {ICMP_ECHO, 0, 0, 0};
    req[4] = std::uint8_t(m_ident >> 8);
    req[5] = std::uint8_t(m_ident);
    req[6] = std::uint8_t(*sequence >> 8);
    req[7] = std::uint8_t(*sequence);
    const std::uint16_t sum = checksum(req, sizeof req);
    req[2] = std::uint8_t(sum >> 8);
    req[3] = std::uint8_t(sum);

    const sockaddr_in to = platform::toSockaddr(dest, 0);
    // Forget whatever went out under this number before.
    m_outstanding[*sequence] = 0;
    if (::sendto(m_fd.get(), req, sizeof req, 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) < 0)
        return false;
    m_outstanding[*sequence] = to.sin_addr.s_addr;
    return true;
}

std::vector<Ipv4Address> EchoSocket::readReplies()
{
    std::vector<Ipv4Address> replies;
    if (!m_fd)
        return replies;
    unsigned char buf[1500];
    for (std::size_t reads = 0; reads < kMaxReadsPerCall; ++reads) {
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t got = ::recvfrom(m_fd.get(), buf, sizeof buf, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (got < 0) {
            // EAGAIN: all read. Another error (a queued ICMP error for an
            // earlier packet) is consumed by the read: read on.
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return replies;
            if (errno == EINTR || errno == ECONNREFUSED || errno == EHOSTUNREACH ||
                errno == ENETUNREACH || errno == EPROTO || errno == ETIMEDOUT)
                continue;
            return replies;
        }
        const unsigned char* icmp = buf;
        ssize_t size = got;
        if (m_kind == SocketKind::Raw) {
            if (size < 20)
                continue;
            const ssize_t headerLength = ssize_t{buf[0] & 0x0F} * 4;
            icmp += headerLength;
            size -= headerLength;
        }
        if (size < 8 || icmp[0] != ICMP_ECHOREPLY)
            continue;
        if (m_kind == SocketKind::Raw && get16(icmp + 4) != m_ident)
            continue;
        std::uint32_t& sentTo = m_outstanding[get16(icmp + 6)];
        if (sentTo == 0 || sentTo != from.sin_addr.s_addr)
            continue;
        sentTo = 0; // answered: a duplicate changes nothing
        replies.push_back(platform::fromInAddr(from.sin_addr));
    }
    return replies;
}

} // namespace zeph::icmp
