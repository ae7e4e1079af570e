#include "platform/echo/echowithneighbours.h"

#include "platform/echo/neighbourwatch.h"

#include <linux/neighbour.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zeph::platform {
namespace {

using Clock = std::chrono::steady_clock;

class NeighbourTransport : public EchoTransport {
public:
    explicit NeighbourTransport(std::unique_ptr<EchoTransport> inner) : m_inner(std::move(inner))
    {
        m_inner->setReplyHandler([this](Ipv4Address from) { replied(from); });
    }

    bool start()
    {
        return m_watch.start([this](const neighbours::Entry& e) { changed(e); });
    }

    EchoMethod method() const override { return m_inner->method(); }
    bool busy() const override { return m_inner->busy(); }
    bool slowed() const override { return m_inner->slowed(); }
    int maxUnresolved() const override { return m_inner->maxUnresolved(); }
    std::chrono::nanoseconds minimumInterval() const override { return m_inner->minimumInterval(); }

    bool send(Ipv4Address address) override
    {
        const Clock::time_point now = Clock::now();
        if (!m_inner->send(address))
            return false;
        m_sentAt.try_emplace(address.toHostOrder(), now);
        // REACHABLE already: no change will come, and the kernel had an answer
        // to its own request within its reachable time (at most 45 s). It
        // counts once the sweep has opened the address's window.
        const auto it = m_reachable.find(address.toHostOrder());
        if (it != m_reachable.end())
            m_known.push_back({address, it->second});
        return true;
    }

    void readPending() override
    {
        m_watch.readPending();
        for (const auto& [address, card] : std::exchange(m_known, {}))
            linkAnswered(address, card);
        m_inner->readPending();
    }

private:
    // Evidence from the address's own window: the kernel had the card's
    // answer after our request left (to within one tick of the age it
    // gives). An entry STALE, DELAY or PROBE from before (any host can make
    // one by asking us) is no answer by itself.
    void changed(const neighbours::Entry& e)
    {
        if (!e.removed && e.hasLinkAddress && (e.state & NUD_REACHABLE))
            m_reachable[e.address.toHostOrder()] = e.linkAddress;
        else
            m_reachable.erase(e.address.toHostOrder());
        if (e.removed || !neighbours::isResolved(e.state) || !e.hasLinkAddress ||
            !e.confirmedTicksAgo)
            return;
        const auto sent = m_sentAt.find(e.address.toHostOrder());
        if (sent == m_sentAt.end())
            return;
        const Clock::time_point confirmed =
            Clock::now() - neighbours::tick() * (std::int64_t(*e.confirmedTicksAgo) - 1);
        if (confirmed >= sent->second)
            linkAnswered(e.address, e.linkAddress);
    }

    std::unique_ptr<EchoTransport> m_inner;
    NeighbourWatch m_watch;
    std::unordered_map<std::uint32_t, Clock::time_point> m_sentAt; // first request
    std::unordered_map<std::uint32_t, LinkAddress> m_reachable;
    std::vector<std::pair<Ipv4Address, LinkAddress>> m_known;
};

} // namespace

std::unique_ptr<EchoTransport> withNeighbourTable(std::unique_ptr<EchoTransport> inner)
{
    if (!inner)
        return inner;
    auto transport = std::make_unique<NeighbourTransport>(std::move(inner));
    transport->start(); // without the table it still echoes
    return transport;
}

} // namespace zeph::platform
