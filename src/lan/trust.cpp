#include "lan/trust.h"

namespace zeph::lan {

bool isTrustedAnswer(const ScanInterface& on, Ipv4Address from, std::uint16_t fromPort,
                     std::uint16_t port, Ipv4Address given)
{
    const Ipv4Address subnet = on.address.masked(on.prefixLength);
    return fromPort == port && from.isHostOf(subnet, on.prefixLength) &&
           given.isHostOf(subnet, on.prefixLength);
}

} // namespace zeph::lan
