#pragma once
// Which answers to a question on the LAN may be used.

#include "core/ipv4.h"
#include "lan/scaninterface.h"

#include <cstdint>

namespace zeph::lan {

// Whether an answer to a question on the LAN may be used: it came from a host
// of the scan interface's subnet and from the protocol's own port (NetBIOS
// 137, multicast DNS 5353), and the address it gives is a unicast host of that
// subnet too. Anything else (a forged loopback, broadcast or far-away address,
// an answer from some program's own port) counts as no answer.
bool isTrustedAnswer(const ScanInterface& on, Ipv4Address from, std::uint16_t fromPort,
                     std::uint16_t port, Ipv4Address given);

} // namespace zeph::lan
