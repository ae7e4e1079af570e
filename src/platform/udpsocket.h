#pragma once
// The message endpoint's UDP socket, bound on 0.0.0.0, with a wait that a
// reader thread blocks in until a datagram arrives or another thread wakes it.

#include "core/ipv4.h"

#include <QByteArrayView>

#include <cstdint>

namespace zeph::platform {

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds port with no option set before (no address reuse: a port that
    // another program holds stays its own) and asks for a receive buffer of
    // receiveBuffer bytes. False when there is no socket.
    bool open(std::uint16_t port, int receiveBuffer);
    void close();
    bool isOpen() const { return m_socket != kNone; }

    // The receive buffer the system granted (bytes); 0 without a socket.
    int receiveBufferSize() const { return m_receiveBuffer; }

    // The whole datagram left for to:port.
    bool sendTo(const ipv4::Address& to, std::uint16_t port, QByteArrayView data);

    // One waiting datagram into buffer without blocking: its size, kNothing
    // when none waits, kFailed on an error.
    static constexpr qsizetype kNothing = -1;
    static constexpr qsizetype kFailed = -2;
    qsizetype receive(char* buffer, qsizetype size);

    // Blocks until a datagram may wait (true) or wake() was called or the
    // wait failed (false). wake() is the one call safe from another thread.
    bool waitReadable();
    void wake();

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_socket = kNone;
    std::intptr_t m_wake = kNone;     // an eventfd (Linux) or event object (Windows)
    std::intptr_t m_readable = kNone; // Windows: the socket's read event
    int m_receiveBuffer = 0;
};

} // namespace zeph::platform
