#include "discovery/scansweep.h"

#include "core/logging.h"
#include "platform/echo/echoprobe.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace zeph {

// Where the worker threads hand their names back. The sweep may be gone by
// then (cancelled, or the program ending): it detaches itself under the lock,
// and a result posted before that dies with the sweep's pending events.
struct ScanSweep::Mailbox {
    std::mutex mutex;
    ScanSweep* sweep = nullptr;

    void deliver(int host, const QByteArray& name)
    {
        const std::lock_guard lock(mutex);
        if (sweep)
            QMetaObject::invokeMethod(
                sweep, [s = sweep, host, name] { s->lookedUp(host, name); }, Qt::QueuedConnection);
    }
};

ScanSweep::ScanSweep(Ipv4Address network, int highest,
                     std::unique_ptr<platform::EchoTransport> transport, ScanClock& clock,
                     ReverseLookup lookup, QObject* parent)
    : ScanSweep(network, highest, Segment{}, std::move(transport), clock, std::move(lookup), parent)
{
}

ScanSweep::ScanSweep(Ipv4Address network, int highest, Segment segment,
                     std::unique_ptr<platform::EchoTransport> transport, ScanClock& clock,
                     ReverseLookup lookup, QObject* parent)
    : QObject(parent), m_network(network), m_highest(highest), m_segment(segment),
      m_transport(std::move(transport)), m_clock(clock), m_lookup(std::move(lookup)),
      m_interval(std::max<std::chrono::nanoseconds>(
          kMinimumInterval,
          m_transport ? m_transport->minimumInterval() : std::chrono::nanoseconds::zero())),
      // A /24 is swept as it always was: its 255 entries fit the table and
      // one socket.
      m_budget(highest <= kHighestHostNumber ? highest
               : m_transport ? std::min(m_segment.neighbourBudget, m_transport->maxUnresolved())
                             : m_segment.neighbourBudget),
      m_mailbox(std::make_shared<Mailbox>()), m_ownThreads(std::make_unique<LookupThreads>()),
      m_threads(m_ownThreads.get()), m_hosts(std::size_t(highest) + 1)
{
    m_mailbox->sweep = this;
    if (m_transport) {
        m_transport->setReplyHandler([this](Ipv4Address from) { replied(from); });
        m_transport->setLinkAnswerHandler(
            [this](Ipv4Address a, const LinkAddress& card) { linkAnswered(a, card); });
    }
}

ScanSweep::~ScanSweep()
{
    stop();
}

void ScanSweep::start()
{
    m_clock.wakeAt(m_clock.now());
}

void ScanSweep::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_clock.cancelWake();
    {
        const std::lock_guard lock(m_mailbox->mutex);
        m_mailbox->sweep = nullptr;
    }
    m_transport.reset();
}

Ipv4Address ScanSweep::addressOf(int host) const
{
    return Ipv4Address(m_network.toHostOrder() + std::uint32_t(host));
}

int ScanSweep::hostOf(Ipv4Address address) const
{
    // Unsigned: an address below the network wraps far above the range.
    const std::uint32_t host = address.toHostOrder() - m_network.toHostOrder();
    return host >= 1 && host <= std::uint32_t(m_highest) ? int(host) : 0;
}

void ScanSweep::step()
{
    if (m_stopped)
        return;
    if (m_transport)
        m_transport->readPending();
    const ScanClock::TimePoint now = m_clock.now();
    // A window reopened for an echo (after a proxy's ARP answer) stays in the
    // queue twice; the later entry closes it.
    while (!m_windows.empty() && m_windows.front().deadline <= now) {
        Host& h = m_hosts[std::size_t(m_windows.front().host)];
        if (h.state == State::Waiting && h.deadline <= now)
            h.state = State::Settled; // silent
        m_windows.pop_front();
    }
    if (!m_transport) {
        for (; m_next <= m_highest; ++m_next)
            m_hosts[std::size_t(m_next)].state = State::Settled;
    } else if ((m_next != 1 && now - m_lastSend < m_interval) || m_transport->busy()) {
        // not yet
    } else if (!m_echoLater.empty() && mayAddNeighbour(now)) {
        sendEchoLater(now);
    } else if (m_next <= m_highest) {
        const bool needsEntry = !m_transport->asksArp() && onSegment(addressOf(m_next));
        if (needsEntry && !mayPinProxied())
            // A proxy answers for every address here and the table holds as
            // many of its entries as it may: the rest of the segment goes unasked.
            settle(m_next++);
        else if (!needsEntry || mayAddNeighbour(now))
            sendNext(now);
    }
    advance();
    if (!m_stopped)
        scheduleWake();
}

bool ScanSweep::onSegment(Ipv4Address address) const
{
    const int prefix = m_segment.prefixLength;
    if (prefix < 0 || prefix > 30 || address == m_segment.own ||
        !address.inSubnet(m_segment.own, prefix))
        return false;
    const std::uint32_t hostPart = address.toHostOrder() & ~Ipv4Address::maskOf(prefix);
    return hostPart != 0 && hostPart != ~Ipv4Address::maskOf(prefix);
}

bool ScanSweep::mayPinProxied() const
{
    return m_proxiedEntries < std::max(1, m_budget / 4);
}

void ScanSweep::settle(int host)
{
    m_hosts[std::size_t(host)].state = State::Settled;
}

// An echo to an address on the segment makes a neighbour entry the kernel
// cannot drop for a while: no more than the budget at once.
bool ScanSweep::mayAddNeighbour(ScanClock::TimePoint now)
{
    std::erase_if(m_entriesPinnedUntil, [now](ScanClock::TimePoint t) { return t <= now; });
    return int(m_entriesPinnedUntil.size()) < std::max(1, m_budget);
}

void ScanSweep::sendNext(ScanClock::TimePoint now)
{
    const int host = m_next++;
    Host& h = m_hosts[std::size_t(host)];
    const Ipv4Address address = addressOf(host);
    m_lastSend = now;
    const bool byArp = m_transport->asksArp() && onSegment(address);
    if (byArp ? !m_transport->sendArp(address) : !sendEcho(host, now, kUnresolvedLifetime)) {
        h.state = State::Settled; // it could not leave: silent
        return;
    }
    h.state = State::Waiting;
    openWindow(host, now);
}

void ScanSweep::sendEchoLater(ScanClock::TimePoint now)
{
    const int host = m_echoLater.front();
    m_echoLater.pop_front();
    m_lastSend = now;
    Host& h = m_hosts[std::size_t(host)];
    if (h.state != State::Waiting)
        return;
    // The proxy answers ARP for it: its entry resolves at once.
    if (sendEcho(host, now, kResolvedLifetime))
        openWindow(host, now);
    else
        h.state = State::Settled;
    ++m_proxiedEntries;
}

bool ScanSweep::sendEcho(int host, ScanClock::TimePoint now,
                         std::chrono::milliseconds entryLifetime)
{
    const Ipv4Address address = addressOf(host);
    if (!m_transport->send(address))
        return false;
    m_hosts[std::size_t(host)].echoSent = true;
    if (onSegment(address))
        m_entriesPinnedUntil.push_back(now + entryLifetime);
    return true;
}

void ScanSweep::openWindow(int host, ScanClock::TimePoint now)
{
    m_hosts[std::size_t(host)].deadline = now + kAnswerWindow;
    m_windows.push_back({host, now + kAnswerWindow});
}

void ScanSweep::replied(Ipv4Address from)
{
    if (m_stopped)
        return;
    const int host = hostOf(from);
    if (host == 0)
        return;
    Host& h = m_hosts[std::size_t(host)];
    // Late (a step has closed its window) or a duplicate: nothing changes.
    // A window closes only after the replies already queued are read, so a
    // window that passes while the event loop is busy elsewhere loses nothing.
    if (h.state != State::Waiting)
        return;
    answered(host);
}

void ScanSweep::linkAnswered(Ipv4Address address, const LinkAddress& card)
{
    if (m_stopped)
        return;
    const int host = hostOf(address);
    if (host == 0 || m_hosts[std::size_t(host)].state != State::Waiting)
        return;
    if (m_proxies.counts(address, card)) {
        answered(host);
        return;
    }
    // A proxy's answer says nothing: the address itself must answer echo,
    // sent as the neighbour table allows; its window stays open until then.
    Host& h = m_hosts[std::size_t(host)];
    if (h.echoSent) {
        // The kernel resolved it through the proxy: pinned for long.
        if (onSegment(address)) {
            m_entriesPinnedUntil.push_back(m_clock.now() + kResolvedLifetime);
            ++m_proxiedEntries;
        }
    } else if (mayPinProxied() &&
               int(m_echoLater.size()) + m_proxiedEntries < std::max(1, m_budget / 4)) {
        h.echoSent = true;
        h.deadline = ScanClock::TimePoint::max();
        m_echoLater.push_back(host);
    }
}

void ScanSweep::answered(int host)
{
    m_hosts[std::size_t(host)].state = State::Answered;
    m_lookupQueue.push_back(host);
    startLookups();
}

void ScanSweep::startLookups()
{
    while (m_lookupsRunning < kMaxLookups && !m_lookupQueue.empty()) {
        const int host = m_lookupQueue.front();
        m_lookupQueue.pop_front();
        ++m_lookupsRunning;
        // The resolver may block for seconds: never on this thread, and never
        // waited for while the scan runs. The worker owns what it touches but
        // the lookup, whose owner outlives the threads.
        if (!m_threads->start(
                [mailbox = m_mailbox, lookup = m_lookup, host, address = addressOf(host)] {
                    mailbox->deliver(host, lookup ? lookup(address) : QByteArray());
                }))
            m_mailbox->deliver(host, QByteArray()); // nameless, from the event loop
    }
}

void ScanSweep::lookedUp(int host, const QByteArray& name)
{
    if (m_stopped)
        return;
    --m_lookupsRunning;
    Host& h = m_hosts[std::size_t(host)];
    h.name = name;
    h.state = State::Settled;
    // Quoted as before: the package's end-to-end test reads this line.
    qCDebug(lcDiscovery) << QByteArray::fromStdString(addressOf(host).toString())
                         << "answered, name" << name;
    startLookups();
    advance();
}

void ScanSweep::advance()
{
    const int before = m_frontier;
    while (!m_stopped && m_frontier <= m_highest &&
           m_hosts[std::size_t(m_frontier)].state == State::Settled) {
        const Host& h = m_hosts[std::size_t(m_frontier)];
        if (!h.name.isEmpty())
            Q_EMIT listed(h.name, addressOf(m_frontier));
        ++m_frontier;
    }
    if (m_stopped || m_frontier == before)
        return;
    Q_EMIT progressed(m_frontier - 1);
    if (!m_stopped && m_frontier > m_highest) {
        stop();
        Q_EMIT finished();
    }
}

void ScanSweep::scheduleWake()
{
    std::optional<ScanClock::TimePoint> when;
    const bool needsNoEntry =
        m_next <= m_highest && (m_transport->asksArp() || !onSegment(addressOf(m_next)));
    if (m_next <= m_highest || !m_echoLater.empty())
        when = m_transport->busy()
                   ? std::max(m_lastSend + m_interval, m_clock.now() + kMinimumInterval)
                   : m_lastSend + m_interval;
    // Only requests that need a neighbour entry are left and the table is
    // full: the next step is when its first pinned entry may go.
    if (when && !needsNoEntry && int(m_entriesPinnedUntil.size()) >= std::max(1, m_budget))
        when = std::max(
            *when, *std::min_element(m_entriesPinnedUntil.begin(), m_entriesPinnedUntil.end()));
    if (!m_windows.empty())
        when = std::min(when.value_or(ScanClock::TimePoint::max()), m_windows.front().deadline);
    if (when)
        m_clock.wakeAt(*when);
    else
        m_clock.cancelWake();
}

} // namespace zeph
