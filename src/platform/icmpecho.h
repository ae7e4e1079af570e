#pragma once
// One ICMP echo at a time, without request data, on an ICMP datagram socket
// (where net.ipv4.ping_group_range lets this user have one) or on a raw socket
// (needs CAP_NET_RAW). Plain C++ on purpose: the small privileged helper
// zeph-probe is built from this file alone, without Qt.

#include <cstdint>
#include <netinet/in.h>

namespace zeph::icmp {

enum class SocketKind { None, Datagram, Raw };

class EchoSocket {
public:
    EchoSocket() = default;
    ~EchoSocket();
    EchoSocket(const EchoSocket&) = delete;
    EchoSocket& operator=(const EchoSocket&) = delete;

    // Datagram first, then raw if allowRaw. False when neither can be had.
    bool open(bool allowRaw = true);
    void close();
    SocketKind kind() const { return m_kind; }

    // Sends one echo request to dest and waits at most timeoutMs for the
    // matching reply: same identifier (raw; the kernel sees to it on a
    // datagram socket), same sequence number, from dest. Other ICMP traffic
    // is ignored. Round-trip milliseconds, or -1.
    int probe(in_addr dest, int timeoutMs);

private:
    int m_fd = -1;
    SocketKind m_kind = SocketKind::None;
    std::uint16_t m_ident = 0;
    std::uint16_t m_sequence = 0;
};

// Strict dotted quad ("10.1.2.3"); false for anything else.
bool parseDotted(const char* text, in_addr* out);

// Destinations the probe refuses outright: 0.0.0.0/8, multicast, limited broadcast.
bool isProbeable(in_addr dest);

} // namespace zeph::icmp
