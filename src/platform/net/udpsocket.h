#pragma once
// A non-blocking UDP socket: on an ephemeral port for short questions to the
// LAN (send to an address and port, receive with the sender's address and
// port, wait for several sockets at once under a deadline), or bound to a
// port for the message endpoint, whose reader thread waits in it until a
// datagram arrives or another thread wakes it.

#include "core/ipv4.h"
#ifndef _WIN32
#include "platform/uniquefd.h"
#endif

#include <QByteArrayView>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zeph::platform {

class UdpSocket {
public:
    // Opens the socket; isOpen() tells whether that worked.
    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool isOpen() const;

    // Binds port on every address with no option set before (no address
    // reuse: a port that another program holds stays its own) and prepares
    // waitForDatagram() and wake().
    bool bind(std::uint16_t port);
    // Asks for a receive buffer of bytes; the size the system granted, 0 when
    // it cannot be read.
    int growReceiveBuffer(int bytes);

    // From now on receive() gives the number of datagrams the system dropped
    // on this socket so far (Linux: SO_RXQ_OVFL); false where it cannot
    // (Windows offers no such count).
    bool countDrops();

    // Sending to a broadcast address is refused without this.
    bool allowBroadcast();
    // Multicast leaves through the interface holding this address only.
    bool setMulticastInterface(Ipv4Address interfaceAddress, int ttl);
    // From now on only this peer's datagrams arrive, and its refusals (ICMP
    // port unreachable) are reported by receive().
    bool connectTo(Ipv4Address address, std::uint16_t port);

    // True when the whole datagram left.
    bool sendTo(Ipv4Address address, std::uint16_t port, QByteArrayView data);
    // To the peer of connectTo().
    bool send(QByteArrayView data);

    struct Received {
        enum class Kind { Datagram, NothingYet, Refused, Failed };
        Kind kind = Kind::Failed;
        QByteArrayView data; // in the caller's buffer
        Ipv4Address from;
        std::uint16_t fromPort = 0;
        // With countDrops(): the datagrams dropped so far, counted as the
        // system counts them (wrapping), once there were any.
        std::optional<std::uint32_t> dropped;
    };
    // One waiting datagram into buffer, without blocking.
    Received receive(std::span<char> buffer);

    // The indexes of the sockets that have something to receive, waiting up
    // to timeout; empty when the time ran out first.
    static std::vector<std::size_t> waitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::milliseconds timeout);

    // For a bound socket's reader thread: blocks until a datagram may wait
    // (true), or wake() was called or the wait failed (false). wake() is the
    // one call that is safe from another thread.
    bool waitForDatagram();
    void wake();

private:
#ifdef _WIN32
    static constexpr std::uintptr_t kNone = ~std::uintptr_t{0};
    std::uintptr_t m_socket = kNone; // a SOCKET
    void* m_readable = nullptr;      // the event the socket sets when a datagram waits
    void* m_wake = nullptr;          // the event wake() sets
#else
    UniqueFd m_fd;
    UniqueFd m_wake; // an eventfd
#endif
};

} // namespace zeph::platform
