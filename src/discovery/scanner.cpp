#include "discovery/scanner.h"

#include "core/gbk.h"
#include "core/ipv4.h"
#include "core/logging.h"
#include "core/texts.h"
#include "discovery/scanview.h"
#include "history/history.h"

#include <QPointer>

namespace zeph {

Scanner::Scanner(History& history, ScanView& view, EchoProbe probe, ReverseLookup lookup,
                 QObject* parent)
    : QObject(parent), m_history(history), m_view(view), m_probe(std::move(probe)),
      m_lookup(std::move(lookup))
{
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

QByteArray Scanner::prefixOf(QByteArrayView dotted)
{
    // Only a full dotted quad counts: anything else would make the scan probe
    // addresses that are not on the local subnet at all.
    const auto a = ipv4::parse(dotted);
    if (!a)
        return {};
    QByteArray prefix;
    for (int i = 0; i < 3; ++i)
        prefix.append(QByteArray::number((*a)[i])).append('.');
    return prefix;
}

void Scanner::startUp(QByteArrayView localAddress)
{
    m_prefix = prefixOf(localAddress);
    if (m_prefix.isEmpty())
        qCWarning(lcDiscovery) << "no usable local IPv4 address:" << localAddress;
    m_highest = kHighestHostNumber;
    m_view.setProgressMaximum(m_highest);
    m_cancelRequest = false;
    m_running = false;
}

void Scanner::setHighestHostNumber(int n)
{
    m_highest = qBound(1, n, kHighestHostNumber);
    m_view.setProgressMaximum(m_highest);
}

QByteArray Scanner::computerAt(qsizetype index) const
{
    return index >= 0 && index < m_computers.size() ? m_computers.at(index) : QByteArray();
}

void Scanner::requestCancel()
{
    if (m_running)
        m_cancelRequest = true;
}

void Scanner::run()
{
    if (m_running)
        return;
    // Nested handlers may end the program; if they destroy the scanner on the
    // way, nothing here may touch it again.
    const QPointer<Scanner> alive(this);

    m_view.setStatus(statusText());
    m_view.waitCursorOn();
    m_view.setProgressVisible(true);
    m_view.clearComputers();
    m_computers.clear();
    m_running = true;
    m_view.setScanButtons(true);
    m_history.appendNotice(startText());
    Q_EMIT started();

    bool cancelled = false;
    if (m_prefix.isEmpty()) {
        m_history.appendError(noAddressText());
    } else {
        const int highest = m_highest;
        for (int n = 1; n <= highest; ++n) {
            const QByteArray address = m_prefix + QByteArray::number(n);
            m_view.processPendingEvents();
            if (!alive)
                return;
            const int ms = m_probe ? m_probe(address, kEchoTimeoutMs) : -1;
            if (ms >= 0) {
                const QByteArray name = m_lookup ? m_lookup(address) : QByteArray();
                qCDebug(lcDiscovery) << address << "answered in" << ms << "ms, name" << name;
                if (!name.isEmpty()) {
                    m_computers.append(name);
                    m_view.addComputer(name);
                }
            }
            m_view.processPendingEvents();
            if (!alive)
                return;
            m_view.setProgressPosition(n);
            if (m_cancelRequest) {
                m_history.appendNotice(cancelledText());
                cancelled = true;
                break;
            }
            if (n == highest)
                m_history.appendNotice(completedText());
        }
    }
    cleanUp();
    Q_EMIT finished(cancelled);
}

void Scanner::cleanUp()
{
    m_view.setStatus(QByteArray());
    m_view.setProgressVisible(false);
    m_view.restoreCursor();
    m_running = false;
    m_view.setScanButtons(false);
    m_cancelRequest = false;
}

} // namespace zeph
