#pragma once
// Link-Local Multicast Name Resolution (RFC 4795), which Windows answers also
// where NetBIOS over TCP/IP is off. The packets are DNS packets with their own
// rules: no recursion bit, the "unicast response" bit never set (LLMNR
// answers by unicast anyway), a response that carries anything but the one
// question, or was truncated, is discarded (2.1.1).

#include "core/ipv4.h"
#include "lan/dns.h"
#include "lan/packet.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace zeph::lan::llmnr {

inline constexpr std::uint16_t kPort = 5355;
inline constexpr Ipv4Address kGroup{224, 0, 0, 252};
// Queries to the group go out with TTL 1 (2.5): they never pass a router.
inline constexpr int kMulticastTtl = 1;

inline QByteArray query(std::uint16_t id, QByteArrayView name, std::uint16_t type)
{
    return dns::query(id, name, type, false);
}

// True for a response that may be read at all: the header's single question,
// not truncated. The id, the response bit and the code are checked by the
// dns readers below.
inline bool isUsableResponse(QByteArrayView p)
{
    constexpr std::uint16_t kTruncated = 0x0200;
    PacketReader r(p);
    const Header h = r.header();
    return r.ok() && !(h.flags & kTruncated) && h.questions == 1;
}

// The host's own name from the answer to a reverse PTR question (unicast to
// the host's UDP 5355, 2.4), dotted; empty if there is none.
inline QByteArray ptrTarget(QByteArrayView response, std::uint16_t id, QByteArrayView reverseName)
{
    return isUsableResponse(response) ? dns::ptrTarget(response, id, reverseName) : QByteArray();
}

// The address from the answer to an A question sent to the group.
inline std::optional<Ipv4Address> aRecord(QByteArrayView response, std::uint16_t id,
                                          QByteArrayView name)
{
    return isUsableResponse(response) ? dns::aRecord(response, id, name) : std::nullopt;
}

} // namespace zeph::lan::llmnr
