#include "platform/names.h"

#include "core/gbk.h"
#include "core/ipv4.h"
#include "core/logging.h"
#include "platform/scannames.h"
#include "platform/winsock.h"

#include <QString>

#include <winsock2.h>
// After winsock2.h, which it needs.
#include <ws2tcpip.h>

#include <cstring>

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

bool isDottedIPv4(QByteArrayView text)
{
    return ipv4::parse(text).has_value();
}

QByteArray resolveName(QByteArrayView name)
{
    if (name.isEmpty() || name.contains('\0'))
        return {};
    if (isDottedIPv4(name))
        return name.toByteArray();
    // The Windows resolver asks NetBIOS and LLMNR on the LAN itself.
    if (QByteArray dotted = systemResolveName(name); !dotted.isEmpty())
        return dotted;
    return scanNameAddress(name);
}

QByteArray systemResolveName(QByteArrayView name)
{
    if (name.isEmpty() || name.contains('\0'))
        return {};
    if (isDottedIPv4(name))
        return name.toByteArray();
    if (!win::startWinsock())
        return {};
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    ADDRINFOW* result = nullptr;
    const std::wstring w = wide(name);
    const int rc = GetAddrInfoW(w.c_str(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        qCDebug(lcPlatform) << "cannot resolve" << name << "error" << rc;
        return {};
    }
    QByteArray dotted;
    for (const ADDRINFOW* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || ai->ai_addr == nullptr)
            continue;
        ipv4::Address a{};
        std::memcpy(a.data(), &reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr,
                    a.size());
        dotted = QByteArray::fromStdString(ipv4::format(a));
        break;
    }
    FreeAddrInfoW(result);
    return dotted;
}

QByteArray reverseLookup(QByteArrayView dotted)
{
    const std::optional<ipv4::Address> a = ipv4::parse(dotted);
    if (!a || !win::startWinsock())
        return {};
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    std::memcpy(&sin.sin_addr, a->data(), a->size());
    wchar_t host[NI_MAXHOST] = {};
    const int rc = GetNameInfoW(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host,
                                NI_MAXHOST, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        qCDebug(lcPlatform) << "no resolver name for" << dotted << "error" << rc;
        return {};
    }
    return gbk::fromUnicode(QString::fromWCharArray(host));
}

} // namespace zeph::platform
