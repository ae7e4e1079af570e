#pragma once
// How many neighbour entries a sweep's echo requests may hold open at once.
// An echo to an address on the segment makes the kernel ask by ARP, and the
// entry it makes cannot be dropped for a while: about 3.5 s while it asks
// (the request waits in a socket's send buffer meanwhile), most of a minute
// once resolved (REACHABLE, as a proxy makes every entry it answers for). The
// table has a hard limit shared by the whole machine, and the sockets' send
// buffers a size: the sweep waits for room instead of skipping an address.
// Plain time points, given by the caller, so tests need no clock.

#include "core/ipv4.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <unordered_map>

namespace zeph {

class NeighbourBudget {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // While the kernel asks for an address nobody holds: three ARP requests
    // a second apart, then it fails and may go; with a margin.
    static constexpr std::chrono::milliseconds kUnresolvedLifetime{3500};
    // Resolved: REACHABLE for up to 1.5 times base_reachable_time (30 s),
    // then STALE and droppable after 5 s more; with a margin.
    static constexpr std::chrono::milliseconds kResolvedLifetime{46000};

    // entries: the most held at once; unresolved: the most of them still
    // asking. Both at least 1.
    NeighbourBudget(int entries, int unresolved)
        : m_entries(std::max(1, entries)), m_unresolved(std::clamp(unresolved, 1, m_entries))
    {
    }

    int entryLimit() const { return m_entries; }

    // Whether a request that makes a new entry may leave now.
    bool mayAdd(TimePoint now)
    {
        expire(now);
        return int(m_pins.size()) < m_entries && m_asking < m_unresolved;
    }
    // A request to address left at now: its entry is asking.
    void added(Ipv4Address address, TimePoint now)
    {
        expire(now);
        // Asked again: the entry it has already.
        if (!m_pins.try_emplace(address.toHostOrder(), Pin{now + kUnresolvedLifetime, false})
                 .second)
            return;
        ++m_asking;
        m_nextExpiry = std::min(m_nextExpiry, now + kUnresolvedLifetime);
    }
    // A card answered for address at now: its entry holds on for long.
    void resolved(Ipv4Address address, TimePoint now)
    {
        expire(now);
        const auto it = m_pins.find(address.toHostOrder());
        if (it == m_pins.end())
            return; // not an entry of ours
        if (!it->second.resolved)
            --m_asking;
        it->second = {now + kResolvedLifetime, true};
    }
    // When mayAdd() may turn true (now if it is).
    TimePoint nextRoom(TimePoint now)
    {
        if (mayAdd(now))
            return now;
        // Full: the first pin that may go, of the kind that is full.
        const bool asking = m_asking >= m_unresolved && int(m_pins.size()) < m_entries;
        TimePoint first = TimePoint::max();
        for (const auto& [address, p] : m_pins)
            if (!asking || !p.resolved)
                first = std::min(first, p.until);
        return first;
    }

private:
    struct Pin {
        TimePoint until;
        bool resolved = false;
    };
    void expire(TimePoint now)
    {
        if (now < m_nextExpiry)
            return;
        m_nextExpiry = TimePoint::max();
        for (auto it = m_pins.begin(); it != m_pins.end();) {
            if (it->second.until <= now) {
                m_asking -= it->second.resolved ? 0 : 1;
                it = m_pins.erase(it);
            } else {
                m_nextExpiry = std::min(m_nextExpiry, it->second.until);
                ++it;
            }
        }
    }

    int m_entries;
    int m_unresolved;
    int m_asking = 0;
    std::unordered_map<std::uint32_t, Pin> m_pins;
    TimePoint m_nextExpiry{};
};

} // namespace zeph
