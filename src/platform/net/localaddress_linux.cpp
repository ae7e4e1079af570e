#include "platform/net/localaddress.h"

#include "core/logging.h"
#include "platform/sockaddr.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

namespace zeph::platform {
namespace {

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

namespace {

// A bridge none of whose ports is a device of its own (a card) or wireless:
// the network of containers or virtual machines on this computer.
bool isVirtualBridge(const QByteArray& name)
{
    const QString base = QStringLiteral("/sys/class/net/") + QString::fromUtf8(name);
    if (!QFileInfo::exists(base + QStringLiteral("/bridge")))
        return false;
    const QStringList ports =
        QDir(base + QStringLiteral("/brif")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    return std::none_of(ports.begin(), ports.end(), [](const QString& port) {
        const QString p = QStringLiteral("/sys/class/net/") + port;
        return QFileInfo::exists(p + QStringLiteral("/device")) ||
               QFileInfo::exists(p + QStringLiteral("/wireless")) ||
               QFileInfo::exists(p + QStringLiteral("/phy80211"));
    });
}

} // namespace

std::vector<LocalInterface> localInterfaces()
{
    QByteArray routed;
    QFile route(QStringLiteral("/proc/net/route"));
    if (route.open(QIODevice::ReadOnly))
        routed = defaultRouteInterface(route.readAll());
    std::vector<LocalInterface> all;
    eachAddress([&](const ifaddrs& i) {
        LocalInterface l;
        l.name = i.ifa_name;
        l.address = addressOf(i.ifa_addr);
        l.prefixLength = i.ifa_netmask ? ipv4::prefixLengthOf(addressOf(i.ifa_netmask)) : 32;
        l.loopback = (i.ifa_flags & IFF_LOOPBACK) != 0;
        l.broadcast = (i.ifa_flags & IFF_BROADCAST) != 0;
        l.pointToPoint = (i.ifa_flags & IFF_POINTOPOINT) != 0;
        l.defaultRoute = !routed.isEmpty() && l.name == routed;
        l.virtualBridge = isVirtualBridge(l.name);
        all.push_back(l);
        return false;
    });
    return all;
}

} // namespace zeph::platform
