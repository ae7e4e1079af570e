#pragma once
// 16-bit fields in network byte order, as ARP and ICMP packets carry them.
// Plain C++, for the ICMP library.

#include <cstdint>

namespace zeph::icmp {

inline std::uint16_t get16(const std::uint8_t* p)
{
    return std::uint16_t(p[0] << 8 | p[1]);
}

inline void put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v >> 8);
    p[1] = std::uint8_t(v);
}

} // namespace zeph::icmp
