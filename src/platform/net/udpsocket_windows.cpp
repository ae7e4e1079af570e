#include "platform/net/udpsocket.h"

#include "core/logging.h"
#include "platform/net/winsock.h"
#include "platform/sockaddr.h"

#include <winsock2.h>
// After winsock2.h, which they need.
#include <mswsock.h>
#include <ws2tcpip.h>

namespace zeph::platform {
namespace {

SOCKET openSocket()
{
    if (!win::startWinsock())
        return INVALID_SOCKET;
    // Not inheritable: a child (net.exe) must not keep the port.
    const SOCKET s =
        WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return s;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    return s;
}

// Whether a datagram sent to a closed port makes the next receive fail with
// a reset. Only a connected socket asks one peer; to anything else that
// report means nothing.
void reportRefusals(SOCKET s, bool on)
{
    DWORD value = on ? TRUE : FALSE;
    DWORD unused = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &value, sizeof value, nullptr, 0, &unused, nullptr, nullptr);
}

WSAEVENT event(void* e)
{
    return static_cast<WSAEVENT>(e);
}

} // namespace

UdpSocket::UdpSocket()
{
    const SOCKET s = openSocket();
    if (s == INVALID_SOCKET)
        return;
    reportRefusals(s, false);
    m_socket = static_cast<std::uintptr_t>(s);
}

UdpSocket::~UdpSocket()
{
    if (isOpen())
        closesocket(static_cast<SOCKET>(m_socket));
    if (m_readable)
        WSACloseEvent(event(m_readable));
    if (m_wake)
        WSACloseEvent(event(m_wake));
}

bool UdpSocket::isOpen() const
{
    return m_socket != kNone;
}

bool UdpSocket::bind(std::uint16_t port)
{
    if (!isOpen())
        return false;
    const SOCKET s = static_cast<SOCKET>(m_socket);
    // Windows lets a second socket take a bound port unless told not to.
    BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    const sockaddr_in any = toSockaddr(Ipv4Address(), port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        const int error = WSAGetLastError(); // before the log line can change it
        qCWarning(lcPlatform) << "cannot bind UDP port" << port << ", error" << error;
        return false;
    }
    const WSAEVENT readable = WSACreateEvent();
    const WSAEVENT wake = WSACreateEvent();
    m_readable = readable == WSA_INVALID_EVENT ? nullptr : readable;
    m_wake = wake == WSA_INVALID_EVENT ? nullptr : wake;
    // WSAEventSelect keeps the socket non-blocking.
    if (!m_readable || !m_wake || WSAEventSelect(s, event(m_readable), FD_READ) != 0) {
        qCWarning(lcPlatform) << "cannot create the reader's events, error" << WSAGetLastError();
        return false;
    }
    return true;
}

int UdpSocket::growReceiveBuffer(int bytes)
{
    const SOCKET s = static_cast<SOCKET>(m_socket);
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    int got = 0;
    int len = sizeof got;
    if (getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&got), &len) != 0)
        return 0;
    return got;
}

bool UdpSocket::countDrops()
{
    return false; // Winsock keeps no count of the datagrams it dropped
}

bool UdpSocket::allowBroadcast()
{
    const BOOL yes = TRUE;
    return isOpen() && setsockopt(static_cast<SOCKET>(m_socket), SOL_SOCKET, SO_BROADCAST,
                                  reinterpret_cast<const char*>(&yes), sizeof yes) == 0;
}

bool UdpSocket::setMulticastInterface(Ipv4Address interfaceAddress, int ttl)
{
    const SOCKET s = static_cast<SOCKET>(m_socket);
    const in_addr out = toInAddr(interfaceAddress);
    const DWORD hops = static_cast<DWORD>(ttl);
    return isOpen() &&
           setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&out),
                      sizeof out) == 0 &&
           setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&hops),
                      sizeof hops) == 0;
}

bool UdpSocket::connectTo(Ipv4Address address, std::uint16_t port)
{
    if (!isOpen())
        return false;
    const SOCKET s = static_cast<SOCKET>(m_socket);
    reportRefusals(s, true);
    const sockaddr_in to = toSockaddr(address, port);
    return ::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
}

bool UdpSocket::sendTo(Ipv4Address address, std::uint16_t port, QByteArrayView data)
{
    if (!isOpen())
        return false;
    const sockaddr_in to = toSockaddr(address, port);
    const int sent = ::sendto(static_cast<SOCKET>(m_socket), data.data(), int(data.size()), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == SOCKET_ERROR)
        qCDebug(lcPlatform) << "sendto failed, error" << WSAGetLastError();
    return sent == data.size();
}

bool UdpSocket::send(QByteArrayView data)
{
    return isOpen() &&
           ::send(static_cast<SOCKET>(m_socket), data.data(), int(data.size()), 0) == data.size();
}

UdpSocket::Received UdpSocket::receive(std::span<char> buffer)
{
    Received r;
    for (;;) {
        sockaddr_in from{};
        int len = sizeof from;
        const int n = ::recvfrom(static_cast<SOCKET>(m_socket), buffer.data(), int(buffer.size()),
                                 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n >= 0) {
            r.kind = Received::Kind::Datagram;
            r.data = QByteArrayView(buffer.data(), n);
            r.from = fromInAddr(from.sin_addr);
            r.fromPort = ntohs(from.sin_port);
            return r;
        }
        const int error = WSAGetLastError();
        if (error == WSAEMSGSIZE)
            continue; // larger than any datagram asked for: the next one
        if (error == WSAEWOULDBLOCK || error == WSAEINTR)
            r.kind = Received::Kind::NothingYet;
        else
            r.kind = error == WSAECONNRESET ? Received::Kind::Refused : Received::Kind::Failed;
        return r;
    }
}

std::vector<std::size_t> UdpSocket::waitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::milliseconds timeout)
{
    std::vector<WSAPOLLFD> fds;
    fds.reserve(sockets.size());
    for (const UdpSocket* s : sockets)
        fds.push_back(WSAPOLLFD{static_cast<SOCKET>(s->m_socket), POLLRDNORM, 0});
    std::vector<std::size_t> ready;
    const int rc = WSAPoll(fds.data(), ULONG(fds.size()), int(timeout.count()));
    for (std::size_t i = 0; rc > 0 && i < fds.size(); ++i) {
        if (fds[i].revents)
            ready.push_back(i);
    }
    return ready;
}

bool UdpSocket::waitForDatagram()
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
        qCWarning(lcPlatform) << "reader stops, wait failed:" << WSAGetLastError();
    return false;
}

void UdpSocket::wake()
{
    WSASetEvent(event(m_wake));
}

} // namespace zeph::platform
