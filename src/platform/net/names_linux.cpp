#include "platform/net/names.h"

#include "core/hostname.h"
#include "core/logging.h"
#include "platform/sockaddr.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zeph::platform {

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

std::optional<Ipv4Address> systemResolveName(QByteArrayView name)
{
    if (const std::optional<Ipv4Address> dotted = ipv4::parse(name))
        return dotted;
    if (!hostname::mayLookUp(name))
        return std::nullopt;
    const QByteArray c = name.toByteArray(); // QByteArray keeps a terminating zero
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(c.constData(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        qCDebug(lcPlatform) << "cannot resolve" << name << gai_strerror(rc);
        return std::nullopt;
    }
    std::optional<Ipv4Address> found;
    for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr)
            continue;
        found = fromInAddr(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr);
        break;
    }
    freeaddrinfo(result);
    return found;
}

QByteArray systemReverseName(Ipv4Address address)
{
    const sockaddr_in sin = toSockaddr(address, 0);
    char host[NI_MAXHOST] = {};
    const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc == 0)
        return QByteArray(host);
    qCDebug(lcPlatform) << "no resolver name for" << address.toString().c_str() << gai_strerror(rc);
    return {};
}

} // namespace zeph::platform
