#include "discovery/scansweep.h"

#include "core/logging.h"
#include "platform/echo/echoprobe.h"

#include <algorithm>
#include <mutex>

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

namespace {

int countOf(const std::vector<ScanSweep::Subnet>& subnets)
{
    int n = 0;
    for (const ScanSweep::Subnet& s : subnets)
        n += s.range.size();
    return n;
}

// A sweep of at most a /24 is paced as it always was: its entries fit the
// table and one socket. A wider one keeps as many asking at once as the way
// out's send buffers hold.
NeighbourBudget budgetFor(int addresses, int neighbourEntries,
                          const platform::EchoTransport* transport)
{
    const int unresolved =
        addresses <= kHighestHostNumber
            ? kHighestHostNumber
            : std::min(neighbourEntries, transport ? transport->maxUnresolved() : neighbourEntries);
    return NeighbourBudget(std::max(neighbourEntries, unresolved), unresolved);
}

} // namespace

ScanSweep::ScanSweep(const std::vector<Subnet>& subnets, int neighbourEntries,
                     std::unique_ptr<platform::EchoTransport> transport, ScanClock& clock,
                     ReverseLookup lookup, QObject* parent)
    : QObject(parent), m_transport(std::move(transport)), m_clock(clock),
      m_lookup(std::move(lookup)),
      m_transportInterval(m_transport ? m_transport->minimumInterval()
                                      : std::chrono::nanoseconds::zero()),
      m_budget(budgetFor(countOf(subnets), neighbourEntries, m_transport.get())),
      m_mailbox(std::make_shared<Mailbox>()), m_ownThreads(std::make_unique<LookupThreads>()),
      m_threads(m_ownThreads.get())
{
    m_hosts.reserve(std::size_t(countOf(subnets)));
    for (const Subnet& s : subnets) {
        const int begin = int(m_hosts.size());
        const Lane lane{s, begin, begin, begin + s.range.size(), std::nullopt};
        for (int i = 0; i < s.range.size(); ++i)
            m_hosts.push_back({s.range.at(i), int(m_lanes.size()), State::Unsent, {}, false, {}});
        m_lanes.push_back(lane);
    }
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
    m_slowed = slowed();
    m_transport.reset();
}

int ScanSweep::indexOf(Ipv4Address address) const
{
    for (const Lane& lane : m_lanes)
        if (const int i = lane.subnet.range.indexOf(address); i >= 0)
            return lane.begin + i;
    return -1;
}

void ScanSweep::step()
{
    if (m_stopped)
        return;
    if (m_transport)
        m_transport->readPending();
    const ScanClock::TimePoint now = m_clock.now();
    closeWindows(now);
    if (!m_transport) {
        for (Lane& lane : m_lanes)
            for (; lane.next < lane.end; ++lane.next)
                m_hosts[std::size_t(lane.next)].state = State::Settled;
    } else if ((m_lastSend && now - *m_lastSend < m_transportInterval) || m_transport->busy()) {
        // not yet
    } else if (!m_echoLater.empty() && m_budget.mayAdd(now)) {
        sendEchoLater(now);
    } else {
        sendFromLanes(now);
    }
    advance();
    if (!m_stopped)
        scheduleWake();
}

void ScanSweep::closeWindows(ScanClock::TimePoint now)
{
    // A window reopened for an echo (after a proxy's ARP answer) stays in the
    // queue twice; the later entry closes it.
    while (!m_windows.empty() && m_windows.front().deadline <= now) {
        Host& h = m_hosts[std::size_t(m_windows.front().host)];
        if (h.state == State::Waiting && h.deadline <= now)
            h.state = State::Settled; // silent
        m_windows.pop_front();
    }
}

bool ScanSweep::slowed() const
{
    return m_slowed || (m_transport && m_transport->slowed());
}

bool ScanSweep::onSegment(int host) const
{
    const Host& h = m_hosts[std::size_t(host)];
    const Subnet& s = m_lanes[std::size_t(h.lane)].subnet;
    return s.attached && h.address.isNeighbourOf(s.own, s.prefixLength);
}

// An echo to an address on the segment, without ARP of our own, makes the
// kernel ask: a neighbour entry.
bool ScanSweep::needsEntry(int host) const
{
    return !m_transport->asksArp() && onSegment(host);
}

bool ScanSweep::attachedLeft() const
{
    return std::any_of(m_lanes.begin(), m_lanes.end(),
                       [](const Lane& l) { return l.subnet.attached && l.next < l.end; });
}

// When the lane may send its next request, as far as the lane and the table
// go; nothing when it has nothing to send or waits for the attached subnets.
std::optional<ScanClock::TimePoint> ScanSweep::laneReady(const Lane& lane, ScanClock::TimePoint now)
{
    if (lane.next >= lane.end || (!lane.subnet.attached && attachedLeft()))
        return std::nullopt;
    ScanClock::TimePoint at = lane.lastSend ? *lane.lastSend + kMinimumInterval : now;
    if (needsEntry(lane.next))
        at = std::max(at, m_budget.nextRoom(now));
    return at;
}

void ScanSweep::sendFromLanes(ScanClock::TimePoint now)
{
    // Each subnet on its own pace, all of them at once; a way out with a
    // floor of its own takes one request per step.
    for (std::size_t k = 0; k < m_lanes.size(); ++k) {
        Lane& lane = m_lanes[(m_nextLane + k) % m_lanes.size()];
        const std::optional<ScanClock::TimePoint> ready = laneReady(lane, now);
        if (!ready || *ready > now)
            continue;
        lane.lastSend = now;
        send(lane.next++, now);
        if (m_transportInterval > std::chrono::nanoseconds::zero() || m_transport->busy()) {
            m_nextLane = (m_nextLane + k + 1) % m_lanes.size();
            return;
        }
    }
}

void ScanSweep::send(int host, ScanClock::TimePoint now)
{
    Host& h = m_hosts[std::size_t(host)];
    m_lastSend = now;
    const bool byArp = m_transport->asksArp() && onSegment(host);
    if (byArp ? !m_transport->sendArp(h.address) : !sendEcho(host, now)) {
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
    if (!sendEcho(host, now)) {
        h.state = State::Settled;
        return;
    }
    // The proxy answers the kernel's ARP for it at once: its entry holds on
    // for long.
    if (onSegment(host))
        m_budget.resolved(h.address, now);
    openWindow(host, now);
}

bool ScanSweep::sendEcho(int host, ScanClock::TimePoint now)
{
    Host& h = m_hosts[std::size_t(host)];
    if (!m_transport->send(h.address))
        return false;
    h.echoSent = true;
    if (onSegment(host))
        m_budget.added(h.address, now);
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
    const int host = indexOf(from);
    // Late (a step has closed its window) or a duplicate: nothing changes.
    // A window closes only after the replies already queued are read, so a
    // window that passes while the event loop is busy elsewhere loses nothing.
    if (host < 0 || m_hosts[std::size_t(host)].state != State::Waiting)
        return;
    answered(host);
}

void ScanSweep::linkAnswered(Ipv4Address address, const LinkAddress& card)
{
    if (m_stopped)
        return;
    const int host = indexOf(address);
    if (host < 0)
        return;
    Host& h = m_hosts[std::size_t(host)];
    // The kernel's entry for our echo resolved: it stays for long.
    if (h.echoSent && onSegment(host))
        m_budget.resolved(address, m_clock.now());
    if (h.state != State::Waiting)
        return;
    if (m_proxies.counts(address, card)) {
        answered(host);
        return;
    }
    // A proxy's answer says nothing: the address itself must answer echo,
    // sent as soon as the neighbour table has room; its window stays open
    // until then.
    if (!h.echoSent) {
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
        if (!m_threads->start([mailbox = m_mailbox, lookup = m_lookup, host,
                               address = m_hosts[std::size_t(host)].address] {
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
    qCDebug(lcDiscovery) << QByteArray::fromStdString(h.address.toString()) << "answered, name"
                         << name;
    startLookups();
    advance();
}

void ScanSweep::advance()
{
    const int before = m_frontier;
    const int count = int(m_hosts.size());
    while (!m_stopped && m_frontier < count &&
           m_hosts[std::size_t(m_frontier)].state == State::Settled) {
        const Host& h = m_hosts[std::size_t(m_frontier)];
        if (!h.name.isEmpty())
            Q_EMIT listed(h.name, h.address);
        ++m_frontier;
    }
    if (m_stopped || (m_frontier == before && count > 0))
        return;
    Q_EMIT progressed(m_frontier);
    if (!m_stopped && m_frontier >= count) {
        stop();
        Q_EMIT finished();
    }
}

void ScanSweep::scheduleWake()
{
    const ScanClock::TimePoint now = m_clock.now();
    std::optional<ScanClock::TimePoint> when;
    if (!m_echoLater.empty())
        when = m_budget.nextRoom(now);
    for (const Lane& lane : m_lanes)
        if (const auto ready = laneReady(lane, now))
            when = std::min(when.value_or(*ready), *ready);
    if (when) {
        if (m_lastSend)
            when = std::max(*when, *m_lastSend + m_transportInterval);
        // Whatever could go now went in this step.
        when = std::max(
            *when, now + (m_transport->busy() ? kMinimumInterval : std::chrono::microseconds(10)));
    }
    if (!m_windows.empty())
        when = std::min(when.value_or(ScanClock::TimePoint::max()), m_windows.front().deadline);
    if (when)
        m_clock.wakeAt(*when);
    else
        m_clock.cancelWake();
}

} // namespace zeph
