#pragma once
// DNS packets as multicast DNS uses them (RFC 1035, RFC 6762): a one-question
// query and the reading of A and PTR answers. Pure functions over bytes, so
// they can be tested and fuzzed without a network.

#include "core/ipv4.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace zeph::lan::dns {

inline constexpr std::uint16_t kMdnsPort = 5353;
inline constexpr Ipv4Address kMdnsGroup{224, 0, 0, 251};
// RFC 6762, 11; a link-local group never passes a router anyway.
inline constexpr int kMulticastTtl = 255;
inline constexpr std::uint16_t kTypeA = 1;
inline constexpr std::uint16_t kTypePtr = 12;

// A query for name (dotted, no trailing dot) with the "unicast response" bit
// when asked. Empty when the name cannot be written: an empty label, a label
// over 63 bytes, more than 255 bytes in all.
QByteArray query(std::uint16_t id, QByteArrayView name, std::uint16_t type, bool unicastResponse);

// "d.c.b.a.in-addr.arpa" for the address a.b.c.d.
QByteArray reverseName(Ipv4Address address);

// From a response with this id: the target of the first PTR record owned by
// name, dotted without a trailing dot; empty if there is none. Every section
// is searched, as responders may put the record among the additional ones.
// Names holding a control byte or a dot inside a label count as absent.
QByteArray ptrTarget(QByteArrayView response, std::uint16_t id, QByteArrayView name);

// From a response with this id: the first A record owned by name.
std::optional<Ipv4Address> aRecord(QByteArrayView response, std::uint16_t id, QByteArrayView name);

// DNS comparison of names: ASCII letters match either case, other bytes exactly.
bool sameName(QByteArrayView a, QByteArrayView b);

} // namespace zeph::lan::dns
