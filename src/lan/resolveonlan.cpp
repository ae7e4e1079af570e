#include "core/gbk.h"
#include "core/logging.h"
#include "lan/dns.h"
#include "lan/lannames.h"
#include "lan/llmnr.h"
#include "lan/multiplexer.h"
#include "lan/netbios.h"
#include "lan/questions.h"
#include "lan/trust.h"

#include <array>

namespace zeph::lan {

std::optional<Ipv4Address> resolveOnLan(const ScanInterface& on, QByteArrayView name,
                                        std::chrono::milliseconds wait)
{
    const std::optional<std::uint16_t> nbId = newTransactionId();
    const std::optional<std::uint16_t> llId = newTransactionId();
    const std::optional<std::uint16_t> mdId = newTransactionId();
    if (!nbId || !llId || !mdId)
        return std::nullopt; // ids anyone could guess would let anyone answer
    std::optional<Ipv4Address> found;
    Question nb;
    Question ll;
    Question md;

    const auto use = [&](std::optional<Ipv4Address> given, Ipv4Address from, std::uint16_t fromPort,
                         std::uint16_t port) {
        if (given && isTrustedAnswer(on, from, fromPort, port, *given)) {
            found = given;
            nb.done = ll.done = md.done = true;
        } else if (given) {
            qCDebug(lcLan) << "LAN answer for" << name << "refused:" << given->toString().c_str()
                           << "from" << from.toString().c_str() << "port" << fromPort;
        }
    };
    nb.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        use(netbios::nameQueryAddress(answer, *nbId, name), from, fromPort, netbios::kPort);
    };
    if (on.broadcast && netbios::isValidName(name))
        askBroadcast(nb, *on.broadcast, netbios::kPort, netbios::nameQueryRequest(*nbId, name));

    const QByteArray mdnsName = mdnsQuestionName(name);
    md.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        use(dns::aRecord(answer, *mdId, mdnsName), from, fromPort, dns::kMdnsPort);
    };
    askGroup(md, dns::kMdnsGroup, dns::kMdnsPort, dns::query(*mdId, mdnsName, dns::kTypeA, true),
             on.address, dns::kMulticastTtl);

    // LLMNR: the name as the host calls itself, asked of the group with TTL 1
    // (RFC 4795, 2.5); only a trusted answer counts, as for the others.
    const QByteArray llmnrName = gbk::toUnicode(name).toUtf8();
    ll.read = [&](QByteArrayView answer, Ipv4Address from, std::uint16_t fromPort) {
        use(llmnr::aRecord(answer, *llId, llmnrName), from, fromPort, llmnr::kPort);
    };
    if (!llmnrName.contains('.'))
        askGroup(ll, llmnr::kGroup, llmnr::kPort, llmnr::query(*llId, llmnrName, dns::kTypeA),
                 on.address, llmnr::kMulticastTtl);

    waitForAnswers(std::array<Question*, 3>{&nb, &ll, &md}, wait);
    qCDebug(lcLan) << "LAN address of" << name << "(subnet broadcast"
                   << (on.broadcast ? on.broadcast->toString().c_str() : "none")
                   << "):" << (found ? found->toString().c_str() : "");
    return found;
}

} // namespace zeph::lan
