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

// Dotted IPv4 text of the first IPv4 address the resolver gives for name. A
// dotted text comes back unchanged without a lookup. Empty for an empty name, a
// name holding a zero byte, or a failed lookup. Blocks until the lookup ends.
QByteArray resolveName(QByteArrayView name);

// The resolver's host name for a dotted IPv4 address; empty when the text is not
// a dotted IPv4 address or the address has no name.
QByteArray reverseLookup(QByteArrayView dotted);

} // namespace zeph::platform
