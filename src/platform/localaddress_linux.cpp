#include "platform/localaddress.h"

#include "core/ipv4.h"
#include "core/logging.h"

#include <QFile>
#include <QList>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

namespace zeph::platform {
namespace {

bool isUsable(QByteArrayView dotted)
{
    const auto a = ipv4::parse(dotted);
    return a && (*a)[0] != 127;
}

QByteArray dottedOf(const sockaddr* sa)
{
    char buf[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    if (!inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf))
        return {};
    return QByteArray(buf);
}

// Walks the IPv4 addresses of the interfaces that are up, in the kernel's order.
template <typename F> QByteArray firstAddress(F&& wanted)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    QByteArray found;
    for (ifaddrs* i = list; i && found.isEmpty(); i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP))
            continue;
        if (wanted(*i))
            found = dottedOf(i->ifa_addr);
    }
    freeifaddrs(list);
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

QByteArray interfaceIPv4Address(QByteArrayView interfaceName)
{
    if (interfaceName.isEmpty())
        return {};
    return firstAddress([&](const ifaddrs& i) { return interfaceName == i.ifa_name; });
}

QByteArray subnetBroadcastAddress(QByteArrayView localAddress)
{
    QByteArray broadcast;
    firstAddress([&](const ifaddrs& i) {
        if (!(i.ifa_flags & IFF_BROADCAST) || dottedOf(i.ifa_addr) != localAddress)
            return false;
        // From the netmask, not ifa_broadaddr: an address added without "brd"
        // reports 0.0.0.0 or its own address there.
        const auto* mask = reinterpret_cast<const sockaddr_in*>(i.ifa_netmask);
        const auto* addr = reinterpret_cast<const sockaddr_in*>(i.ifa_addr);
        in_addr b{};
        if (mask && ntohl(mask->sin_addr.s_addr) < 0xFFFFFFFEu)
            b.s_addr = addr->sin_addr.s_addr | ~mask->sin_addr.s_addr;
        char buf[INET_ADDRSTRLEN] = {};
        if (b.s_addr != 0 && inet_ntop(AF_INET, &b, buf, sizeof buf))
            broadcast = buf;
        return true;
    });
    return broadcast;
}

QByteArray localIPv4Address(QByteArrayView resolvedOwnName)
{
    if (isUsable(resolvedOwnName))
        return resolvedOwnName.toByteArray();

    QFile route(QStringLiteral("/proc/net/route"));
    if (route.open(QIODevice::ReadOnly)) {
        QByteArray viaRoute = interfaceIPv4Address(defaultRouteInterface(route.readAll()));
        if (isUsable(viaRoute)) {
            qCDebug(lcPlatform) << "own name resolves to" << resolvedOwnName
                                << "; using the default-route address" << viaRoute;
            return viaRoute;
        }
    }
    QByteArray anyUp = firstAddress([](const ifaddrs& i) {
        return !(i.ifa_flags & IFF_LOOPBACK) && isUsable(dottedOf(i.ifa_addr));
    });
    qCDebug(lcPlatform) << "own name resolves to" << resolvedOwnName << "; using" << anyUp;
    return anyUp;
}

} // namespace zeph::platform
