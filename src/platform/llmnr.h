#pragma once
// Link-Local Multicast Name Resolution (RFC 4795), which Windows answers also
// where NetBIOS over TCP/IP is off. The packets are DNS packets with their own
// rules: no recursion bit, the "unicast response" bit never set (LLMNR
// answers by unicast anyway), a response that carries anything but the one
// question, or was truncated, is discarded (2.1.1).

#include "platform/dnswire.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace zeph::platform::llmnr {

inline constexpr std::uint16_t kPort = 5355;
inline constexpr std::uint32_t kGroup = 0xE00000FC; // 224.0.0.252
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
    constexpr unsigned kTruncated = 0x0200;
    if (p.size() < 12)
        return false;
    const auto at = [&](qsizetype i) { return unsigned(static_cast<unsigned char>(p[i])); };
    return (at(2) << 8 | at(3)) & kTruncated ? false : (at(4) << 8 | at(5)) == 1;
}

// The host's own name from the answer to a reverse PTR question (unicast to
// the host's UDP 5355, 2.4), dotted; empty if there is none.
inline QByteArray ptrTarget(QByteArrayView response, std::uint16_t id, QByteArrayView reverseName)
{
    return isUsableResponse(response) ? dns::ptrTarget(response, id, reverseName) : QByteArray();
}

// The address from the answer to an A question sent to the group.
inline std::optional<std::uint32_t> aRecord(QByteArrayView response, std::uint16_t id,
                                            QByteArrayView name)
{
    return isUsableResponse(response) ? dns::aRecord(response, id, name) : std::nullopt;
}

} // namespace zeph::platform::llmnr
