#include "discovery/scanner.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "core/texts.h"
#include "discovery/scanview.h"
#include "discovery/texts.h"
#include "history/history.h"
#include "platform/echo/echoprobe.h"
#include "platform/echo/neighbourwatch.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>

namespace zeph {

Scanner::Scanner(History& history, ScanView& view, OpenTransport openTransport,
                 ReverseLookup lookup, std::unique_ptr<ScanClock> clock, QObject* parent)
    : QObject(parent), m_history(history), m_view(view), m_openTransport(std::move(openTransport)),
      m_lookup(std::move(lookup)), m_clock(clock ? std::move(clock) : makeSystemScanClock())
{
    m_clock->setWakeUp([this] {
        if (m_sweep)
            m_sweep->step();
    });
}

Scanner::~Scanner()
{
    // Sweeps use the clock: they go before it does.
    qDeleteAll(findChildren<ScanSweep*>(Qt::FindDirectChildrenOnly));
    m_sweep = nullptr;
    // No lookup may run on once the name lookup it asks, or the program's
    // statics, go; each ends within the resolver's and the LAN's own timeouts.
    m_lookupThreads.joinAll();
    m_clock->setWakeUp(nullptr);
}

QByteArray Scanner::startText()
{
    return G(texts::kScanRunning);
}
QByteArray Scanner::cancelledText()
{
    return G(texts::kScanCancelled);
}
QByteArray Scanner::completedText()
{
    return G(texts::kScanCompleted);
}
QByteArray Scanner::noAddressText()
{
    return G(texts::kScanNoAddress);
}
QByteArray Scanner::slowedText()
{
    return G(texts::kScanSlowed);
}

namespace {
QByteArray statusText()
{
    return G(texts::kScanStatus);
}

// The subnets cut to their first n addresses in ascending order.
std::vector<ScanSweep::Subnet> firstAddresses(std::vector<ScanSweep::Subnet> subnets, int n)
{
    std::vector<ScanSweep::Subnet> cut;
    for (ScanSweep::Subnet& s : subnets) {
        if (n <= 0)
            break;
        if (s.range.size() > n)
            s.range.last = s.range.at(n - 1);
        n -= s.range.size();
        cut.push_back(s);
    }
    return cut;
}
} // namespace

void Scanner::startUp(std::optional<Ipv4Address> localAddress, int prefixLength)
{
    std::vector<lan::ScanInterface> attached;
    if (localAddress)
        attached.push_back({*localAddress, prefixLength, std::nullopt});
    startUp(attached);
}

namespace {

// The ranges taken so far, last address by first: disjoint, so a range
// overlaps one of them only if it overlaps a neighbour of where it would go.
using TakenRanges = std::map<std::uint32_t, std::uint32_t>;

bool overlaps(const TakenRanges& taken, const SweepRange& r)
{
    const auto next = taken.lower_bound(r.first.toHostOrder());
    if (next != taken.end() && next->first <= r.last.toHostOrder())
        return true;
    return next != taken.begin() && std::prev(next)->second >= r.first.toHostOrder();
}

bool take(TakenRanges& taken, const SweepRange& r)
{
    if (overlaps(taken, r))
        return false;
    taken.emplace(r.first.toHostOrder(), r.last.toHostOrder());
    return true;
}

} // namespace

void Scanner::startUp(const std::vector<lan::ScanInterface>& attached,
                      const std::vector<NamedSubnet>& named)
{
    m_subnets.clear();
    TakenRanges taken;
    for (const lan::ScanInterface& on : attached) {
        const ScanSweep::Subnet s{sweepRange(on.address, on.prefixLength), true, on.address,
                                  on.prefixLength};
        if (take(taken, s.range))
            m_subnets.push_back(s);
    }
    for (const NamedSubnet& n : named) {
        const ScanSweep::Subnet s{namedSubnetRange(n.network, n.prefixLength), false, {}, -1};
        if (take(taken, s.range))
            m_subnets.push_back(s);
        else
            qCInfo(lcDiscovery) << "named subnet" << n.network.toString().c_str()
                                << "overlaps one swept already: left out";
    }
    std::sort(m_subnets.begin(), m_subnets.end(),
              [](const ScanSweep::Subnet& a, const ScanSweep::Subnet& b) {
                  return a.range.first < b.range.first;
              });
    // Disjoint ranges hold at most every address once: 64 bits count them all.
    std::int64_t addresses = 0;
    for (const ScanSweep::Subnet& s : m_subnets)
        addresses += std::int64_t(s.range.last.toHostOrder() - s.range.first.toHostOrder()) + 1;
    m_rangeSize = int(std::min<std::int64_t>(addresses, std::numeric_limits<int>::max()));
    if (m_subnets.empty()) {
        qCWarning(lcDiscovery) << "no usable local IPv4 address";
        m_rangeSize = kHighestHostNumber;
    }
    m_neighbourEntries = platform::neighbourTableLimit() / 2;
    m_highest = m_rangeSize;
    m_view.setProgressMaximum(m_highest);
    m_running = false;
}

void Scanner::requestCancel()
{
    if (!m_running)
        return;
    reportSlowed();
    m_history.appendNotice(cancelledText());
    end(true);
}

void Scanner::run()
{
    if (m_running)
        return;
    m_view.setStatus(statusText());
    m_view.waitCursorOn();
    m_view.setProgressVisible(true);
    m_view.clearComputers();
    m_running = true;
    m_view.setScanButtons(true);
    m_history.appendNotice(startText());
    Q_EMIT started();

    if (m_subnets.empty()) {
        m_history.appendError(noAddressText());
        end(false);
        return;
    }
    m_sweep =
        new ScanSweep(firstAddresses(m_subnets, m_highest), m_neighbourEntries,
                      m_openTransport ? m_openTransport() : nullptr, *m_clock, m_lookup, this);
    m_sweep->setLookupThreads(m_lookupThreads);
    connect(m_sweep, &ScanSweep::listed, this, &Scanner::list);
    connect(m_sweep, &ScanSweep::progressed, this,
            [this](int host) { m_view.setProgressPosition(host); });
    connect(m_sweep, &ScanSweep::finished, this, [this] {
        reportSlowed();
        m_history.appendNotice(completedText());
        end(false);
    });
    m_sweep->start();
}

void Scanner::list(const QByteArray& name, Ipv4Address address)
{
    m_view.addComputer(name, address);
    Q_EMIT computerListed(name, address);
}

void Scanner::reportSlowed()
{
    // The helper could not share the machine's turn and paced itself slower.
    if (m_sweep && m_sweep->slowed())
        m_history.appendError(slowedText());
}

void Scanner::end(bool cancelled)
{
    if (m_sweep) {
        // This may run inside one of the sweep's own signals: it goes later.
        m_sweep->stop();
        m_sweep->disconnect(this);
        m_sweep->deleteLater();
        m_sweep = nullptr;
    }
    cleanUp();
    qCDebug(lcDiscovery) << "scan ended," << (cancelled ? "cancelled" : "completed");
    Q_EMIT finished(cancelled);
}

void Scanner::cleanUp()
{
    m_view.setStatus(QByteArray());
    m_view.setProgressVisible(false);
    m_view.restoreCursor();
    m_running = false;
    m_view.setScanButtons(false);
}

} // namespace zeph
