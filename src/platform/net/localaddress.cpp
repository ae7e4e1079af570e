#include "platform/net/localaddress.h"

#include "core/logging.h"

#include <algorithm>

namespace zeph::platform {

std::optional<Ipv4Address> chooseLocalAddress(std::optional<Ipv4Address> resolvedOwnName,
                                              const std::vector<LocalInterface>& all)
{
    const auto usable = [](const LocalInterface& i) {
        return !i.loopback && !i.address.isLoopback() && !i.address.isUnspecified();
    };
    const auto held = std::find_if(all.begin(), all.end(), [&](const LocalInterface& i) {
        return usable(i) && resolvedOwnName && i.address == *resolvedOwnName;
    });
    auto chosen = held;
    if (chosen == all.end())
        chosen = std::find_if(all.begin(), all.end(),
                              [&](const LocalInterface& i) { return usable(i) && i.defaultRoute; });
    if (chosen == all.end())
        chosen = std::find_if(all.begin(), all.end(), usable);
    if (chosen == all.end())
        return std::nullopt;
    if (held == all.end())
        qCDebug(lcPlatform) << "own name resolves to"
                            << (resolvedOwnName ? resolvedOwnName->toString().c_str() : "nothing")
                            << "; using" << chosen->address.toString().c_str() << "of"
                            << chosen->name;
    return chosen->address;
}

namespace {

InterfaceAddress toInterfaceAddress(const LocalInterface& i)
{
    InterfaceAddress a{i.address, i.prefixLength, std::nullopt};
    // From the prefix, not the interface's broadcast address: one added
    // without "brd" reports 0.0.0.0 or its own address there.
    if (i.broadcast && !i.loopback && !i.pointToPoint && i.prefixLength > 0 && i.prefixLength < 31)
        a.broadcast = Ipv4Address(i.address.toHostOrder() | ~Ipv4Address::maskOf(i.prefixLength));
    return a;
}

} // namespace

std::optional<InterfaceAddress> interfaceAddress(Ipv4Address address,
                                                 const std::vector<LocalInterface>& all)
{
    for (const LocalInterface& i : all)
        if (i.address == address)
            return toInterfaceAddress(i);
    return std::nullopt;
}

std::vector<InterfaceAddress> scanInterfaces(std::optional<Ipv4Address> localAddress,
                                             const std::vector<LocalInterface>& all)
{
    std::vector<InterfaceAddress> found;
    for (const LocalInterface& i : all) {
        // A /31 or /32 has no neighbours to find: a link to one peer.
        if (i.loopback || !i.broadcast || i.pointToPoint || i.virtualBridge ||
            i.prefixLength >= 31 || i.address.isLoopback() || i.address.isUnspecified())
            continue;
        const bool sameSubnet = std::any_of(found.begin(), found.end(), [&i](const auto& f) {
            return f.prefixLength == i.prefixLength &&
                   i.address.inSubnet(f.address, i.prefixLength);
        });
        if (!sameSubnet)
            found.push_back(toInterfaceAddress(i));
    }
    if (found.empty() && localAddress)
        if (const std::optional<InterfaceAddress> own = interfaceAddress(*localAddress, all))
            found.push_back(*own);
    qCDebug(lcPlatform) << "scan interfaces:" << found.size();
    return found;
}

} // namespace zeph::platform
