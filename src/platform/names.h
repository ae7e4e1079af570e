#pragma once
// Host names and IPv4 addresses as the operating system's resolver sees them.
// Names are GBK bytes handed to the resolver unchanged; failures are empty texts.

#include <QByteArray>
#include <QByteArrayView>

namespace zeph::platform {

// The whole local host name; empty if it cannot be read.
QByteArray ownHostName();

// True for a plain dotted-quad IPv4 text such as "192.168.0.7".
bool isDottedIPv4(QByteArrayView text);

// Dotted IPv4 text of the first IPv4 address for name. A dotted text comes back
// unchanged without a lookup. Empty for an empty name, a name holding a zero
// byte, or a name found nowhere. Asks, in this order, until one knows it: the
// system resolver; the names the last scan listed; the scan interface's subnet
// through a NetBIOS name query (for a valid NetBIOS name) and a multicast DNS
// question for NAME.local, both at once. Blocks until the answer or a bounded
// wait. Safe to call from several threads at once.
QByteArray resolveName(QByteArrayView name);

// The system resolver alone (hosts file, DNS, whatever NSS has).
QByteArray systemResolveName(QByteArrayView name);

// The host name for a dotted IPv4 address; empty when the text is not a dotted
// IPv4 address or the address has no name. Asks the system resolver, then the
// computer itself: its NetBIOS workstation name, then its multicast DNS name
// without the ".local" (as the computer calls itself and signs its messages).
// Each question waits a bounded time. Safe to call from several threads at once.
QByteArray reverseLookup(QByteArrayView dotted);

} // namespace zeph::platform
