#pragma once
// One scan as the program runs it, for the tests on a simulated LAN: the
// scanner asks the name lookup for each address, the lookup learns the names
// listed, and the scan covers the interfaces the program would choose.

#include "discovery/scanner.h"
#include "fakescanview.h"
#include "history/history.h"
#include "names/namelookup.h"
#include "peers.h"
#include "platform/echo/echoprobe.h"
#include "platform/net/localaddress.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <optional>
#include <vector>

namespace zeph::test {

struct ScanRun {
    History history;
    FakeScanView view;
    NameLookup lookup;
    Scanner scanner;

    explicit ScanRun(platform::EchoOptions options = {})
        : scanner(
              history, view, [options] { return platform::openEchoTransport(options); },
              [this](Ipv4Address a) { return lookup.reverse(a); })
    {
        // As the application feeds the lookup the scan's names.
        QObject::connect(&scanner, &Scanner::started, [this] { lookup.forgetScanNames(); });
        QObject::connect(
            &scanner, &Scanner::computerListed,
            [this](const QByteArray& name, Ipv4Address a) { lookup.rememberScanName(name, a); });
    }

    // resolved: what the resolver said the own name is, as at start-up.
    void startUp(std::optional<Ipv4Address> resolved,
                 const std::vector<Scanner::NamedSubnet>& named = {})
    {
        scanner.startUp(platform::scanInterfaces(resolved), named);
    }

    // One scan to its end; false when it did not end within timeoutMs.
    bool run(int timeoutMs)
    {
        QSignalSpy finished(&scanner, &Scanner::finished);
        QElapsedTimer t;
        t.start();
        scanner.run();
        const bool ended = finished.wait(timeoutMs);
        qInfo("scan of %d addresses: %lld ms", ScannerPeer::highestHostNumber(scanner),
              t.elapsed());
        return ended;
    }
};

} // namespace zeph::test
