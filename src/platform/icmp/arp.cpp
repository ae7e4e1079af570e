#include "platform/icmp/arp.h"

#include "platform/icmp/bigendian.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace zeph::arp {
namespace {

using icmp::get16;
using icmp::put16;

constexpr std::uint16_t kOpRequest = 1;
constexpr std::uint16_t kOpReply = 2;
// A flood of ARP on the segment must not hold the reader.
constexpr int kMaxReadsPerCall = 256;
// Far more than a sweep has waiting at once.
constexpr std::size_t kMaxOutstanding = 16384;
// The host and a proxy or two; a flood of forged cards stops here.
constexpr std::size_t kMaxCardsPerTarget = 4;

void putAddress(std::uint8_t* p, Ipv4Address a)
{
    for (std::size_t k = 0; k < 4; ++k)
        p[k] = a[k];
}

Ipv4Address getAddress(const std::uint8_t* p)
{
    return Ipv4Address(p[0], p[1], p[2], p[3]);
}

} // namespace

std::vector<Link> currentLinks()
{
    std::vector<Link> links;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return links;
    std::vector<std::string> names;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_netmask ||
            !(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        Link link;
        link.address =
            Ipv4Address(ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr));
        link.prefixLength = ipv4::prefixLengthOf(Ipv4Address(
            ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr)));
        link.index = int(::if_nametoindex(i->ifa_name));
        link.arpCapable = (i->ifa_flags & IFF_BROADCAST) && !(i->ifa_flags & IFF_NOARP);
        if (link.index <= 0)
            continue;
        links.push_back(link);
        names.emplace_back(i->ifa_name);
    }
    // The link-layer address of each: an Ethernet card's own.
    for (std::size_t k = 0; k < links.size(); ++k) {
        bool hasLinkAddress = false;
        for (ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET || names[k] != i->ifa_name)
                continue;
            const auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
            if (ll->sll_hatype == ARPHRD_ETHER && ll->sll_halen == links[k].linkAddress.size()) {
                std::memcpy(links[k].linkAddress.data(), ll->sll_addr, links[k].linkAddress.size());
                hasLinkAddress = true;
            }
        }
        links[k].isEthernet = links[k].arpCapable && hasLinkAddress;
    }
    ::freeifaddrs(list);
    return links;
}

std::optional<Link> linkFor(Ipv4Address target, const std::vector<Link>& links)
{
    const auto link = std::find_if(links.begin(), links.end(),
                                   [&](const Link& l) { return l.arpCapable && l.holds(target); });
    return link != links.end() && link->isEthernet ? std::optional(*link) : std::nullopt;
}

std::optional<Link> linkFor(Ipv4Address target)
{
    return linkFor(target, currentLinks());
}

std::optional<Link> linkOwning(Ipv4Address own)
{
    const std::vector<Link> links = currentLinks();
    const auto link =
        std::find_if(links.begin(), links.end(), [&](const Link& l) { return l.address == own; });
    return link != links.end() ? std::optional(*link) : std::nullopt;
}

std::array<std::uint8_t, kPacketSize> request(const Link& link, Ipv4Address target)
{
    std::array<std::uint8_t, kPacketSize> p{};
    put16(&p[0], ARPHRD_ETHER);
    put16(&p[2], ETHERTYPE_IP);
    p[4] = 6;
    p[5] = 4;
    put16(&p[6], kOpRequest);
    std::memcpy(&p[8], link.linkAddress.data(), 6);
    putAddress(&p[14], link.address);
    // Target hardware address: zero, as the kernel's own requests.
    putAddress(&p[24], target);
    return p;
}

std::optional<Reply> parseReply(const std::uint8_t* data, std::size_t size, const Link& link)
{
    if (size < kPacketSize || get16(data) != ARPHRD_ETHER || get16(data + 2) != ETHERTYPE_IP ||
        data[4] != 6 || data[5] != 4 || get16(data + 6) != kOpReply)
        return std::nullopt;
    Reply reply;
    std::memcpy(reply.linkAddress.data(), data + 8, 6);
    reply.sender = getAddress(data + 14);
    const bool multicastOrZero =
        (reply.linkAddress[0] & 1) != 0 || reply.linkAddress == LinkAddress{};
    if (multicastOrZero || !link.holds(reply.sender) || getAddress(data + 24) != link.address ||
        std::memcmp(data + 18, link.linkAddress.data(), 6) != 0)
        return std::nullopt;
    return reply;
}

bool Socket::open()
{
    m_fd.reset(::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ARP)));
    if (!m_fd)
        return false;
    const int buffer = 256 * 1024;
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    return true;
}

bool Socket::send(Ipv4Address target)
{
    // Read again before every request: an interface whose address changed
    // (DHCP, roaming) must not send requests claiming the old one.
    return send(target, currentLinks());
}

bool Socket::send(Ipv4Address target, const std::vector<Link>& links)
{
    if (!m_fd)
        return false;
    m_link = linkFor(target, links);
    if (!m_link || m_outstanding.size() >= kMaxOutstanding)
        return false;
    const auto packet = request(*m_link, target);
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = m_link->index;
    to.sll_halen = 6;
    std::memset(to.sll_addr, 0xFF, 6);
    if (::sendto(m_fd.get(), packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) != ssize_t(packet.size()))
        return false;
    m_outstanding[target.toHostOrder()] = {*m_link, {}};
    return true;
}

std::vector<Reply> Socket::readReplies()
{
    std::vector<Reply> replies;
    if (!m_fd)
        return replies;
    std::uint8_t buf[256];
    for (int reads = 0; reads < kMaxReadsPerCall; ++reads) {
        sockaddr_ll from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_fd.get(), buf, sizeof buf, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        if (from.sll_pkttype == PACKET_OUTGOING || std::size_t(n) < kPacketSize)
            continue;
        const auto it = m_outstanding.find(getAddress(buf + 14).toHostOrder());
        if (it == m_outstanding.end() || it->second.link.index != from.sll_ifindex)
            continue;
        const std::optional<Reply> reply = parseReply(buf, std::size_t(n), it->second.link);
        std::vector<LinkAddress>& cards = it->second.cards;
        if (!reply || std::find(cards.begin(), cards.end(), reply->linkAddress) != cards.end() ||
            cards.size() >= kMaxCardsPerTarget)
            continue;
        cards.push_back(reply->linkAddress);
        replies.push_back(*reply);
    }
    return replies;
}

} // namespace zeph::arp
