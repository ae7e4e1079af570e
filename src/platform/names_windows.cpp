#include "platform/names.h"

#include "core/gbk.h"
#include "core/ipv4.h"
#include "core/logging.h"
#include "platform/lanlookup.h"
#include "platform/localaddress.h"
#include "platform/netbios.h"
#include "platform/scannames.h"
#include "platform/winsock.h"

#include <QRandomGenerator>
#include <QString>

#include <winsock2.h>
// After winsock2.h, which it needs.
#include <ws2tcpip.h>

#include <chrono>
#include <cstring>
#include <functional>

namespace zeph::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Names are GBK inside the program; the resolver's wide functions take them
// as Unicode, whatever the system's ANSI code page is.
std::wstring wide(QByteArrayView gbkName)
{
    return gbk::toUnicode(gbkName).toStdWString();
}

sockaddr_in endpoint(const ipv4::Address& a, std::uint16_t port)
{
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    std::memcpy(&sin.sin_addr, a.data(), a.size());
    return sin;
}

// One NetBIOS question from an ephemeral port; answers are handed to accept
// until it returns true or the wait ends. A host with nothing on port 137
// says so at once (the socket reports the refusal), which ends the wait.
bool askNetbios(const QByteArray& request, const ipv4::Address& to, bool broadcast,
                const std::function<bool(QByteArrayView answer)>& accept)
{
    if (request.isEmpty() || !win::startWinsock())
        return false;
    const SOCKET s =
        WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return false;
    BOOL on = TRUE;
    if (broadcast)
        setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    const sockaddr_in dest = endpoint(to, netbios::kPort);
    bool found = false;
    if (sendto(s, request.constData(), int(request.size()), 0,
               reinterpret_cast<const sockaddr*>(&dest), sizeof dest) == request.size()) {
        const Clock::time_point deadline = Clock::now() + lan::kAnswerWait;
        char buf[2048];
        while (!found) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            WSAPOLLFD p{s, POLLRDNORM, 0};
            if (WSAPoll(&p, 1, int(left)) <= 0)
                break;
            sockaddr_in from{};
            int len = sizeof from;
            const int n = recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                break; // refused: nothing listens there
            // Only the host asked answers a question to one host.
            if (!broadcast && std::memcmp(&from.sin_addr, &dest.sin_addr, 4) != 0)
                continue;
            found = accept(QByteArrayView(buf, n));
        }
    }
    closesocket(s);
    return found;
}

std::uint16_t newTransactionId()
{
    return static_cast<std::uint16_t>(QRandomGenerator::global()->generate());
}

// The computer's own NetBIOS workstation name.
QByteArray netbiosNameOf(const ipv4::Address& address)
{
    const std::uint16_t id = newTransactionId();
    QByteArray name;
    askNetbios(netbios::nodeStatusRequest(id), address, false, [&](QByteArrayView answer) {
        name = netbios::nodeStatusName(answer, id);
        return !name.isEmpty();
    });
    return name;
}

// The address that answers a NetBIOS name query broadcast on the subnet.
QByteArray netbiosAddressOf(QByteArrayView name)
{
    if (!netbios::isValidName(name))
        return {};
    const std::optional<ipv4::Address> broadcast =
        ipv4::parse(subnetBroadcastAddress(localIPv4Address(systemResolveName(ownHostName()))));
    if (!broadcast)
        return {};
    const std::uint16_t id = newTransactionId();
    QByteArray dotted;
    askNetbios(netbios::nameQueryRequest(id, name), *broadcast, true, [&](QByteArrayView answer) {
        if (const auto a = netbios::nameQueryAddress(answer, id, name))
            dotted = lan::dottedText(*a);
        return !dotted.isEmpty();
    });
    return dotted;
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
    if (QByteArray dotted = systemResolveName(name); !dotted.isEmpty())
        return dotted;
    if (QByteArray dotted = scanNameAddress(name); !dotted.isEmpty())
        return dotted;
    // Windows' resolver asks NetBIOS itself; Wine's and others' do not.
    return netbiosAddressOf(name);
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
    if (rc == 0)
        return gbk::fromUnicode(QString::fromWCharArray(host));
    qCDebug(lcPlatform) << "no resolver name for" << dotted << "error" << rc;
    return netbiosNameOf(*a);
}

} // namespace zeph::platform
