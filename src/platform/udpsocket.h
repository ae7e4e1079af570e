#pragma once
// A non-blocking UDP socket on an ephemeral port, for short questions to the
// LAN: send to an address and port, receive with the sender's address and
// port, wait for several sockets at once under a deadline.

#include "core/ipv4.h"
#include "platform/uniquefd.h"

#include <QByteArrayView>

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace zeph::platform {

class UdpSocket {
public:
    // Opens the socket; isOpen() tells whether that worked.
    UdpSocket();

    bool isOpen() const { return static_cast<bool>(m_fd); }

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
    };
    // One waiting datagram into buffer, without blocking.
    Received receive(std::span<char> buffer);

    // The indexes of the sockets that have something to receive, waiting up
    // to timeout; empty when the time ran out first.
    static std::vector<std::size_t> waitReadable(std::span<const UdpSocket* const> sockets,
                                                 std::chrono::milliseconds timeout);

private:
    UniqueFd m_fd;
};

} // namespace zeph::platform
