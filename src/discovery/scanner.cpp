#include "discovery/scanner.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "core/texts.h"
#include "discovery/scanview.h"
#include "history/history.h"
#include "platform/echo/echoprobe.h"
#include "platform/echo/neighbourwatch.h"

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

namespace {
QByteArray statusText()
{
    return G(texts::kScanStatus);
}
} // namespace

void Scanner::startUp(std::optional<Ipv4Address> localAddress, int prefixLength)
{
    m_network.reset();
    m_rangeSize = kHighestHostNumber;
    if (localAddress) {
        const SweepRange range = sweepRange(*localAddress, prefixLength);
        // Host number n is the nth address of the range.
        m_network = Ipv4Address(range.first.toHostOrder() - 1);
        m_rangeSize = range.size();
        m_segment = {*localAddress, prefixLength, platform::neighbourTableLimit() / 2};
    } else {
        qCWarning(lcDiscovery) << "no usable local IPv4 address";
    }
    m_highest = m_rangeSize;
    m_view.setProgressMaximum(m_highest);
    m_running = false;
}

void Scanner::setHighestHostNumber(int n)
{
    m_highest = qBound(1, n, m_rangeSize);
    m_view.setProgressMaximum(m_highest);
}

QByteArray Scanner::computerAt(qsizetype index) const
{
    return index >= 0 && index < m_computers.size() ? m_computers.at(index) : QByteArray();
}

void Scanner::requestCancel()
{
    if (!m_running)
        return;
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
    m_computers.clear();
    m_running = true;
    m_view.setScanButtons(true);
    m_history.appendNotice(startText());
    Q_EMIT started();

    if (!m_network) {
        m_history.appendError(noAddressText());
        end(false);
        return;
    }
    m_sweep =
        new ScanSweep(*m_network, m_highest, m_segment,
                      m_openTransport ? m_openTransport() : nullptr, *m_clock, m_lookup, this);
    m_sweep->setLookupThreads(m_lookupThreads);
    connect(m_sweep, &ScanSweep::listed, this, &Scanner::list);
    connect(m_sweep, &ScanSweep::progressed, this,
            [this](int host) { m_view.setProgressPosition(host); });
    connect(m_sweep, &ScanSweep::finished, this, [this] {
        m_history.appendNotice(completedText());
        end(false);
    });
    m_sweep->start();
}

void Scanner::list(const QByteArray& name, Ipv4Address address)
{
    m_computers.append(name);
    m_view.addComputer(name);
    Q_EMIT computerListed(name, address);
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
