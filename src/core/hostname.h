#pragma once
// The one rule for what counts as a computer's name, wherever the name comes
// from: typed by the user, given by the system resolver, or sent by a host on
// the LAN (NetBIOS, LLMNR, multicast DNS). A name that reads as an address
// would send a message to that address instead of to the host that gave it.

#include <QByteArrayView>

namespace zeph::hostname {

// A byte below 0x20 or DEL.
bool hasControlByte(QByteArrayView text);

// Whether a resolver reads text as an IPv4 address rather than a name: one
// to four dot-separated numbers, each decimal, octal (leading 0) or hex (0x),
// as inet_aton and getaddrinfo take them; the dotted quad is one of these.
bool readsAsAddress(QByteArrayView text);

// Whether a resolver may be asked about text at all: not empty and no
// control byte (a zero byte would cut the name short, another one is never
// part of a name).
bool mayLookUp(QByteArrayView text);

// A name a computer may go by: mayLookUp, and not readsAsAddress.
bool isHostName(QByteArrayView text);

} // namespace zeph::hostname
