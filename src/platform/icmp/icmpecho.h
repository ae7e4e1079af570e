#pragma once
// ICMP echo requests without data, sent ahead without waiting, on an ICMP
// datagram socket (where net.ipv4.ping_group_range lets this user have one) or
// on a raw socket (needs CAP_NET_RAW). Plain C++ on purpose: the small
// privileged helper zeph-probe links this library and nothing with Qt in it.

#include "core/ipv4.h"
#include "core/securerandom.h"
#include "platform/uniquefd.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zeph::icmp {

enum class SocketKind { None, Datagram, Raw };

class EchoSocket {
public:
    EchoSocket();
    EchoSocket(const EchoSocket&) = delete;
    EchoSocket& operator=(const EchoSocket&) = delete;

    // Datagram first, then raw if allowRaw. False when neither can be had.
    // The socket does not block; poll fd() for replies.
    bool open(bool allowRaw = true);
    void close();
    SocketKind kind() const { return m_kind; }
    int fd() const { return m_fd.get(); }

    // Sends one echo request to dest with a sequence number of its own. False
    // when it could not leave (refused destination, unreachable network,
    // permission): that address gets no reply.
    bool send(Ipv4Address dest);

    // Reads the packets queued on the socket, at most kMaxReadsPerCall, and
    // returns the sources of the echo replies that answer an outstanding
    // request: same identifier (raw; the kernel sees to it on a datagram
    // socket), same sequence number, from the address the request went to. A
    // request is answered once; duplicates, unreachable messages and other
    // ICMP traffic are dropped. The rest waits for the next call, so that a
    // flood cannot hold the caller.
    std::vector<Ipv4Address> readReplies();

    // More than the replies a sweep can have outstanding at once (a 50 ms
    // window at one request per 250 us is 200).
    static constexpr std::size_t kMaxReadsPerCall = 256;

private:
    platform::UniqueFd m_fd;
    SocketKind m_kind = SocketKind::None;
    securerandom::Words m_random;
    std::uint16_t m_ident = 0;
    // Destination of each outstanding sequence number (network order), 0 = none.
    std::vector<std::uint32_t> m_outstanding;
};

// Destinations the probe refuses outright: 0.0.0.0/8, multicast, limited broadcast.
constexpr bool isProbeable(Ipv4Address dest)
{
    return !dest.isThisNetwork() && !dest.isMulticast() && !dest.isLimitedBroadcast();
}

} // namespace zeph::icmp
