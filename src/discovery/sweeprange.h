#pragma once
// Which addresses one scan sweeps, from the own address and the prefix length
// of the subnet it sits on. Pure, so the rule is tested without a network.
//
//   /24 or longer (or unknown): host numbers 1 to 255 of the own /24, as the
//                 scan always did, whatever the subnet's true size.
//   /20 to /23:   the whole subnet without its network and broadcast address.
//   shorter:      the /20 that holds the own address, without the subnet's
//                 network and broadcast address should they fall in it; a
//                 sweep of a /16 would take minutes and flood the neighbour
//                 table.

#include "core/ipv4.h"

#include <cstdint>

namespace zeph {

struct SweepRange {
    Ipv4Address first; // ascending, both ends included
    Ipv4Address last;

    int size() const { return int(last.toHostOrder() - first.toHostOrder()) + 1; }
    Ipv4Address at(int index) const
    {
        return Ipv4Address(first.toHostOrder() + std::uint32_t(index));
    }
    // -1 when the address is outside the range.
    int indexOf(Ipv4Address a) const
    {
        return a < first || last < a ? -1 : int(a.toHostOrder() - first.toHostOrder());
    }

    bool operator==(const SweepRange&) const = default;
};

// The host numbers of the own /24 that a sweep of a small subnet covers, 1 to
// this (its broadcast number too, as always).
inline constexpr int kHighestHostNumber = 255;
inline constexpr int kWidestSweptPrefix = 20;

// prefixLength < 0 means the subnet's size is unknown.
inline SweepRange sweepRange(Ipv4Address own, int prefixLength)
{
    if (prefixLength < 0 || prefixLength >= 24) {
        const Ipv4Address base = own.masked(24);
        return {Ipv4Address(base.toHostOrder() + 1),
                Ipv4Address(base.toHostOrder() + kHighestHostNumber)};
    }
    const std::uint32_t network = own.masked(prefixLength).toHostOrder();
    const std::uint32_t broadcast = network | ~Ipv4Address::maskOf(prefixLength);
    const int swept = prefixLength < kWidestSweptPrefix ? kWidestSweptPrefix : prefixLength;
    std::uint32_t first = own.masked(swept).toHostOrder();
    std::uint32_t last = first | ~Ipv4Address::maskOf(swept);
    if (first == network)
        ++first;
    if (last == broadcast)
        --last;
    return {Ipv4Address(first), Ipv4Address(last)};
}

// A subnet beyond a router that the user names: its host addresses, without
// its network and broadcast address (a /31 or /32: every address of it).
// Prefixes shorter than kWidestSweptPrefix are the caller's to refuse.
inline SweepRange namedSubnetRange(Ipv4Address network, int prefixLength)
{
    const std::uint32_t first = network.masked(prefixLength).toHostOrder();
    const std::uint32_t last = first | ~Ipv4Address::maskOf(prefixLength);
    if (prefixLength >= 31)
        return {Ipv4Address(first), Ipv4Address(last)};
    return {Ipv4Address(first + 1), Ipv4Address(last - 1)};
}

} // namespace zeph
