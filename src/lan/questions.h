#pragma once
// Asking the LAN itself for names and addresses, for when the resolver knows
// none: NetBIOS (UDP 137), LLMNR (UDP 5355) and multicast DNS (UDP 5353). Every call opens its
// own sockets on ephemeral ports and waits a bounded time, so calls from
// several threads at once are safe. Names are GBK, as everywhere inside.

#include "core/ipv4.h"
#include "platform/net/localaddress.h"

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <cstdint>
#include <optional>

namespace zeph::lan {

// How long one question waits for its answer. A host that has no server on
// the port usually says so at once (ICMP port unreachable), which ends the
// wait early.
inline constexpr std::chrono::milliseconds kAnswerWait{250};

// An interface the scan covers and the questions leave from (the
// application finds them once: platform::scanInterfaces).
using ScanInterface = platform::InterfaceAddress;

// The names the computer at address gives itself, asked every way at once
// from ephemeral ports, so that one wait covers them all: its NetBIOS
// workstation name (node-status request to its UDP 137), its LLMNR name (a
// reverse PTR question to its UDP 5355) and its multicast DNS host name (a
// reverse PTR question, which a responder answers by unicast, RFC 6762 6.7,
// sent straight to its UDP 5353, 5.5, and to the group out of the scan
// interface when there is one). Only the host's own answers with our ids
// count. A NetBIOS name ends the wait at once; so does a port unreachable
// from both ports.
struct HostNames {
    QByteArray netbios; // as it arrived (GBK), padding trimmed; empty if none
    QByteArray llmnr;   // as the host's LLMNR responder gives it (UTF-8)
    QByteArray mdns;    // dotted, as the responder gives it (normally NAME.local)
};
HostNames hostNames(Ipv4Address address, const std::optional<ScanInterface>& on,
                    std::chrono::milliseconds wait = kAnswerWait);

// The address of name on the scan interface's subnet: a NetBIOS name query
// broadcast to its broadcast address (only for a valid NetBIOS name), an
// LLMNR question for a one-label name to 224.0.0.252 and a multicast DNS
// question for NAME.local (a one-shot query from an ephemeral port, answered
// by unicast) go out together; the first trusted positive answer wins. A
// question whose name cannot be written is left out.
std::optional<Ipv4Address> resolveOnLan(const ScanInterface& on, QByteArrayView name,
                                        std::chrono::milliseconds wait = kAnswerWait);

// Whether an answer to a question on the LAN may be used: it came from a host
// of the scan interface's subnet and from the protocol's own port (NetBIOS
// 137, multicast DNS 5353), and the address it gives is a unicast host of that
// subnet too. Anything else (a forged loopback, broadcast or far-away address,
// an answer from some program's own port) counts as no answer.
bool isTrustedAnswer(const ScanInterface& on, Ipv4Address from, std::uint16_t fromPort,
                     std::uint16_t port, Ipv4Address given);

// Multicast DNS names are UTF-8, ours GBK: the question for a plain name is
// NAME.local.
QByteArray mdnsQuestionName(QByteArrayView gbkName);
// An LLMNR host name (one label, UTF-8) as GBK; empty for one that does not
// fit GBK.
QByteArray fromLlmnrName(QByteArrayView utf8);
// NAME.local as GBK NAME; empty for a name outside .local (which NAME.local
// would not find again) or one that does not fit GBK (the list could not show
// it, nor could a message name it).
QByteArray fromMdnsName(QByteArrayView utf8);

} // namespace zeph::lan
