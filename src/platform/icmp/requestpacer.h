#pragma once
// How fast the zeph-probe helper sends, whatever it is asked: any local user
// can run it, so it holds itself to what fping allows unprivileged users. At
// least kFloor between two requests, at least kPerDestination between two
// requests to one address, and at most kMaxRequests in its whole life. Plain
// C++, the time given by the caller, so that tests need no clock.

#include "core/ipv4.h"
#include "platform/icmp/probeprotocol.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>

namespace zeph::probe {

class RequestPacer {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::chrono::milliseconds kPerDestination{10};
    // One helper serves one sweep, which asks each address of at most a /20
    // (4094) once, or twice where echo follows ARP: four times that sweep
    // leaves room for re-asked addresses and still ends a helper that is used
    // to flood at about 16 s of requests at the floor.
    static constexpr std::size_t kMaxRequests = 16384;

    // When a request to dest may leave; nothing once the helper has sent all
    // it ever may.
    std::optional<Clock::time_point> earliest(Ipv4Address dest) const
    {
        if (m_count >= kMaxRequests)
            return std::nullopt;
        Clock::time_point at = m_last ? *m_last + kFloor : Clock::time_point{};
        for (const auto& [address, sentAt] : m_recent) {
            if (address == dest)
                at = std::max(at, sentAt + kPerDestination);
        }
        return at;
    }

    // A request to dest left at now.
    void sent(Ipv4Address dest, Clock::time_point now)
    {
        ++m_count;
        m_last = now;
        // Only requests younger than kPerDestination can hold one back: at
        // the floor, about ten of them.
        while (!m_recent.empty() && m_recent.front().second + kPerDestination <= now)
            m_recent.pop_front();
        m_recent.emplace_back(dest, now);
    }

    std::size_t count() const { return m_count; }

private:
    std::optional<Clock::time_point> m_last;
    std::deque<std::pair<Ipv4Address, Clock::time_point>> m_recent; // oldest first
    std::size_t m_count = 0;
};

} // namespace zeph::probe
