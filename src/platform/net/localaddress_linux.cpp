#include "platform/net/localaddress.h"

#include "core/logging.h"
#include "platform/sockaddr.h"

#include <QFile>
#include <QList>

#include <bit>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

namespace zeph::platform {
namespace {

bool isUsable(const std::optional<Ipv4Address>& a)
{
    return a && !a->isLoopback();
}

Ipv4Address addressOf(const sockaddr* sa)
{
    return fromInAddr(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr);
}

// Walks the IPv4 addresses of the interfaces that are up, in the kernel's
// order, until visit returns true.
template <typename F> void eachAddress(F&& visit)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP))
            continue;
        if (visit(*i))
            break;
    }
    freeifaddrs(list);
}

template <typename F> std::optional<Ipv4Address> firstAddress(F&& wanted)
{
    std::optional<Ipv4Address> found;
    eachAddress([&](const ifaddrs& i) {
        if (wanted(i))
            found = addressOf(i.ifa_addr);
        return found.has_value();
    });
    return found;
}

} // namespace

QByteArray defaultRouteInterface(QByteArrayView procNetRoute)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the lowest
    // metric wins when there are several default routes.
    QByteArray best;
    long bestMetric = -1;
    const QList<QByteArray> lines = procNetRoute.toByteArray().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QList<QByteArray> f = lines[i].simplified().split(' ');
        if (f.size() < 8)
            continue;
        bool ok1 = false, ok2 = false, ok3 = false, ok4 = false;
        const unsigned long dest = f[1].toULong(&ok1, 16);
        const unsigned long flags = f[3].toULong(&ok2, 16);
        const long metric = f[6].toLong(&ok3);
        const unsigned long mask = f[7].toULong(&ok4, 16);
        if (!ok1 || !ok2 || !ok3 || !ok4 || dest != 0 || mask != 0 || !(flags & RTF_UP))
            continue;
        if (bestMetric < 0 || metric < bestMetric) {
            best = f[0];
            bestMetric = metric;
        }
    }
    return best;
}

std::optional<Ipv4Address> interfaceIPv4Address(QByteArrayView interfaceName)
{
    if (interfaceName.isEmpty())
        return std::nullopt;
    return firstAddress([&](const ifaddrs& i) { return interfaceName == i.ifa_name; });
}

std::optional<InterfaceAddress> interfaceAddress(Ipv4Address address)
{
    std::optional<InterfaceAddress> found;
    eachAddress([&](const ifaddrs& i) {
        if (addressOf(i.ifa_addr) != address)
            return false;
        const std::uint32_t mask =
            i.ifa_netmask ? addressOf(i.ifa_netmask).toHostOrder() : 0xFFFFFFFFu;
        InterfaceAddress a{address, std::popcount(mask), std::nullopt};
        // From the netmask, not ifa_broadaddr: an address added without "brd"
        // reports 0.0.0.0 or its own address there.
        if ((i.ifa_flags & IFF_BROADCAST) && mask < 0xFFFFFFFEu)
            a.broadcast = Ipv4Address(address.toHostOrder() | ~mask);
        found = a;
        return true;
    });
    return found;
}

std::optional<Ipv4Address> localIPv4Address(std::optional<Ipv4Address> resolvedOwnName)
{
    if (isUsable(resolvedOwnName))
        return resolvedOwnName;

    const QByteArray own = resolvedOwnName ? QByteArray::fromStdString(resolvedOwnName->toString())
                                           : QByteArray("nothing");
    QFile route(QStringLiteral("/proc/net/route"));
    if (route.open(QIODevice::ReadOnly)) {
        std::optional<Ipv4Address> viaRoute =
            interfaceIPv4Address(defaultRouteInterface(route.readAll()));
        if (isUsable(viaRoute)) {
            qCDebug(lcPlatform) << "own name resolves to" << own
                                << "; using the default-route address"
                                << viaRoute->toString().c_str();
            return viaRoute;
        }
    }
    std::optional<Ipv4Address> anyUp = firstAddress([](const ifaddrs& i) {
        return !(i.ifa_flags & IFF_LOOPBACK) && isUsable(addressOf(i.ifa_addr));
    });
    qCDebug(lcPlatform) << "own name resolves to" << own << "; using"
                        << (anyUp ? anyUp->toString().c_str() : "nothing");
    return anyUp;
}

} // namespace zeph::platform
