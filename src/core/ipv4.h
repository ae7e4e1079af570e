#pragma once
// The one IPv4 address type and the one parser of dotted texts. Plain C++
// without Qt, so that the small privileged probe helper can use it too.
// Addresses travel between layers as this value; dotted text exists only at
// the edges (the wire, the helper's line protocol, the widgets).

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace zeph::ipv4 {

class Address {
public:
    constexpr Address() = default; // 0.0.0.0
    constexpr explicit Address(std::uint32_t hostOrder) : m_value(hostOrder) {}
    constexpr Address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
        : m_value((std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) | (std::uint32_t{c} << 8) | d)
    {
    }

    // The 32-bit value, most significant byte first (a.b.c.d = a << 24 | ...).
    constexpr std::uint32_t toHostOrder() const { return m_value; }
    // Byte k of a.b.c.d (0 is a).
    constexpr std::uint8_t operator[](std::size_t k) const
    {
        return std::uint8_t(m_value >> (24 - 8 * k));
    }
    constexpr std::array<std::uint8_t, 4> octets() const
    {
        return {(*this)[0], (*this)[1], (*this)[2], (*this)[3]};
    }

    constexpr bool isUnspecified() const { return m_value == 0; }
    constexpr bool isLoopback() const { return (*this)[0] == 127; }
    constexpr bool isMulticast() const { return ((*this)[0] & 0xF0) == 0xE0; }
    constexpr bool isLimitedBroadcast() const { return m_value == 0xFFFFFFFFu; }
    // 0.0.0.0/8 ("this network"), never a destination.
    constexpr bool isThisNetwork() const { return (*this)[0] == 0; }

    // The first prefixLength bits kept, the rest zero (0..32).
    constexpr Address masked(int prefixLength) const
    {
        return Address(m_value & maskOf(prefixLength));
    }
    constexpr bool inSubnet(Address network, int prefixLength) const
    {
        return masked(prefixLength) == network.masked(prefixLength);
    }
    // A host address of network/prefixLength: inside it, and neither its
    // network nor its broadcast address (a /31 or /32 has neither, RFC 3021).
    // The one rule for a host of a segment; the two below build on it.
    constexpr bool isHostAddressOf(Address network, int prefixLength) const
    {
        const std::uint32_t hostBits = ~maskOf(prefixLength);
        const bool edge =
            prefixLength <= 30 && ((m_value & hostBits) == 0 || (m_value & hostBits) == hostBits);
        return inSubnet(network, prefixLength) && !edge;
    }
    // A unicast host of network/prefixLength: a host address of it, and not
    // 0/8, loopback, multicast, reserved or the limited broadcast.
    constexpr bool isHostOf(Address network, int prefixLength) const
    {
        return isHostAddressOf(network, prefixLength) && !isThisNetwork() && !isLoopback() &&
               (*this)[0] < 224;
    }
    // Another host on the segment of own/prefixLength, which ARP reaches: the
    // segment is a /30 or wider, and this is a host address of it but own.
    constexpr bool isNeighbourOf(Address own, int prefixLength) const
    {
        return prefixLength >= 0 && prefixLength <= 30 && *this != own &&
               isHostAddressOf(own, prefixLength);
    }
    static constexpr std::uint32_t maskOf(int prefixLength)
    {
        return prefixLength <= 0    ? 0u
               : prefixLength >= 32 ? 0xFFFFFFFFu
                                    : ~((std::uint32_t{1} << (32 - prefixLength)) - 1);
    }

    std::string toString() const
    {
        std::string s;
        for (std::size_t k = 0; k < 4; ++k) {
            if (k)
                s += '.';
            s += std::to_string((*this)[k]);
        }
        return s;
    }

    // No <compare> here: Qt's moc cannot parse the headers it pulls in.
    constexpr bool operator==(const Address&) const = default;
    constexpr bool operator<(const Address& o) const { return m_value < o.m_value; }

private:
    std::uint32_t m_value = 0;
};

// Exactly four decimal numbers 0..255 separated by dots, 1 to 3 digits each,
// no leading zeros (as inet_pton), nothing before or after.
constexpr std::optional<Address> parse(std::string_view text)
{
    std::uint32_t out = 0;
    std::size_t part = 0;
    std::size_t i = 0;
    for (;;) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return std::nullopt;
        unsigned value = 0;
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + unsigned(text[i] - '0');
            if (i - start >= 3 || value > 255)
                return std::nullopt;
            ++i;
        }
        if (i - start > 1 && text[start] == '0')
            return std::nullopt;
        out = (out << 8) | value;
        if (++part == 4)
            return i == text.size() ? std::optional(Address(out)) : std::nullopt;
        if (i >= text.size() || text[i] != '.')
            return std::nullopt;
        ++i;
    }
}

// Any byte container with data() and size(), such as QByteArrayView.
template <class Bytes>
requires(!std::is_convertible_v<const Bytes&, std::string_view>) constexpr std::optional<
    Address> parse(const Bytes& bytes)
{
    return parse(std::string_view(bytes.data(), std::size_t(bytes.size())));
}

inline std::string format(const Address& a)
{
    return a.toString();
}

// The prefix length of a netmask: its leading one bits.
constexpr int prefixLengthOf(Address mask)
{
    return std::countl_one(mask.toHostOrder());
}

} // namespace zeph::ipv4

namespace zeph {
using Ipv4Address = ipv4::Address;
// A network card's Ethernet address, as ARP and the neighbour table give it.
using LinkAddress = std::array<std::uint8_t, 6>;
} // namespace zeph
