#include "core/logging.h"
#include "lan/dns.h"
#include "lan/llmnr.h"
#include "lan/multiplexer.h"
#include "lan/netbios.h"
#include "lan/questions.h"

#include <array>

namespace zeph::lan {

HostNames hostNames(Ipv4Address address, const std::optional<ScanInterface>& on,
                    std::chrono::milliseconds wait)
{
    // Four questions at once, so that one wait covers them all: the NetBIOS
    // node status, the LLMNR reverse question straight to the host (RFC 4795,
    // 2.4), and the multicast DNS reverse question both straight to the host
    // and to the group (for a responder that answers only what reaches it by
    // multicast). Only the host's own answers count. A name ends the
    // questions it outranks: NetBIOS, then LLMNR, then multicast DNS.
    HostNames names;
    const std::optional<std::uint16_t> nbId = newTransactionId();
    const std::optional<std::uint16_t> llId = newTransactionId();
    const std::optional<std::uint16_t> mdId = newTransactionId();
    if (!nbId || !llId || !mdId)
        return names; // ids anyone could guess would let anyone answer
    Question nb;
    Question ll;
    Question direct;
    Question group;

    nb.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t) {
        if (from != address)
            return;
        names.netbios = netbios::nodeStatusName(answer, *nbId);
        // The preferred name: nothing more to wait for.
        if (!names.netbios.isEmpty())
            nb.done = ll.done = direct.done = group.done = true;
    };
    askHost(nb, address, netbios::kPort, netbios::nodeStatusRequest(*nbId));

    const QByteArray reverse = dns::reverseName(address);
    ll.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        if (from != address || fromPort != llmnr::kPort || !names.llmnr.isEmpty())
            return;
        names.llmnr = llmnr::ptrTarget(answer, *llId, reverse);
        if (!names.llmnr.isEmpty())
            ll.done = direct.done = group.done = true;
    };
    askHost(ll, address, llmnr::kPort, llmnr::query(*llId, reverse, dns::kTypePtr));

    const QByteArray request = dns::query(*mdId, reverse, dns::kTypePtr, true);
    const auto readMdns = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        // The group question is not connected: the port is ours to check.
        if (from != address || fromPort != dns::kMdnsPort || !names.mdns.isEmpty())
            return;
        names.mdns = dns::ptrTarget(answer, *mdId, reverse);
        if (!names.mdns.isEmpty())
            direct.done = group.done = true;
    };
    direct.read = readMdns;
    group.read = readMdns;
    askHost(direct, address, dns::kMdnsPort, request);
    if (!direct.done && on)
        askGroup(group, dns::kMdnsGroup, dns::kMdnsPort, request, on->address, dns::kMulticastTtl);

    waitForAnswers(std::array<Question*, 4>{&nb, &ll, &direct, &group}, wait);
    qCDebug(lcLan) << "names of" << address.toString().c_str() << ": NetBIOS" << names.netbios
                   << ", LLMNR" << names.llmnr << ", multicast DNS" << names.mdns;
    return names;
}

} // namespace zeph::lan
