#pragma once
// NetBIOS name service packets (RFC 1002): the node-status request that asks
// an address for its names, and the name query that asks the subnet for the
// address of a name. Pure functions over bytes, so they can be tested and
// fuzzed without a network. Names are GBK bytes, kept as they travel.

#include "core/ipv4.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace zeph::lan::netbios {

inline constexpr std::uint16_t kPort = 137;
inline constexpr qsizetype kMaxNameLength = 15;

// 1 to 15 bytes, no dot, no zero or other control byte, not a number.
bool isValidName(QByteArrayView name);

// The name as Windows sends it: ASCII letters upper-cased; the bytes of a GBK
// double-byte character are left as they are (a trail byte may look like a
// lower-case letter).
QByteArray upperCased(QByteArrayView name);

// Node-status request for the wildcard name "*" (padded with zero bytes).
QByteArray nodeStatusRequest(std::uint16_t transactionId);

// The first unique (not group) name with suffix 0x00 of a node-status
// response, its padding (blanks, or zero bytes) trimmed. Empty unless the packet is a positive
// response with this transaction id. Names in conflict or being released, and
// names holding a control byte, are passed over.
QByteArray nodeStatusName(QByteArrayView response, std::uint16_t transactionId);

// Broadcast name query for name<00>; the name is sent upper-cased. Empty for
// a name that isValidName() refuses.
QByteArray nameQueryRequest(std::uint16_t transactionId, QByteArrayView name);

// The first IPv4 address of a positive name-query response with this
// transaction id whose answer is for name<00> (compared without regard to the
// case of ASCII letters).
std::optional<Ipv4Address> nameQueryAddress(QByteArrayView response, std::uint16_t transactionId,
                                            QByteArrayView name);

} // namespace zeph::lan::netbios
