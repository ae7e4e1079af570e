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
#include "lan/questions.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zeph {

class History;
class ScanView;
namespace platform {
class EchoTransport;
}
namespace test {
struct ScannerPeer;
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

    // A subnet beyond a router that the user names (a /20 or longer).
    struct NamedSubnet {
        Ipv4Address network;
        int prefixLength = 24;
    };

    // Start-up: the addresses to sweep, those of every attached interface
    // (see sweepRange: the own /24 unless the subnet is a /20 to /23) and
    // then those of the named subnets; a subnet that overlaps one taken
    // before is left out. The progress maximum is their number; not
    // scanning. Without any every later scan probes nothing and says so.
    void startUp(const std::vector<lan::ScanInterface>& attached,
                 const std::vector<NamedSubnet>& named = {});
    // One attached interface: the local address and its subnet's prefix
    // length (-1 = unknown); none without an address.
    void startUp(std::optional<Ipv4Address> localAddress, int prefixLength = -1);

    // Starts a scan; it ends with finished(). Does nothing while one runs.
    void run();

    // Cancel button and Esc: the scan ends now, keeping the names of the
    // addresses settled so far. Does nothing while no scan runs.
    void requestCancel();

    bool running() const { return m_running; }

    // The history texts of the scan, GBK.
    static QByteArray startText();
    static QByteArray cancelledText();
    static QByteArray completedText();
    static QByteArray noAddressText();
    // Before the end notice of a scan whose way out paced itself slower.
    static QByteArray slowedText();

Q_SIGNALS:
    void started();
    void finished(bool cancelled);
    // One more name in the list, with the address that gave it.
    void computerListed(const QByteArray& name, zeph::Ipv4Address address);

private:
    friend struct test::ScannerPeer; // what only the tests look at or narrow
    void list(const QByteArray& name, Ipv4Address address);
    void reportSlowed();
    void end(bool cancelled);
    void cleanUp();

    History& m_history;
    ScanView& m_view;
    OpenTransport m_openTransport;
    ReverseLookup m_lookup;
    std::unique_ptr<ScanClock> m_clock;
    LookupThreads m_lookupThreads; // every sweep's: joined before the scanner goes
    ScanSweep* m_sweep = nullptr;  // the scan in progress; a child

    std::vector<ScanSweep::Subnet> m_subnets; // ascending
    int m_neighbourEntries = 0;
    int m_rangeSize = kHighestHostNumber;
    int m_highest = kHighestHostNumber;
    bool m_running = false;
};

} // namespace zeph
