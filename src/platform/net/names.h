#pragma once
// Host names and IPv4 addresses as the operating system's resolver sees them.
// Names are GBK bytes handed to the resolver unchanged. The order in which
// the program asks (resolver, scan list, LAN) lives in NameLookup.

#include "core/ipv4.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace zeph::platform {

// The whole local host name; empty if it cannot be read.
QByteArray ownHostName();

// The first IPv4 address the system resolver (hosts file, DNS, whatever NSS
// has) gives for name. A dotted text is its own address, without a lookup.
// Nothing for a name hostname::mayLookUp refuses, or an unknown one.
std::optional<Ipv4Address> systemResolveName(QByteArrayView name);

// The system resolver's name for address; empty when it has none.
QByteArray systemReverseName(Ipv4Address address);

} // namespace zeph::platform
