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
// inet_aton (and Windows' inet_addr) end an address at a blank and ignore the
// rest, so "10.0.0.1 x" reads as one too.
bool readsAsAddress(QByteArrayView text);

// Whether text (GBK) holds only characters a name may show without passing
// for something else: printable ASCII, GBK's CJK ideographs and its
// full-width punctuation. Left out are the characters that can pass for an
// address part or for another name's letters: the full-width dots, digits and
// letters, the ideographic full stop and space, middle dots and ellipses,
// circled and other digits, Greek, Cyrillic and accented Latin letters, and
// bytes that are no GBK character.
bool hasOnlyNameCharacters(QByteArrayView text);

// Whether a resolver may be asked about text at all: not empty and no
// control byte (a zero byte would cut the name short, another one is never
// part of a name).
bool mayLookUp(QByteArrayView text);

// A name a computer may go by, as the resolver or the LAN gives it:
// mayLookUp, not readsAsAddress, no blank at either end ("10.0.0.1 " reads as
// that address) and hasOnlyNameCharacters.
bool isHostName(QByteArrayView text);

} // namespace zeph::hostname
