#pragma once
// ARP requests for the scan (RFC 826), as arp-scan sends them on a local
// segment: a broadcast "who has" out of the interface whose subnet holds the
// target, the replies read from a packet socket (needs CAP_NET_RAW to open;
// the zeph-probe helper opens it and then drops the capability). Requests
// leave only with the interface's own addresses as sender and only for a
// target on that interface's subnet, so the socket cannot be used to spoof.
// Plain C++: the helper is built from this without Qt.

#include "core/ipv4.h"
#include "platform/uniquefd.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace zeph::arp {

// An interface that is up, not loopback, with an IPv4 subnet.
struct Link {
    int index = 0;
    Ipv4Address address;
    int prefixLength = 0;
    LinkAddress linkAddress{};
    bool arpCapable = false; // broadcast, and ARP not turned off
    bool isEthernet = false; // and linkAddress is its own: ARP works there

    bool holds(Ipv4Address target) const { return target.isNeighbourOf(address, prefixLength); }
};

// Every interface as it is now (one read of the system's list).
std::vector<Link> currentLinks();
// The Ethernet interface whose subnet holds target, if any, among links, or
// as the interfaces are now.
std::optional<Link> linkFor(Ipv4Address target, const std::vector<Link>& links);
std::optional<Link> linkFor(Ipv4Address target);
// The interface that holds the address own, Ethernet or not.
std::optional<Link> linkOwning(Ipv4Address own);

inline constexpr std::size_t kPacketSize = 28; // Ethernet/IPv4 ARP, without the frame

std::array<std::uint8_t, kPacketSize> request(const Link& link, Ipv4Address target);

struct Reply {
    Ipv4Address sender;
    LinkAddress linkAddress{};
};
// A reply for link's address and link-layer address; nullopt for anything
// else (requests, other hardware, broadcast or zero sender addresses).
std::optional<Reply> parseReply(const std::uint8_t* data, std::size_t size, const Link& link);

class Socket {
public:
    bool open();
    int fd() const { return m_fd.get(); }
    bool isOpen() const { return bool(m_fd); }

    // One request for target out of the interface that holds it, as the
    // interfaces are now, or as links found them (read at most a burst of
    // requests before). False when no interface holds it or it could not leave.
    bool send(Ipv4Address target);
    bool send(Ipv4Address target, const std::vector<Link>& links);

    // Replies queued now that answer a request of ours, on the interface it
    // left from: every card that answers, each once (a proxy may answer
    // beside the host itself).
    std::vector<Reply> readReplies();

private:
    struct Asked {
        Link link;                      // the request left here
        std::vector<LinkAddress> cards; // that answered so far
    };
    platform::UniqueFd m_fd;
    std::optional<Link> m_link;                             // of the last request
    std::unordered_map<std::uint32_t, Asked> m_outstanding; // by target
};

} // namespace zeph::arp
