#include "platform/net/localaddress.h"

#include "core/logging.h"
#include "platform/net/winsock.h"
#include "platform/sockaddr.h"

#include <winsock2.h>
// After winsock2.h, which they need.
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

namespace zeph::platform {
namespace {

struct AdapterAddress {
    Ipv4Address address;
    int prefixLength = 32;
    bool hasGateway = false;
    bool broadcast = true; // false on point-to-point links
};

// The IPv4 unicast addresses of the adapters that are up, loopback left out,
// in the system's order.
std::vector<AdapterAddress> adapterAddresses()
{
    std::vector<AdapterAddress> out;
    if (!win::startWinsock())
        return out;
    ULONG size = 16 * 1024;
    std::vector<char> buffer;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        rc = GetAdaptersAddresses(AF_INET,
                                  GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                                      GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_INCLUDE_GATEWAYS,
                                  nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                  &size);
    }
    if (rc != NO_ERROR) {
        qCWarning(lcPlatform) << "GetAdaptersAddresses failed:" << rc;
        return out;
    }
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
        if (a->OperStatus != IfOperStatusUp || a->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
            const sockaddr* sa = u->Address.lpSockaddr;
            if (!sa || sa->sa_family != AF_INET)
                continue;
            AdapterAddress entry;
            entry.address = fromInAddr(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr);
            if (entry.address.isLoopback() || entry.address.isUnspecified())
                continue;
            entry.prefixLength = u->OnLinkPrefixLength;
            entry.hasGateway = a->FirstGatewayAddress != nullptr;
            entry.broadcast = a->IfType != IF_TYPE_PPP && a->IfType != IF_TYPE_TUNNEL;
            out.push_back(entry);
        }
    }
    return out;
}

} // namespace

std::vector<LocalInterface> localInterfaces()
{
    std::vector<LocalInterface> all;
    for (const AdapterAddress& a : adapterAddresses()) {
        LocalInterface l;
        l.address = a.address;
        l.prefixLength = a.prefixLength;
        l.broadcast = a.broadcast;
        l.pointToPoint = !a.broadcast;
        l.defaultRoute = a.hasGateway;
        all.push_back(l);
    }
    return all;
}

} // namespace zeph::platform
