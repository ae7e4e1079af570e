#pragma once
// The local IPv4 address whose subnet the scan covers, and its interface.

#include "core/ipv4.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace zeph::platform {

// resolvedOwnName is what the own host name resolved to. Debian maps the host
// name to 127.0.1.1, which would make the scan probe loopback: when there is
// none or it is in 127.0.0.0/8, the address of the interface that carries the
// default route is taken, else that of the first non-loopback interface that
// is up. Nothing when there is none.
std::optional<Ipv4Address> localIPv4Address(std::optional<Ipv4Address> resolvedOwnName);

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
std::optional<InterfaceAddress> interfaceAddress(Ipv4Address address);

} // namespace zeph::platform
