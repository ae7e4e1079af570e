#pragma once
// What the link layer says about the addresses of a sweep: which answers
// count as a computer being there, and how many addresses the kernel is
// still asking for (the entries it cannot drop from its neighbour table).

#include "core/ipv4.h"

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_set>

namespace zeph {

// A card that answers for many addresses is a proxy-ARP router speaking for
// addresses behind it, or a network answering for every address: from the
// address past the limit on, its answers say nothing and only an echo reply
// counts. The few it answered for before cost one name lookup each.
class ProxyFilter {
public:
    static constexpr std::size_t kMaxAddressesPerCard = 8;

    // An answer for address from card: true when it counts as presence.
    bool counts(Ipv4Address address, const LinkAddress& card)
    {
        std::set<Ipv4Address>& seen = m_addresses[card];
        if (seen.size() < kMaxAddressesPerCard + 1)
            seen.insert(address);
        return seen.size() <= kMaxAddressesPerCard;
    }

private:
    std::map<LinkAddress, std::set<Ipv4Address>> m_addresses;
};

// Every message to an address without a neighbour entry makes one that stays
// INCOMPLETE (about 3 s, while the kernel asks three times) and cannot be
// dropped meanwhile; past the table's hard limit new ones are refused and the
// sends fail. The sweep counts them from the table's changes and waits while
// too many are open.
class UnresolvedNeighbours {
public:
    void update(Ipv4Address address, bool incomplete, bool removed)
    {
        if (incomplete && !removed)
            m_open.insert(address.toHostOrder());
        else
            m_open.erase(address.toHostOrder());
    }
    int count() const { return int(m_open.size()); }

private:
    std::unordered_set<std::uint32_t> m_open;
};

} // namespace zeph
