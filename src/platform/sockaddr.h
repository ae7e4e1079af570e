#pragma once
// The socket API's address structures from and to the one address type.
// Plain C++, so the probe helper and the ICMP library use it too.

#include "core/ipv4.h"

#include <cstdint>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

namespace zeph::platform {

inline in_addr toInAddr(Ipv4Address a)
{
    in_addr out{};
    out.s_addr = htonl(a.toHostOrder());
    return out;
}

inline Ipv4Address fromInAddr(in_addr a)
{
    return Ipv4Address(ntohl(a.s_addr));
}

inline sockaddr_in toSockaddr(Ipv4Address a, std::uint16_t port)
{
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    out.sin_addr = toInAddr(a);
    return out;
}

} // namespace zeph::platform
