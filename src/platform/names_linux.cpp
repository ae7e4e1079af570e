#include "platform/names.h"

#include "core/gbk.h"
#include "core/ipv4.h"
#include "core/logging.h"
#include "platform/lanlookup.h"
#include "platform/scannames.h"

#include <QString>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zeph::platform {
namespace {

// A NUL-terminated copy for the C resolver. A text holding a zero byte is
// refused: the resolver would silently cut it there and look up another name.
bool toCString(QByteArrayView text, QByteArray& out)
{
    if (text.contains('\0'))
        return false;
    out = text.toByteArray(); // QByteArray keeps a terminating zero after its data
    return true;
}

bool parseDotted(QByteArrayView text, in_addr& addr)
{
    const auto a = ipv4::parse(text);
    if (!a)
        return false;
    addr.s_addr = htonl(a->toHostOrder());
    return true;
}

constexpr QByteArrayView kMdnsDomain = ".local";

bool endsWithMdnsDomain(QByteArrayView name)
{
    return name.size() > kMdnsDomain.size() &&
           name.last(kMdnsDomain.size()).compare(kMdnsDomain, Qt::CaseInsensitive) == 0;
}

// Multicast DNS names are UTF-8; ours are GBK. The question for a plain name
// is NAME.local.
QByteArray mdnsQuestionName(QByteArrayView gbkName)
{
    const QByteArray utf8 = gbk::toUnicode(gbkName).toUtf8();
    return endsWithMdnsDomain(utf8) ? utf8 : utf8 + kMdnsDomain.toByteArray();
}

// NAME.local as GBK NAME; empty for a name outside .local (which NAME.local
// would not find again) or one that does not fit GBK (the list could not show
// it, nor could a message name it).
QByteArray fromMdnsName(QByteArrayView utf8)
{
    if (!endsWithMdnsDomain(utf8))
        return {};
    utf8.chop(kMdnsDomain.size());
    const QString text = QString::fromUtf8(utf8);
    QByteArray name = gbk::fromUnicode(text);
    if (gbk::toUnicode(name) != text || text.toUtf8() != utf8)
        return {};
    return name;
}

} // namespace

QByteArray ownHostName()
{
    // Linux allows 64 bytes (HOST_NAME_MAX); the buffer has room for more so
    // that a truncated, unterminated name is never taken for the whole one.
    char buf[HOST_NAME_MAX + 2] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) {
        qCWarning(lcPlatform, "gethostname failed: %s", std::strerror(errno));
        return {};
    }
    buf[sizeof buf - 1] = '\0';
    return QByteArray(buf);
}

bool isDottedIPv4(QByteArrayView text)
{
    in_addr addr{};
    return parseDotted(text, addr);
}

QByteArray resolveName(QByteArrayView name)
{
    if (name.isEmpty() || name.contains('\0'))
        return {};
    if (isDottedIPv4(name))
        return name.toByteArray();
    if (QByteArray dotted = systemResolveName(name); !dotted.isEmpty())
        return dotted;
    if (QByteArray dotted = scanNameAddress(name); !dotted.isEmpty())
        return dotted;
    const std::optional<lan::Interface> on = lan::scanInterface();
    if (!on)
        return {};
    const std::optional<std::uint32_t> found = lan::resolveOnLan(*on, name, mdnsQuestionName(name));
    return found ? lan::dottedText(*found) : QByteArray();
}

QByteArray systemResolveName(QByteArrayView name)
{
    if (name.isEmpty())
        return {};
    if (isDottedIPv4(name))
        return name.toByteArray();
    QByteArray c;
    if (!toCString(name, c))
        return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(c.constData(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        qCDebug(lcPlatform) << "cannot resolve" << name << gai_strerror(rc);
        return {};
    }
    QByteArray dotted;
    for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr)
            continue;
        const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) != nullptr)
            dotted = text;
        break;
    }
    freeaddrinfo(result);
    return dotted;
}

QByteArray reverseLookup(QByteArrayView dotted)
{
    sockaddr_in sin{};
    if (!parseDotted(dotted, sin.sin_addr))
        return {};
    sin.sin_family = AF_INET;
    char host[NI_MAXHOST] = {};
    const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc == 0)
        return QByteArray(host);
    qCDebug(lcPlatform) << "no resolver name for" << dotted << gai_strerror(rc);
    const std::uint32_t address = ntohl(sin.sin_addr.s_addr);
    const lan::HostNames names = lan::hostNames(address);
    return !names.netbios.isEmpty() ? names.netbios : fromMdnsName(names.mdns);
}

} // namespace zeph::platform
