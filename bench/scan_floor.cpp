// One full scan with the real echo probe, against its floor: 50 ms for every
// address that stays silent. Run inside a simulated LAN by bench/scan_floor.sh
// (it must not run in the machine's own network namespace).
// Usage: scan_floor  (prints: addresses, answering, listed, wall ms, floor ms)

#include "discovery/scanner.h"
#include "discovery/scanview.h"
#include "history/history.h"
#include "platform/echoprobe.h"
#include "platform/names.h"
#include "platform/localaddress.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

struct QuietView : zeph::ScanView {
    int listed = 0;
    void setStatus(const QByteArray&) override {}
    void waitCursorOn() override {}
    void restoreCursor() override {}
    void setProgressVisible(bool) override {}
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void clearComputers() override { listed = 0; }
    void addComputer(const QByteArray&) override { ++listed; }
    void setScanButtons(bool) override {}
    void processPendingEvents() override {}
};

} // namespace

int main()
{
    const QByteArray local = zeph::platform::localIPv4Address("127.0.1.1");
    if (!local.startsWith("10.213.")) {
        std::fprintf(stderr, "scan_floor: run me through bench/scan_floor.sh (local %s)\n",
                     local.constData());
        return 1;
    }
    zeph::History history;
    QuietView view;
    int answering = 0;
    int probes = 0;
    qint64 answeringMs = 0;
    auto probe = [&](QByteArrayView address, int timeoutMs) {
        ++probes;
        QElapsedTimer t;
        t.start();
        const int ms = zeph::platform::echoProbe(address, timeoutMs);
        if (ms >= 0) {
            ++answering;
            answeringMs += t.elapsed();
        }
        return ms;
    };
    zeph::Scanner scanner(history, view, probe, &zeph::platform::reverseLookup);
    scanner.startUp(local);
    QElapsedTimer wall;
    wall.start();
    scanner.run();
    const qint64 ms = wall.elapsed();
    const int silent = probes - answering;
    std::printf("addresses %d answering %d listed %d wall_ms %lld floor_ms %d\n", probes, answering,
                view.listed, static_cast<long long>(ms), silent * 50);
    return 0;
}
