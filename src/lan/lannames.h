#pragma once
// Names between the LAN's UTF-8 protocols and the program's GBK.

#include <QByteArray>
#include <QByteArrayView>

namespace zeph::lan {

// Multicast DNS names are UTF-8, ours GBK: the question for a plain name is
// NAME.local.
QByteArray mdnsQuestionName(QByteArrayView gbkName);
// An LLMNR host name (one label, UTF-8) as GBK; empty for one that does not
// fit GBK.
QByteArray fromLlmnrName(QByteArrayView utf8);
// NAME.local as GBK NAME; empty for a name outside .local (which NAME.local
// would not find again) or one that does not fit GBK (the list could not show
// it, nor could a message name it).
QByteArray fromMdnsName(QByteArrayView utf8);

} // namespace zeph::lan
