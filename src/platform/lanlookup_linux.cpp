#include "platform/lanlookup.h"

#include "core/logging.h"
#include "platform/dnswire.h"
#include "platform/localaddress.h"
#include "platform/names.h"
#include "platform/netbios.h"

#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace zeph::platform::lan {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint32_t kMdnsGroup = 0xE00000FB; // 224.0.0.251
// Large enough for any multicast DNS packet on an ordinary LAN (RFC 6762, 17).
constexpr std::size_t kMaxPacket = 9000;

class Socket {
public:
    Socket() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

sockaddr_in endpoint(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(address);
    sin.sin_port = htons(port);
    return sin;
}

std::uint16_t newTransactionId()
{
    return static_cast<std::uint16_t>(QRandomGenerator::global()->generate());
}

// A question in flight on its own socket.
struct Question {
    Socket socket;
    QByteArray request;
    sockaddr_in to{};
    bool connected = false; // then the kernel passes only the peer's datagrams
    int port = 0;           // questions to one port of one host end together when refused
    bool done = false;      // answered, refused, given up or never sent
};

bool send(Question& q)
{
    if (!q.socket.ok() || q.request.isEmpty())
        return false;
    const auto* to = reinterpret_cast<const sockaddr*>(&q.to);
    if (q.connected && ::connect(q.socket.fd(), to, sizeof q.to) != 0)
        return false;
    const ssize_t n =
        q.connected
            ? ::send(q.socket.fd(), q.request.constData(), q.request.size(), 0)
            : ::sendto(q.socket.fd(), q.request.constData(), q.request.size(), 0, to, sizeof q.to);
    if (n != q.request.size()) {
        qCDebug(lcPlatform) << "LAN question to" << dottedText(ntohl(q.to.sin_addr.s_addr))
                            << "port" << ntohs(q.to.sin_port) << "not sent, errno" << errno;
        return false;
    }
    return true;
}

// Waits until every question is done or the wait ends. read(index, datagram,
// source address) takes each datagram and marks the questions it settles
// done. A connected question asks one port of one host: its refusal (ICMP
// port unreachable) says that nothing listens there and ends every question
// to that port.
template <std::size_t N, typename Read>
void waitForAnswers(std::array<Question*, N> questions, milliseconds wait, Read&& read)
{
    const Clock::time_point deadline = Clock::now() + wait;
    std::array<char, kMaxPacket> buf{};
    for (;;) {
        std::array<pollfd, N> fds{};
        nfds_t count = 0;
        std::array<std::size_t, N> index{};
        for (std::size_t i = 0; i < N; ++i) {
            if (questions[i]->done)
                continue;
            fds[count] = pollfd{questions[i]->socket.fd(), POLLIN, 0};
            index[count++] = i;
        }
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
        if (count == 0 || left <= 0)
            return;
        const int rc = ::poll(fds.data(), count, static_cast<int>(left));
        if (rc < 0 && errno != EINTR)
            return;
        for (nfds_t k = 0; rc > 0 && k < count; ++k) {
            Question& q = *questions[index[k]];
            while (fds[k].revents && !q.done) {
                sockaddr_in from{};
                socklen_t len = sizeof from;
                const ssize_t n = ::recvfrom(q.socket.fd(), buf.data(), buf.size(), 0,
                                             reinterpret_cast<sockaddr*>(&from), &len);
                if (n >= 0) {
                    read(index[k], QByteArrayView(buf.data(), n), ntohl(from.sin_addr.s_addr));
                    continue;
                }
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    break;
                q.done = true;
                if (q.connected && errno == ECONNREFUSED) {
                    for (Question* other : questions)
                        other->done = other->done || other->port == q.port;
                }
            }
        }
    }
}

// Multicast out of the scan interface only, with the TTL of RFC 6762; a
// link-local group never passes a router anyway.
bool multicastFrom(Question& q, std::uint32_t interfaceAddress)
{
    const in_addr out{htonl(interfaceAddress)};
    const unsigned char ttl = 255;
    return q.socket.ok() &&
           ::setsockopt(q.socket.fd(), IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0 &&
           ::setsockopt(q.socket.fd(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0;
}

std::optional<Interface> findScanInterface()
{
    const QByteArray local = localIPv4Address(systemResolveName(ownHostName()));
    const std::optional<ipv4::Address> address = ipv4::parse(local);
    if (!address)
        return std::nullopt;
    Interface on;
    on.address = toHostOrder(*address);
    const std::optional<ipv4::Address> broadcast = ipv4::parse(subnetBroadcastAddress(local));
    on.broadcast = broadcast ? toHostOrder(*broadcast) : 0;
    return on;
}

} // namespace

std::optional<Interface> scanInterface()
{
    // Found once, as the scan's address prefix is: the scan and the questions
    // stay on one subnet for the whole run, and a lookup does not pay for
    // resolving the own name again.
    static const std::optional<Interface> once = findScanInterface();
    return once;
}

HostNames hostNames(std::uint32_t address, milliseconds wait)
{
    // Three questions at once, so that one wait covers them all: the NetBIOS
    // node status, and the multicast DNS reverse question both straight to
    // the host and to the group (for a responder that answers only what
    // reaches it by multicast). Only the host's own answers count.
    Question nb;
    const std::uint16_t nbId = newTransactionId();
    nb.request = netbios::nodeStatusRequest(nbId);
    nb.to = endpoint(address, netbios::kPort);
    nb.connected = true;
    nb.port = netbios::kPort;
    nb.done = !send(nb);

    Question direct;
    const std::uint16_t mdId = newTransactionId();
    const QByteArray reverse = dns::reverseName(address);
    direct.request = dns::query(mdId, reverse, dns::kTypePtr, true);
    direct.to = endpoint(address, dns::kMdnsPort);
    direct.connected = true;
    direct.port = dns::kMdnsPort;
    direct.done = !send(direct);
    Question group;
    group.request = direct.request;
    group.to = endpoint(kMdnsGroup, dns::kMdnsPort);
    group.port = dns::kMdnsPort;
    const std::optional<Interface> on = scanInterface();
    group.done = direct.done || !on || !multicastFrom(group, on->address) || !send(group);

    HostNames names;
    waitForAnswers(std::array<Question*, 3>{&nb, &direct, &group}, wait,
                   [&](std::size_t which, QByteArrayView answer, std::uint32_t from) {
                       if (from != address)
                           return;
                       if (which == 0) {
                           names.netbios = netbios::nodeStatusName(answer, nbId);
                           // The preferred name: nothing more to wait for.
                           if (!names.netbios.isEmpty())
                               nb.done = direct.done = group.done = true;
                       } else if (names.mdns.isEmpty()) {
                           names.mdns = dns::ptrTarget(answer, mdId, reverse);
                           direct.done = group.done = !names.mdns.isEmpty();
                       }
                   });
    qCDebug(lcPlatform) << "names of" << dottedText(address) << ": NetBIOS" << names.netbios
                        << ", multicast DNS" << names.mdns;
    return names;
}

std::optional<std::uint32_t> resolveOnLan(const Interface& on, QByteArrayView netbiosName,
                                          QByteArrayView mdnsName, milliseconds wait)
{
    Question nb;
    const std::uint16_t nbId = newTransactionId();
    if (on.broadcast != 0 && netbios::isValidName(netbiosName)) {
        nb.request = netbios::nameQueryRequest(nbId, netbiosName);
        nb.to = endpoint(on.broadcast, netbios::kPort);
        const int yes = 1;
        if (!nb.socket.ok() ||
            ::setsockopt(nb.socket.fd(), SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes) != 0 ||
            !send(nb))
            nb.done = true;
    } else {
        nb.done = true;
    }

    Question md;
    const std::uint16_t mdId = newTransactionId();
    md.request = mdnsName.isEmpty() ? QByteArray() : dns::query(mdId, mdnsName, dns::kTypeA, true);
    md.to = endpoint(kMdnsGroup, dns::kMdnsPort);
    if (!multicastFrom(md, on.address) || !send(md))
        md.done = true;

    std::optional<std::uint32_t> found;
    waitForAnswers(std::array<Question*, 2>{&nb, &md}, wait,
                   [&](std::size_t which, QByteArrayView answer, std::uint32_t) {
                       found = which == 0 ? netbios::nameQueryAddress(answer, nbId, netbiosName)
                                          : dns::aRecord(answer, mdId, mdnsName);
                       nb.done = nb.done || found.has_value();
                       md.done = md.done || found.has_value();
                   });
    qCDebug(lcPlatform) << "LAN address of" << netbiosName << mdnsName << "(subnet broadcast"
                        << dottedText(on.broadcast) << "):" << (found ? dottedText(*found) : "");
    return found;
}

} // namespace zeph::platform::lan
