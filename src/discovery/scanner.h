#pragma once
// The subnet scan that fills the computer list: what the user sees of it (the
// status line, cursor, progress, list, buttons and history entries) around a
// ScanSweep that does the probing and naming. run() starts a scan and returns;
// the scan goes on as steps on the event loop and ends with finished(). A
// cancel takes effect at once.
//
// The way out, the clock and the resolver are injected so that the scan does
// not depend on the platform: the real ones are zeph::platform::openEchoTransport,
// makeSystemScanClock() and the application's reverse name lookup.

#include "core/ipv4.h"
#include "discovery/scanclock.h"
#include "discovery/scansweep.h"
#include "discovery/sweeprange.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace zeph {

class History;
class ScanView;
namespace platform {
class EchoTransport;
}

class Scanner : public QObject {
    Q_OBJECT
public:
    // Opens the way out for one scan; null when probing is impossible.
    using OpenTransport = std::function<std::unique_ptr<platform::EchoTransport>()>;
    // Host name of an address, or empty; thread-safe, may block.
    using ReverseLookup = ScanSweep::ReverseLookup;

    // A null clock means the system's.
    Scanner(History& history, ScanView& view, OpenTransport openTransport, ReverseLookup lookup,
            std::unique_ptr<ScanClock> clock = nullptr, QObject* parent = nullptr);
    // Waits for the reverse lookups still running.
    ~Scanner() override;

    // Start-up: the addresses to sweep from the local address and its
    // subnet's prefix length (see sweepRange: the own /24 unless the subnet
    // is a /20 to /23, -1 = unknown), the progress maximum their number, not
    // scanning. Without an address every later scan probes nothing and says so.
    void startUp(std::optional<Ipv4Address> localAddress, int prefixLength = -1);

    // Starts a scan; it ends with finished(). Does nothing while one runs.
    void run();

    // Cancel button and Esc: the scan ends now, keeping the names of the
    // addresses settled so far. Does nothing while no scan runs.
    void requestCancel();

    bool running() const { return m_running; }
    // Reverse lookups of the scan in progress still running (for tests).
    int lookupsRunning() const { return m_sweep ? m_sweep->lookupsRunning() : 0; }
    // The address just below the first one swept (host number 0; on a /24
    // its network address); none without a local address.
    std::optional<Ipv4Address> network() const { return m_network; }
    int highestHostNumber() const { return m_highest; }

    // The names the last scan listed, in list order (the same entries as the
    // window's list); computerAt() is empty for an index out of range.
    const QList<QByteArray>& computers() const { return m_computers; }
    QByteArray computerAt(qsizetype index) const;

    // Test hook: scan a shorter range (1..n, clamped to the range start-up
    // found). Also moves the progress maximum, as start-up does.
    void setHighestHostNumber(int n);

    // The history texts of the scan, GBK.
    static QByteArray startText();
    static QByteArray cancelledText();
    static QByteArray completedText();
    static QByteArray noAddressText();

Q_SIGNALS:
    void started();
    void finished(bool cancelled);
    // One more name in the list, with the address that gave it.
    void computerListed(const QByteArray& name, zeph::Ipv4Address address);

private:
    void list(const QByteArray& name, Ipv4Address address);
    void end(bool cancelled);
    void cleanUp();

    History& m_history;
    ScanView& m_view;
    OpenTransport m_openTransport;
    ReverseLookup m_lookup;
    std::unique_ptr<ScanClock> m_clock;
    LookupThreads m_lookupThreads; // every sweep's: joined before the scanner goes
    ScanSweep* m_sweep = nullptr;  // the scan in progress; a child

    std::optional<Ipv4Address> m_network;
    ScanSweep::Segment m_segment;
    int m_rangeSize = kHighestHostNumber;
    int m_highest = kHighestHostNumber;
    bool m_running = false;
    QList<QByteArray> m_computers;
};

} // namespace zeph
