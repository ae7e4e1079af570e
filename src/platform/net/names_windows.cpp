#include "platform/net/names.h"

#include "core/gbk.h"
#include "core/hostname.h"
#include "core/logging.h"
#include "platform/net/winsock.h"
#include "platform/sockaddr.h"

#include <QString>

#include <winsock2.h>
// After winsock2.h, which it needs.
#include <ws2tcpip.h>

#include <iterator>
#include <string>

namespace zeph::platform {
namespace {

// Names are GBK inside the program; the resolver's wide functions take them
// as Unicode, whatever the system's ANSI code page is.
std::wstring wide(QByteArrayView gbkName)
{
    return gbk::toUnicode(gbkName).toStdWString();
}

} // namespace

QByteArray ownHostName()
{
    if (!win::startWinsock())
        return {};
    wchar_t buf[256] = {};
    if (GetHostNameW(buf, int(std::size(buf))) != 0) {
        qCWarning(lcPlatform) << "GetHostNameW failed, error" << WSAGetLastError();
        return {};
    }
    return gbk::fromUnicode(QString::fromWCharArray(buf));
}

std::optional<Ipv4Address> systemResolveName(QByteArrayView name)
{
    if (const std::optional<Ipv4Address> dotted = ipv4::parse(name))
        return dotted;
    if (!hostname::mayLookUp(name))
        return std::nullopt;
    if (!win::startWinsock())
        return std::nullopt;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    ADDRINFOW* result = nullptr;
    const std::wstring w = wide(name);
    const int rc = GetAddrInfoW(w.c_str(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        qCDebug(lcPlatform) << "cannot resolve" << name << "error" << rc;
        return std::nullopt;
    }
    std::optional<Ipv4Address> found;
    for (const ADDRINFOW* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr)
            continue;
        found = fromInAddr(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr);
        break;
    }
    FreeAddrInfoW(result);
    return found;
}

QByteArray systemReverseName(Ipv4Address address)
{
    if (!win::startWinsock())
        return {};
    const sockaddr_in sin = toSockaddr(address, 0);
    wchar_t host[NI_MAXHOST] = {};
    const int rc = GetNameInfoW(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host,
                                NI_MAXHOST, nullptr, 0, NI_NAMEREQD);
    if (rc == 0)
        return gbk::fromUnicode(QString::fromWCharArray(host));
    qCDebug(lcPlatform) << "no resolver name for" << address.toString().c_str() << "error" << rc;
    return {};
}

} // namespace zeph::platform
