#include "lan/scaninterface.h"

#include "platform/net/localaddress.h"
#include "platform/net/names.h"

namespace zeph::lan {

std::optional<ScanInterface> findScanInterface()
{
    const std::optional<Ipv4Address> own = platform::systemResolveName(platform::ownHostName());
    const std::optional<Ipv4Address> local = platform::localIPv4Address(own);
    if (!local)
        return std::nullopt;
    ScanInterface on;
    on.address = *local;
    if (const std::optional<platform::InterfaceAddress> i = platform::interfaceAddress(*local)) {
        on.prefixLength = i->prefixLength;
        on.broadcast = i->broadcast;
    }
    return on;
}

} // namespace zeph::lan
