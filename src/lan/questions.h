#pragma once
// The two queries that ask the LAN itself, for when the resolver knows
// nothing: the names a host gives itself, and the address of a name. Each asks
// NetBIOS (UDP 137), LLMNR (UDP 5355) and multicast DNS (UDP 5353) at once
// through lan/multiplexer.h. Every call opens its own sockets on ephemeral
// ports and waits a bounded time, so calls from several threads at once are
// safe. Names are GBK, as everywhere inside.

#include "core/ipv4.h"
#include "lan/scaninterface.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <optional>

namespace zeph::lan {

// How long one question waits for its answer. A host that has no server on
// the port usually says so at once (ICMP port unreachable), which ends the
// wait early.
inline constexpr std::chrono::milliseconds kAnswerWait{250};

// The names the computer at address gives itself, asked every way at once
// from ephemeral ports, so that one wait covers them all: its NetBIOS
// workstation name (node-status request to its UDP 137), its LLMNR name (a
// reverse PTR question to its UDP 5355) and its multicast DNS host name (a
// reverse PTR question, a one-shot query by unicast straight to its UDP 5353,
// RFC 6762 5.5, which a responder answers by unicast, 6.7). Nothing goes to
// the multicast group, where every host of the LAN would see a question's id
// and port and could answer it with this host's address as the source. Only
// the host's own answers with our ids, on the sockets connected to it, count.
// A NetBIOS name ends the wait at once; so does a port unreachable from both
// ports.
struct HostNames {
    QByteArray netbios; // as it arrived (GBK), padding trimmed; empty if none
    QByteArray llmnr;   // as the host's LLMNR responder gives it (UTF-8)
    QByteArray mdns;    // dotted, as the responder gives it (normally NAME.local)
};
HostNames hostNames(Ipv4Address address, std::chrono::milliseconds wait = kAnswerWait);

// The address of name on the scan interface's subnet: a NetBIOS name query
// broadcast to its broadcast address (only for a valid NetBIOS name), an
// LLMNR question for a one-label name to 224.0.0.252 and a multicast DNS
// question for NAME.local (a one-shot query from an ephemeral port, answered
// by unicast) go out together; the first trusted positive answer wins. A
// question whose name cannot be written is left out.
std::optional<Ipv4Address> resolveOnLan(const ScanInterface& on, QByteArrayView name,
                                        std::chrono::milliseconds wait = kAnswerWait);

} // namespace zeph::lan
