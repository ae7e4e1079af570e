#include "core/logging.h"
#include "lan/dns.h"
#include "lan/llmnr.h"
#include "lan/multiplexer.h"
#include "lan/netbios.h"
#include "lan/questions.h"

#include <array>

namespace zeph::lan {

HostNames hostNames(Ipv4Address address, std::chrono::milliseconds wait)
{
    // Three questions at once, so that one wait covers them all, each straight
    // to the host on a connected socket of its own: the NetBIOS node status,
    // the LLMNR reverse question (RFC 4795, 2.4) and the multicast DNS reverse
    // question, a one-shot query by unicast to its port 5353 from an
    // ephemeral port (RFC 6762, 5.5), answered by unicast. Never to the
    // group: there every host of the LAN would see its id and our port, and
    // could answer it with the host's address as the source. Only the host's
    // own answers, to our question, count. A name ends the questions it
    // outranks: NetBIOS, then LLMNR, then multicast DNS.
    HostNames names;
    const std::optional<std::uint16_t> nbId = newTransactionId();
    const std::optional<std::uint16_t> llId = newTransactionId();
    const std::optional<std::uint16_t> mdId = newTransactionId();
    if (!nbId || !llId || !mdId)
        return names; // ids anyone could guess would let anyone answer
    Question nb;
    Question ll;
    Question md;

    nb.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t) {
        if (from != address)
            return;
        names.netbios = netbios::nodeStatusName(answer, *nbId);
        // The preferred name: nothing more to wait for.
        if (!names.netbios.isEmpty())
            nb.done = ll.done = md.done = true;
    };
    askHost(nb, address, netbios::kPort, netbios::nodeStatusRequest(*nbId));

    const QByteArray reverse = dns::reverseName(address);
    ll.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        if (from != address || fromPort != llmnr::kPort || !names.llmnr.isEmpty())
            return;
        names.llmnr = llmnr::ptrTarget(answer, *llId, reverse);
        if (!names.llmnr.isEmpty())
            ll.done = md.done = true;
    };
    askHost(ll, address, llmnr::kPort, llmnr::query(*llId, reverse, dns::kTypePtr));

    md.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        if (from != address || fromPort != dns::kMdnsPort || !names.mdns.isEmpty())
            return;
        names.mdns = dns::ptrTarget(answer, *mdId, reverse);
        if (!names.mdns.isEmpty())
            md.done = true;
    };
    askHost(md, address, dns::kMdnsPort, dns::query(*mdId, reverse, dns::kTypePtr, true));

    waitForAnswers(std::array<Question*, 3>{&nb, &ll, &md}, wait);
    qCDebug(lcLan) << "names of" << address.toString().c_str() << ": NetBIOS" << names.netbios
                   << ", LLMNR" << names.llmnr << ", multicast DNS" << names.mdns;
    return names;
}

} // namespace zeph::lan
