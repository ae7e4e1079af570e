// Scans of the local /24 with the real engine, way out and resolver, timed
// from run() to the completion entry. Run inside a simulated LAN by
// bench/scan_time.sh (it must not run in the machine's own network namespace).
// Usage: scan_time [--runs N] [--helper PATH] [--slow-lookup-ms MS]
//   --helper          send through this zeph-probe only (no socket of our own)
//   --slow-lookup-ms  every reverse lookup first sleeps this long
// Prints: method, runs, listed, median_ms, then each run's milliseconds.

#include "discovery/scanner.h"
#include "fakescanview.h"
#include "history/history.h"
#include "names/namelookup.h"
#include "platform/echo/echoprobe.h"
#include "platform/net/localaddress.h"
#include "platform/net/names.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

const char* methodName(zeph::platform::EchoMethod m)
{
    using zeph::platform::EchoMethod;
    switch (m) {
    case EchoMethod::Datagram:
        return "datagram";
    case EchoMethod::Raw:
        return "raw";
    case EchoMethod::HelperDatagram:
        return "helper-datagram";
    case EchoMethod::HelperRaw:
        return "helper-raw";
    case EchoMethod::IcmpLibrary:
        return "icmp-library";
    case EchoMethod::None:
        break;
    }
    return "none";
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int runs = 5;
    int slowMs = 0;
    zeph::platform::EchoOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs"))
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--slow-lookup-ms"))
            slowMs = std::max(0, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--helper"))
            options = {argv[i + 1], false};
    }
    const std::optional<zeph::Ipv4Address> local =
        zeph::platform::localIPv4Address(zeph::Ipv4Address(127, 0, 1, 1));
    if (!local || !local->inSubnet(zeph::Ipv4Address(10, 213, 0, 0), 16)) {
        std::fprintf(stderr, "scan_time: run me through bench/scan_time.sh (local %s)\n",
                     local ? local->toString().c_str() : "none");
        return 1;
    }

    zeph::History history;
    zeph::test::QuietScanView view;
    const zeph::NameLookup names;
    zeph::platform::EchoMethod method = zeph::platform::EchoMethod::None;
    zeph::Scanner scanner(
        history, view,
        [&] {
            auto transport = zeph::platform::openEchoTransport(options);
            method = transport ? transport->method() : zeph::platform::EchoMethod::None;
            return transport;
        },
        [slowMs, &names](zeph::Ipv4Address address) {
            std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
            return names.reverse(address);
        });
    const auto all = zeph::platform::localInterfaces();
    scanner.startUp(zeph::platform::scanInterfaces(local, all));

    QList<qint64> times;
    for (int i = 0; i < runs; ++i) {
        QEventLoop loop;
        QObject::connect(&scanner, &zeph::Scanner::finished, &loop, &QEventLoop::quit);
        QElapsedTimer wall;
        wall.start();
        scanner.run();
        if (scanner.running())
            loop.exec();
        times << wall.elapsed();
    }
    QList<qint64> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    std::printf("method %s runs %d listed %d median_ms %lld all_ms", methodName(method), runs,
                view.listed, static_cast<long long>(sorted[sorted.size() / 2]));
    for (qint64 t : times)
        std::printf(" %lld", static_cast<long long>(t));
    std::printf("\n");
    return 0;
}
