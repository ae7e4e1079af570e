// libFuzzer target: every answer a responder on the LAN can send to our
// NetBIOS and multicast DNS questions. The parsers must accept any bytes,
// end (no pointer loop runs forever) and only ever yield names we can use.
// The transaction id is the input's own, so the fuzzer reaches past it.

#include "core/hostname.h"
#include "lan/dns.h"
#include "lan/llmnr.h"
#include "lan/netbios.h"

#include <cstdint>
#include <cstdlib>

using namespace zeph::lan;
namespace hostname = zeph::hostname;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView packet(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto id = static_cast<std::uint16_t>(size >= 2 ? (data[0] << 8) | data[1] : 0);

    // A workstation name we can list and send to: 1-15 bytes, no padding left.
    const QByteArray name = netbios::nodeStatusName(packet, id);
    if (!name.isEmpty()) {
        check(name.size() <= netbios::kMaxNameLength);
        check(hostname::isHostName(name) && !name.contains('.') && !name.endsWith(' '));
    }
    (void)netbios::nameQueryAddress(packet, id, "ALPHA");

    // A host name we could ask for again.
    for (const QByteArrayView owner :
         {QByteArrayView("2.7.213.10.in-addr.arpa"), QByteArrayView("bravo.local")}) {
        const QByteArray target = dns::ptrTarget(packet, id, owner);
        if (!target.isEmpty()) {
            check(!hostname::hasControlByte(target));
            check(!dns::query(id, target, dns::kTypeA, true).isEmpty());
        }
        (void)dns::aRecord(packet, id, owner);
        // LLMNR reads the same records with its own header rules: never more.
        const QByteArray llmnrTarget = llmnr::ptrTarget(packet, id, owner);
        check(llmnrTarget.isEmpty() || llmnrTarget == target);
        check(!llmnr::aRecord(packet, id, owner) || dns::aRecord(packet, id, owner));
    }
    return 0;
}
