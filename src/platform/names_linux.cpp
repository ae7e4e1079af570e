#include "platform/names.h"

#include "core/ipv4.h"
#include "core/logging.h"

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
    std::memcpy(&addr.s_addr, a->data(), a->size());
    return true;
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
    if (rc != 0) {
        qCDebug(lcPlatform) << "no name for" << dotted << gai_strerror(rc);
        return {};
    }
    return QByteArray(host);
}

} // namespace zeph::platform
