#pragma once
// Asking the LAN itself for names and addresses, for when the resolver knows
// none: NetBIOS (UDP 137) and multicast DNS (UDP 5353). Every call opens its
// own socket on an ephemeral port and waits a bounded time, so calls from
// several threads at once are safe. Addresses are IPv4 in host byte order.

#include "core/ipv4.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <cstdint>
#include <optional>

namespace zeph::platform::lan {

// Addresses in host byte order, as the wire codecs read them.
constexpr std::uint32_t toHostOrder(const ipv4::Address& a)
{
    return a.toHostOrder();
}
inline QByteArray dottedText(std::uint32_t address)
{
    return QByteArray::fromStdString(ipv4::Address(address).toString());
}

// How long one question waits for its answer. A host that has no server on
// the port usually says so at once (ICMP port unreachable), which ends the
// wait early.
inline constexpr std::chrono::milliseconds kAnswerWait{250};

// The scan interface: the address whose /24 the scan covers and the
// broadcast address of its subnet (0 when the interface has none). Found at
// the first call and kept for the run.
struct Interface {
    std::uint32_t address = 0;
    std::uint32_t broadcast = 0;
};
std::optional<Interface> scanInterface();

// The names the computer at address gives itself, asked both ways at once
// from ephemeral ports, so that one wait covers both: its NetBIOS workstation
// name (node-status request to its UDP 137) and its multicast DNS host name (a
// reverse PTR question, which a responder answers by unicast, RFC 6762 6.7,
// sent straight to its UDP 5353, 5.5, and to the group out of the scan
// interface). Only the host's own answers with our ids count. A NetBIOS name
// ends the wait at once; so does a port unreachable from both ports.
struct HostNames {
    QByteArray netbios; // as it arrived (GBK), padding trimmed; empty if none
    QByteArray mdns;    // dotted, as the responder gives it (normally NAME.local)
};
HostNames hostNames(std::uint32_t address, std::chrono::milliseconds wait = kAnswerWait);

// The address of name on the scan interface's subnet: a NetBIOS name query
// broadcast to its broadcast address (only for a valid NetBIOS name) and a
// multicast DNS question for mdnsName (a one-shot query from an ephemeral
// port, answered by unicast) go out together; the first positive answer
// wins. Either question is left out when its name is empty or unusable.
std::optional<std::uint32_t> resolveOnLan(const Interface& on, QByteArrayView netbiosName,
                                          QByteArrayView mdnsName,
                                          std::chrono::milliseconds wait = kAnswerWait);

} // namespace zeph::platform::lan
