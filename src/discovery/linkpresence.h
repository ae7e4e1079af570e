#pragma once
// What the link layer says about the addresses of a sweep: which answers
// count as a computer being there.

#include "core/ipv4.h"

#include <array>
#include <cstdint>
#include <map>
#include <set>

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

} // namespace zeph
