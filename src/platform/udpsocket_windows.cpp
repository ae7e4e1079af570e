#include "platform/udpsocket.h"

#include "core/logging.h"
#include "platform/winsock.h"

#include <winsock2.h>
// After winsock2.h, which it needs.
#include <mswsock.h>

#include <cstring>

namespace zeph::platform {
namespace {

SOCKET sock(std::intptr_t s)
{
    return static_cast<SOCKET>(s);
}
WSAEVENT event(std::intptr_t e)
{
    return reinterpret_cast<WSAEVENT>(e);
}

} // namespace

UdpSocket::~UdpSocket()
{
    close();
}

bool UdpSocket::open(std::uint16_t port, int receiveBuffer)
{
    close();
    if (!win::startWinsock())
        return false;
    // Not inheritable: a child (net.exe) must not keep the port.
    const SOCKET s =
        WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        qCWarning(lcMessaging) << "cannot create a UDP socket, error" << WSAGetLastError();
        return false;
    }
    // Windows lets a second socket take a bound port unless told not to.
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        qCWarning(lcMessaging) << "cannot bind UDP port" << port << ", error" << WSAGetLastError();
        closesocket(s);
        return false;
    }
    // A datagram sent to a closed port makes the next receive fail with a
    // reset on Windows; that report means nothing to a message endpoint.
    DWORD off = FALSE;
    DWORD unused = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &unused, nullptr, nullptr);

    const WSAEVENT readable = WSACreateEvent();
    const WSAEVENT wake = WSACreateEvent();
    // WSAEventSelect also makes the socket non-blocking.
    if (readable == WSA_INVALID_EVENT || wake == WSA_INVALID_EVENT ||
        WSAEventSelect(s, readable, FD_READ) != 0) {
        qCWarning(lcMessaging) << "cannot create the reader's events, error" << WSAGetLastError();
        if (readable != WSA_INVALID_EVENT)
            WSACloseEvent(readable);
        if (wake != WSA_INVALID_EVENT)
            WSACloseEvent(wake);
        closesocket(s);
        return false;
    }
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
               sizeof receiveBuffer);
    int got = 0;
    int len = sizeof got;
    if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&got), &len) != 0)
        got = 0;
    m_socket = static_cast<std::intptr_t>(s);
    m_readable = reinterpret_cast<std::intptr_t>(readable);
    m_wake = reinterpret_cast<std::intptr_t>(wake);
    m_receiveBuffer = got;
    return true;
}

void UdpSocket::close()
{
    if (m_socket != kNone)
        closesocket(sock(m_socket));
    if (m_readable != kNone)
        WSACloseEvent(event(m_readable));
    if (m_wake != kNone)
        WSACloseEvent(event(m_wake));
    m_socket = m_readable = m_wake = kNone;
    m_receiveBuffer = 0;
}

bool UdpSocket::sendTo(const ipv4::Address& to, std::uint16_t port, QByteArrayView data)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    std::memcpy(&addr.sin_addr, to.data(), to.size()); // network order
    const int sent = sendto(sock(m_socket), data.data(), int(data.size()), 0,
                            reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (sent != data.size()) {
        qCDebug(lcMessaging) << "sendto failed, error" << WSAGetLastError();
        return false;
    }
    return true;
}

qsizetype UdpSocket::receive(char* buffer, qsizetype size)
{
    for (;;) {
        const int got = recv(sock(m_socket), buffer, int(size), 0);
        if (got >= 0)
            return got;
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK)
            return kNothing;
        if (error == WSAECONNRESET || error == WSAEMSGSIZE)
            continue; // a stale report, or an oversized datagram: the next one
        qCDebug(lcMessaging) << "receive failed, error" << error;
        return kFailed;
    }
}

bool UdpSocket::waitReadable()
{
    const WSAEVENT events[2] = {event(m_readable), event(m_wake)};
    const DWORD which = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
    if (which == WSA_WAIT_EVENT_0) {
        // Reset before the caller reads everything: a datagram that comes
        // after that read sets it again.
        WSAResetEvent(events[0]);
        return true;
    }
    if (which != WSA_WAIT_EVENT_0 + 1)
        qCWarning(lcMessaging) << "reader stops, wait failed:" << WSAGetLastError();
    return false;
}

void UdpSocket::wake()
{
    WSASetEvent(event(m_wake));
}

} // namespace zeph::platform
