#pragma once
// The local IPv4 addresses: each operating system lists its interfaces'
// addresses (localInterfaces), and one policy, the same everywhere, picks the
// local address and the interfaces whose subnets the scan covers.

#include "core/ipv4.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

namespace zeph::platform {

// One IPv4 address of an interface that is up.
struct LocalInterface {
    QByteArray name;
    Ipv4Address address;
    int prefixLength = 32;
    bool loopback = false;
    bool broadcast = false;    // the interface can broadcast (Ethernet, Wi-Fi)
    bool pointToPoint = false; // a tunnel or a dial-up link
    bool defaultRoute = false; // the default route (gateway) leaves here
    // A bridge that no physical or wireless port belongs to: containers' or
    // virtual machines' own network.
    bool virtualBridge = false;
};
// Every IPv4 address of the interfaces that are up, in the system's order.
std::vector<LocalInterface> localInterfaces();

// resolvedOwnName is what the own host name resolved to; it counts when an
// interface holds it. Debian maps the host name to 127.0.1.1, which would
// make the scan probe loopback: else the address of the interface with the
// default route, else the first one that is not loopback. Nothing when there
// is none.
std::optional<Ipv4Address> chooseLocalAddress(std::optional<Ipv4Address> resolvedOwnName,
                                              const std::vector<LocalInterface>& all);
inline std::optional<Ipv4Address> localIPv4Address(std::optional<Ipv4Address> resolvedOwnName)
{
    return chooseLocalAddress(resolvedOwnName, localInterfaces());
}

#ifndef Q_OS_WIN
// The parts, for tests: the interface named by the default route in a
// /proc/net/route text (empty if none), and the first IPv4 address of an
// interface (none if it has none or is down).
QByteArray defaultRouteInterface(QByteArrayView procNetRoute);
std::optional<Ipv4Address> interfaceIPv4Address(QByteArrayView interfaceName);
#endif

// The interface that is up and holds address: its prefix length and the
// broadcast address of its subnet (none on loopback, point-to-point, or an
// interface without broadcast). Nothing when no interface that is up holds it.
struct InterfaceAddress {
    Ipv4Address address;
    int prefixLength = 32;
    std::optional<Ipv4Address> broadcast;
};
std::optional<InterfaceAddress> interfaceAddress(Ipv4Address address,
                                                 const std::vector<LocalInterface>& all);
inline std::optional<InterfaceAddress> interfaceAddress(Ipv4Address address)
{
    return interfaceAddress(address, localInterfaces());
}

// The interfaces whose subnets the scan covers: up, broadcast-capable, with
// an IPv4 address; not loopback, not point-to-point (nor a /31 or /32), not
// a bridge without a physical or wireless port. One address per subnet, the first. When there
// is none, the interface of the local address, as long as one holds it.
std::vector<InterfaceAddress> scanInterfaces(std::optional<Ipv4Address> localAddress,
                                             const std::vector<LocalInterface>& all);
// The scan's interfaces now, the local address chosen as above.
inline std::vector<InterfaceAddress> scanInterfaces(std::optional<Ipv4Address> resolvedOwnName)
{
    const std::vector<LocalInterface> all = localInterfaces();
    return scanInterfaces(chooseLocalAddress(resolvedOwnName, all), all);
}

} // namespace zeph::platform
