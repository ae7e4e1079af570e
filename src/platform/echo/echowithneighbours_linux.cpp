#include "platform/echo/echowithneighbours.h"

#include "platform/echo/neighbourwatch.h"

#include <unordered_map>
#include <utility>
#include <vector>

namespace zeph::platform {
namespace {

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
    int maxUnresolved() const override { return m_inner->maxUnresolved(); }
    std::chrono::nanoseconds minimumInterval() const override { return m_inner->minimumInterval(); }

    bool send(Ipv4Address address) override
    {
        if (!m_inner->send(address))
            return false;
        // No change will come for an entry resolved already: its card counts
        // as answering now (the next read reports it, once the sweep has
        // opened the address's window).
        const auto it = m_resolved.find(address.toHostOrder());
        if (it != m_resolved.end())
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
    void changed(const neighbours::Entry& e)
    {
        if (e.removed || !neighbours::isResolved(e.state) || !e.hasLinkAddress) {
            m_resolved.erase(e.address.toHostOrder());
            return;
        }
        m_resolved[e.address.toHostOrder()] = e.linkAddress;
        linkAnswered(e.address, e.linkAddress);
    }

    std::unique_ptr<EchoTransport> m_inner;
    NeighbourWatch m_watch;
    std::unordered_map<std::uint32_t, LinkAddress> m_resolved;
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
