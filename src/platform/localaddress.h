#pragma once
// The local IPv4 address whose /24 the scan covers.

#include <QByteArray>
#include <QByteArrayView>

namespace zeph::platform {

// resolvedOwnName is what the own host name resolved to. Debian maps the host
// name to 127.0.1.1, which would make the scan probe loopback: when the answer
// is empty, not a dotted IPv4 address, or in 127.0.0.0/8, the address of the
// interface that carries the default route is taken, else that of the first
// non-loopback interface that is up. Empty when there is none.
QByteArray localIPv4Address(QByteArrayView resolvedOwnName);

#ifndef Q_OS_WIN
// The parts, for tests: the interface named by the default route in a
// /proc/net/route text (empty if none), and the first IPv4 address of an
// interface (empty if it has none or is down).
QByteArray defaultRouteInterface(QByteArrayView procNetRoute);
QByteArray interfaceIPv4Address(QByteArrayView interfaceName);
#endif

// The broadcast address of the subnet of the interface that holds the dotted
// address localAddress; empty when no interface that is up holds it or the
// interface has no broadcast address (loopback, point-to-point).
QByteArray subnetBroadcastAddress(QByteArrayView localAddress);

} // namespace zeph::platform
