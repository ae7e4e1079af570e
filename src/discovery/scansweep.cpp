#include "discovery/scansweep.h"

#include "core/logging.h"
#include "platform/echoprobe.h"

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
    : QObject(parent), m_network(network), m_highest(highest), m_transport(std::move(transport)),
      m_clock(clock), m_lookup(std::move(lookup)),
      m_interval(std::max<std::chrono::nanoseconds>(
          kMinimumInterval,
          m_transport ? m_transport->minimumInterval() : std::chrono::nanoseconds::zero())),
      m_mailbox(std::make_shared<Mailbox>()), m_ownThreads(std::make_unique<LookupThreads>()),
      m_threads(m_ownThreads.get()), m_hosts(std::size_t(highest) + 1)
{
    m_mailbox->sweep = this;
    if (m_transport)
        m_transport->setReplyHandler([this](Ipv4Address from) { replied(from); });
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
    while (!m_windows.empty()) {
        Host& h = m_hosts[std::size_t(m_windows.front())];
        if (h.state == State::Waiting && h.deadline > now)
            break;
        if (h.state == State::Waiting)
            h.state = State::Settled; // silent
        m_windows.pop_front();
    }
    if (!m_transport) {
        for (; m_next <= m_highest; ++m_next)
            m_hosts[std::size_t(m_next)].state = State::Settled;
    } else if (m_next <= m_highest && (m_next == 1 || now - m_lastSend >= m_interval)) {
        sendNext(now);
    }
    advance();
    if (!m_stopped)
        scheduleWake();
}

void ScanSweep::sendNext(ScanClock::TimePoint now)
{
    const int host = m_next++;
    Host& h = m_hosts[std::size_t(host)];
    m_lastSend = now;
    if (!m_transport->send(addressOf(host))) {
        h.state = State::Settled; // it could not leave: silent
        return;
    }
    h.state = State::Waiting;
    h.deadline = now + kAnswerWindow;
    m_windows.push_back(host);
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
    h.state = State::Answered;
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
    if (m_next <= m_highest)
        when = m_lastSend + m_interval;
    if (!m_windows.empty())
        when = std::min(when.value_or(ScanClock::TimePoint::max()),
                        m_hosts[std::size_t(m_windows.front())].deadline);
    if (when)
        m_clock.wakeAt(*when);
    else
        m_clock.cancelWake();
}

} // namespace zeph
