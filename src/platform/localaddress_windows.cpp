#include "platform/localaddress.h"

#include "core/ipv4.h"
#include "core/logging.h"
#include "platform/winsock.h"

#include <winsock2.h>
// After winsock2.h, which they need.
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <cstring>
#include <optional>
#include <vector>

namespace zeph::platform {
namespace {

struct AdapterAddress {
    ipv4::Address address{};
    int prefixLength = 0;
    bool hasGateway = false;
};

ipv4::Address fromSockaddr(const sockaddr* sa)
{
    ipv4::Address a{};
    std::memcpy(a.data(), &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, a.size());
    return a;
}

// The IPv4 unicast addresses of the adapters that are up, loopback left out,
// in the system's order.
std::vector<AdapterAddress> adapterAddresses()
{
    std::vector<AdapterAddress> out;
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
            entry.address = fromSockaddr(sa);
            if (entry.address[0] == 127)
                continue;
            entry.prefixLength = u->OnLinkPrefixLength;
            entry.hasGateway = a->FirstGatewayAddress != nullptr;
            out.push_back(entry);
        }
    }
    return out;
}

QByteArray text(const ipv4::Address& a)
{
    return QByteArray::fromStdString(ipv4::format(a));
}

} // namespace

QByteArray localIPv4Address(QByteArrayView resolvedOwnName)
{
    win::startWinsock();
    const std::vector<AdapterAddress> all = adapterAddresses();
    // The resolver's answer, when an adapter that is up holds it.
    if (const auto resolved = ipv4::parse(resolvedOwnName); resolved && (*resolved)[0] != 127) {
        for (const AdapterAddress& a : all) {
            if (a.address == *resolved)
                return text(a.address);
        }
    }
    // Else the adapter with the default gateway, else the first one.
    for (const AdapterAddress& a : all) {
        if (a.hasGateway)
            return text(a.address);
    }
    return all.empty() ? QByteArray() : text(all.front().address);
}

QByteArray subnetBroadcastAddress(QByteArrayView localAddress)
{
    const auto local = ipv4::parse(localAddress);
    if (!local)
        return {};
    for (const AdapterAddress& a : adapterAddresses()) {
        if (a.address != *local || a.prefixLength <= 0 || a.prefixLength >= 31)
            continue;
        std::uint32_t host = 0;
        for (const std::uint8_t b : a.address)
            host = host << 8 | b;
        host |= 0xFFFFFFFFu >> a.prefixLength;
        return text({std::uint8_t(host >> 24), std::uint8_t(host >> 16), std::uint8_t(host >> 8),
                     std::uint8_t(host)});
    }
    return {};
}

} // namespace zeph::platform
