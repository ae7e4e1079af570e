// The scan with a fake clock, way out, resolver and window.

#include "discovery/scanner.h"
#include "fakescan.h"
#include "fakescanview.h"
#include "history/history.h"
#include "peers.h"
#include "platform/echo/neighbourwatch.h"

#include <QMap>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using zeph::History;
using zeph::Ipv4Address;
using zeph::Scanner;
using zeph::test::FakeClock;
using zeph::test::FakeLan;
using zeph::test::FakeScanView;
using zeph::test::FakeTransport;
using zeph::test::ScannerPeer;

namespace {

const QByteArray kStars = "\xA1\xEF\xA1\xEF\xA1\xEF";
const QByteArray kCrosses = "\xA1\xC1\xA1\xC1\xA1\xC1";
const QByteArray kStartNotice =
    "\r\n" + kStars +
    "\xD5\xFD\xD4\xDA\xCB\xA2\xD0\xC2\xBC\xC6\xCB\xE3\xBB\xFA\xC1\xD0\xB1\xED\xA3\xAC\xC7\xEB"
    "\xC9\xD4\xBA\xF2\xA1\xAD\xA1\xAD" +
    kStars;
const QByteArray kCancelNotice =
    "\r\n" + kStars +
    "\xD2\xD1\xC8\xA1\xCF\xFB\xCB\xA2\xD0\xC2\xBC\xC6\xCB\xE3\xBB\xFA\xC1\xD0\xB1\xED\xA1\xA3" +
    kStars;
const QByteArray kCompletedNotice =
    "\r\n" + kStars +
    "\xBC\xC6\xCB\xE3\xBB\xFA\xC1\xD0\xB1\xED\xCB\xA2\xD0\xC2\xCD\xEA\xB1\xCF\xA1\xA3" + kStars;
const QByteArray kStatus = "\xD5\xFD\xD4\xDA\xCB\xA2\xD0\xC2\xBC\xC6\xCB\xE3\xBB\xFA\xC1\xD0"
                           "\xB1\xED\xA3\xAC\xC7\xEB\xC9\xD4\xBA\xF2\xA1\xA3";
Ipv4Address address(int host)
{
    return Ipv4Address(10, 213, 7, std::uint8_t(host));
}

// The resolver: shared with its worker threads, which may outlive a test's rig.
struct Names {
    Ipv4Address network{10, 213, 7, 0};           // host number n is network + n
    QMap<int, QByteArray> names;                  // host -> name ("" = none)
    QMap<int, std::shared_ptr<QSemaphore>> gates; // lookups that wait for the test
    std::mutex mutex;
    QList<Ipv4Address> looked;
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::chrono::milliseconds gateTimeout{30000};
    QList<QByteArray> events;

    void note(const QByteArray& event)
    {
        const std::lock_guard lock(mutex);
        events << event;
    }

    QByteArray lookUp(Ipv4Address address)
    {
        const int now = ++running;
        for (int most = mostAtOnce; now > most && !mostAtOnce.compare_exchange_weak(most, now);) {
        }
        {
            const std::lock_guard lock(mutex);
            looked << address;
        }
        const int host = int(address.toHostOrder() - network.toHostOrder());
        if (const auto gate = gates.value(host))
            gate->tryAcquire(1, int(gateTimeout.count()));
        note("returned " + QByteArray::number(host));
        --running;
        return names.value(host);
    }
    qsizetype lookedCount()
    {
        const std::lock_guard lock(mutex);
        return looked.size();
    }
};

struct Rig {
    History history;
    FakeScanView view;
    FakeLan lan;
    std::shared_ptr<Names> names = std::make_shared<Names>();
    FakeClock* clock;
    std::unique_ptr<Scanner> scanner;

    explicit Rig(QByteArrayView local = "10.213.7.42", int prefixLength = -1)
    {
        auto c = std::make_unique<FakeClock>();
        clock = c.get();
        lan.clock = clock;
        scanner = std::make_unique<Scanner>(
            history, view,
            [this]() -> std::unique_ptr<zeph::platform::EchoTransport> {
                if (lan.probingImpossible)
                    return nullptr;
                return std::make_unique<FakeTransport>(lan);
            },
            [n = names](Ipv4Address a) { return n->lookUp(a); }, std::move(c));
        scanner->startUp(zeph::ipv4::parse(local), prefixLength);
        if (const auto network = ScannerPeer::network(*scanner))
            lan.network = names->network = *network;
    }
    ~Rig()
    {
        // Lookups still waiting end now; their results go nowhere.
        for (const auto& gate : std::as_const(names->gates))
            gate->release(100);
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Answering hosts with names; "" for a nameless one.
    void setLan(const QMap<int, QByteArray>& hosts)
    {
        lan.answering = hosts.keys();
        names->names = hosts;
    }
    std::shared_ptr<QSemaphore> gate(int host)
    {
        auto g = std::make_shared<QSemaphore>();
        names->gates.insert(host, g);
        return g;
    }
    // Lets the worker threads deliver what they have.
    bool lookupsDone()
    {
        return QTest::qWaitFor([&] { return ScannerPeer::lookupsRunning(*scanner) == 0; });
    }
    // Runs the scan in steps of fake time, with the event loop in between;
    // long waits (for room in the neighbour table) are passed in one go.
    bool finish()
    {
        for (int i = 0; i < 40000 && scanner->running(); ++i) {
            const bool longWait = clock->wake && *clock->wake - clock->t > 5ms;
            clock->advance(longWait ? *clock->wake - clock->t : 500us);
            QCoreApplication::processEvents();
        }
        return QTest::qWaitFor([&] { return !scanner->running(); });
    }
};

void checkIdle(const Rig& r)
{
    QCOMPARE(r.view.status, QByteArray());
    QVERIFY(!r.view.progressVisible);
    QVERIFY(!r.view.scanning);
    QVERIFY(!r.view.cursorWaiting);
    QCOMPARE(r.view.cursorOnCalls, r.view.cursorRestoreCalls);
    QVERIFY(!r.scanner->running());
    QVERIFY(!r.lan.transport); // the way out is closed with the scan
    QVERIFY(!r.clock->wake);
}

} // namespace

class TestScanner : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The /24 of the local address; a text that is no address gives none.
    void startUpNetwork_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("network");
        QTest::newRow("plain") << QByteArray("10.213.7.42") << QByteArray("10.213.7.0");
        QTest::newRow("zeros") << QByteArray("192.0.2.0") << QByteArray("192.0.2.0");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("three numbers") << QByteArray("10.1.2") << QByteArray();
        QTest::newRow("five numbers") << QByteArray("10.1.2.3.4") << QByteArray();
        QTest::newRow("too big") << QByteArray("10.256.2.3") << QByteArray();
        QTest::newRow("name") << QByteArray("a.b.c.d") << QByteArray();
        QTest::newRow("empty part") << QByteArray("10..2.3") << QByteArray();
    }
    void startUpNetwork()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, network);
        Rig r(address);
        const auto own = ScannerPeer::network(*r.scanner);
        QCOMPARE(own ? QByteArray::fromStdString(own->toString()) : QByteArray(), network);
        QCOMPARE(ScannerPeer::highestHostNumber(*r.scanner), 255);
        QCOMPARE(r.view.progressMaximum, 255);
        QVERIFY(!r.scanner->running());
    }

    // The whole conversation with the window for a three-address subnet: run()
    // only starts the scan, which then goes on from the event loop.
    void stepOrder()
    {
        Rig r;
        r.setLan({{2, "beta"}, {3, ""}});
        ScannerPeer::sweepAtMost(*r.scanner, 3);
        r.view.log.clear();
        r.scanner->run();
        QVERIFY(r.scanner->running());
        QVERIFY(r.lan.sent.isEmpty());
        const QList<QByteArray> opening = {"status:" + kStatus, "cursor:wait", "progress:shown",
                                           "clear", "buttons:scanning"};
        QCOMPARE(r.view.log, opening);

        r.clock->advance(1ms); // all three sent
        QCOMPARE(r.lan.sent, (QList<Ipv4Address>{address(1), address(2), address(3)}));
        QCoreApplication::processEvents(); // 2 and 3 answer
        QTRY_COMPARE(r.names->lookedCount(), 2);
        QVERIFY(r.lookupsDone());
        QCOMPARE(r.view.log, opening); // 1 is not settled yet: nothing shows
        r.clock->advance(50ms);
        const QList<QByteArray> closing = {"add:beta",        "position:3",     "status:",
                                           "progress:hidden", "cursor:restore", "buttons:idle"};
        QCOMPARE(r.view.log, opening + closing);

        std::sort(r.names->looked.begin(), r.names->looked.end()); // threads race
        QCOMPARE(r.names->looked, (QList<Ipv4Address>{address(2), address(3)}));
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
        checkIdle(r);
    }

    void completeScan_data()
    {
        QTest::addColumn<int>("intervalUs");
        QTest::addColumn<int>("expectedGapUs");
        QTest::newRow("own socket") << 0 << 250;
        QTest::newRow("helper") << 1000 << 1000;
    }
    void completeScan()
    {
        QFETCH(int, intervalUs);
        QFETCH(int, expectedGapUs);
        Rig r;
        r.lan.interval = std::chrono::microseconds(intervalUs);
        r.setLan(
            {{3, "alpha"}, {7, ""}, {9, "alpha"}, {42, "self"}, {200, "zeta"}, {255, "omega"}});
        QSignalSpy listed(r.scanner.get(), &Scanner::computerListed);
        QSignalSpy finished(r.scanner.get(), &Scanner::finished);
        r.scanner->run();
        QVERIFY(r.finish());

        // One request per address, ascending, paced.
        QCOMPARE(r.lan.sent.size(), 255);
        for (int n = 1; n <= 255; ++n)
            QCOMPARE(r.lan.sent[n - 1], address(n));
        for (int i = 1; i < r.lan.sentAt.size(); ++i)
            QVERIFY(r.lan.sentAt[i] - r.lan.sentAt[i - 1] >=
                    std::chrono::microseconds(expectedGapUs));
        // Host-number order, duplicates kept, nameless answer left out.
        const QList<QByteArray> names = {"alpha", "alpha", "self", "zeta", "omega"};
        QCOMPARE(r.view.computers, names);
        const QList<int> hosts = {3, 9, 42, 200, 255};
        QCOMPARE(listed.size(), hosts.size());
        for (int i = 0; i < hosts.size(); ++i) {
            QCOMPARE(listed[i][0].toByteArray(), names[i]);
            QCOMPARE(listed[i][1].value<Ipv4Address>(), address(hosts[i]));
        }
        QCOMPARE(r.names->lookedCount(), 6);
        QVERIFY(std::is_sorted(r.view.positions.begin(), r.view.positions.end()));
        QCOMPARE(r.view.positions.last(), 255);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), false);
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
        checkIdle(r);
    }

    // Only a reply to our request, from its address, inside its window counts, once.
    void repliesOutOfOrderLateAndDuplicate()
    {
        Rig r;
        r.lan.autoAnswer = false;
        r.setLan({{3, "three"}, {5, "five"}, {7, "seven"}, {8, "eight"}, {10, "ten"}});
        ScannerPeer::sweepAtMost(*r.scanner, 10);
        r.scanner->run();
        r.clock->advance(2250us); // host n went out at (n - 1) * 0.25 ms
        QCOMPARE(r.lan.sent.size(), 10);
        // Another subnet, one just below ours, past the highest, the network itself.
        for (const Ipv4Address from :
             {address(5), address(3), address(5), Ipv4Address(10, 213, 8, 3),
              Ipv4Address(10, 213, 6, 255), address(11), address(0)})
            r.lan.transport->reply(from);
        r.clock->advance(50ms - 650us); // 7's window closed at 51.5 ms, 8's is open until 51.75
        r.lan.transport->reply(address(7));
        r.lan.transport->reply(address(8));
        r.lan.transport->reply(address(8));
        r.clock->advance(1ms); // every window closed
        r.lan.transport->reply(address(10));
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, (QList<QByteArray>{"three", "five", "eight"}));
        QCOMPARE(r.names->lookedCount(), 3);
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
    }

    // A window that passes while the event loop is held up (a long handler)
    // still takes the reply that came in time.
    void busyLoopLosesNoReply()
    {
        Rig r;
        r.setLan({{2, "two"}});
        ScannerPeer::sweepAtMost(*r.scanner, 2);
        r.scanner->run();
        r.clock->advance(300us); // both sent, 2's reply waits in the socket
        r.clock->stall(200ms);
        r.clock->advance(0ms);
        QTRY_VERIFY(!r.scanner->running());
        QCOMPARE(r.view.computers, QList<QByteArray>{"two"});
    }

    // A name waits for every lower address; the progress shows what is settled.
    void lookupsFinishOutOfOrder()
    {
        Rig r;
        r.setLan({{2, "two"}, {3, "three"}, {4, "four"}});
        const auto two = r.gate(2), three = r.gate(3), four = r.gate(4);
        ScannerPeer::sweepAtMost(*r.scanner, 5);
        r.scanner->run();
        r.clock->advance(2ms);
        QTRY_COMPARE(r.names->lookedCount(), 3); // all three at once
        r.clock->advance(60ms);                  // 1 and 5 silent, windows closed
        QCOMPARE(r.view.positions, QList<int>{1});

        four->release();
        QTRY_COMPARE(ScannerPeer::lookupsRunning(*r.scanner), 2);
        QVERIFY(r.view.computers.isEmpty());
        QCOMPARE(r.view.positions, QList<int>{1});
        two->release();
        QTRY_COMPARE(r.view.computers, QList<QByteArray>{"two"});
        QCOMPARE(r.view.positions, (QList<int>{1, 2}));
        QVERIFY(r.scanner->running());
        three->release();
        QTRY_VERIFY(!r.scanner->running());
        QCOMPARE(r.view.computers, (QList<QByteArray>{"two", "three", "four"}));
        QCOMPARE(r.view.positions, (QList<int>{1, 2, 5}));
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
    }

    void lookupsAreBounded()
    {
        Rig r;
        QMap<int, QByteArray> hosts;
        for (int n = 1; n <= 40; ++n)
            hosts.insert(n, "h" + QByteArray::number(n));
        r.setLan(hosts);
        const auto all = std::make_shared<QSemaphore>();
        for (int n = 1; n <= 40; ++n)
            r.names->gates.insert(n, all);
        r.scanner->run();
        r.clock->advance(20ms);
        QTRY_COMPARE(r.names->running.load(), 16);
        QTest::qWait(20);
        QCOMPARE(r.names->lookedCount(), 16); // the rest wait their turn
        all->release(40);
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, hosts.values());
        QCOMPARE(r.names->mostAtOnce.load(), 16);
    }

    // Cancel ends the scan at once, keeping what is settled; a lookup still
    // running then changes nothing, now or in the next scan.
    void cancelMidScan()
    {
        Rig r;
        r.setLan({{2, "two"}, {4, "four"}, {6, "six"}});
        const auto four = r.gate(4);
        ScannerPeer::sweepAtMost(*r.scanner, 10);
        QSignalSpy finished(r.scanner.get(), &Scanner::finished);
        r.scanner->run();
        r.clock->advance(3ms);
        QTRY_COMPARE(ScannerPeer::lookupsRunning(*r.scanner), 1); // 2 and 6 named, 4 still asking
        r.clock->advance(50ms);
        QCOMPARE(r.view.computers, QList<QByteArray>{"two"});
        QCOMPARE(r.view.progressPosition, 3);

        r.scanner->requestCancel();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toBool(), true);
        QCOMPARE(r.history.text(), kStartNotice + kCancelNotice);
        QCOMPARE(r.view.progressPosition, 3);
        checkIdle(r);

        four->release();
        QTest::qWait(20);
        QCOMPARE(r.view.computers, QList<QByteArray>{"two"});

        // The request does not outlive its scan.
        r.names->gates.clear();
        r.lan.sent.clear();
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.lan.sent.size(), 10);
        QCOMPARE(r.view.computers, (QList<QByteArray>{"two", "four", "six"}));
        QVERIFY(r.history.text().endsWith(kCancelNotice + kStartNotice + kCompletedNotice));
    }

    void cancelBeforeAnythingSettles()
    {
        Rig r;
        r.setLan({{1, "one"}});
        r.scanner->run();
        r.clock->advance(1ms);
        r.scanner->requestCancel();
        QVERIFY(r.view.computers.isEmpty());
        QVERIFY(r.view.positions.isEmpty());
        QCOMPARE(r.history.text(), kStartNotice + kCancelNotice);
        checkIdle(r);
    }

    void cancelWhileIdleIsIgnored()
    {
        Rig r;
        r.scanner->requestCancel();
        QVERIFY(!r.scanner->running());
        QVERIFY(r.history.text().isEmpty());
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.lan.sent.size(), 255);
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
        checkIdle(r);
    }

    // A lookup that blocks for 2 s holds neither the event loop nor the cancel:
    // an input event posted meanwhile is handled before the lookup returns.
    // (The handler also lets the lookup go, so that a good run is quick.)
    void slowLookupDoesNotHoldTheLoop()
    {
        Rig r;
        r.setLan({{1, "one"}});
        const auto blocked = r.gate(1);
        r.names->gateTimeout = 2s;
        struct Input : QObject {
            std::function<void()> handle;
            bool event(QEvent* e) override
            {
                if (e->type() != QEvent::User)
                    return QObject::event(e);
                handle();
                return true;
            }
        } input;
        input.handle = [&] {
            r.scanner->requestCancel(); // Esc
            r.names->note("input handled");
            blocked->release();
        };
        ScannerPeer::sweepAtMost(*r.scanner, 1);
        r.scanner->run();
        r.clock->advance(1ms);
        QTRY_COMPARE(r.names->running.load(), 1);
        QCoreApplication::postEvent(&input, new QEvent(QEvent::User));
        QTRY_COMPARE(r.names->running.load(), 0);
        QCOMPARE(r.names->events, (QList<QByteArray>{"input handled", "returned 1"}));
        QVERIFY(!r.scanner->running());
        QVERIFY(r.view.computers.isEmpty());
        QCOMPARE(r.history.text(), kStartNotice + kCancelNotice);
    }

    void rescanEmptiesTheList()
    {
        Rig r;
        r.setLan({{5, "old"}, {6, "stays"}});
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, (QList<QByteArray>{"old", "stays"}));
        r.setLan({{6, "stays"}, {8, "new"}});
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.view.clearCalls, 2);
        QCOMPARE(r.view.computers, (QList<QByteArray>{"stays", "new"}));
        QCOMPARE(r.history.text(),
                 kStartNotice + kCompletedNotice + kStartNotice + kCompletedNotice);
    }

    void noLocalAddress()
    {
        Rig r(QByteArrayView{});
        r.setLan({{1, "never"}});
        QSignalSpy finished(r.scanner.get(), &Scanner::finished);
        r.scanner->run();
        QCOMPARE(finished.size(), 1);
        QVERIFY(r.lan.sent.isEmpty());
        QVERIFY(r.view.computers.isEmpty());
        QCOMPARE(r.view.clearCalls, 1);
        QCOMPARE(r.history.text(),
                 kStartNotice + "\r\n" + kCrosses +
                     "\xD5\xD2\xB2\xBB\xB5\xBD\xB1\xBE\xBB\xFA\xB5\xC4\xCD\xF8\xC2\xE7\xB5\xD8"
                     "\xD6\xB7\xA3\xAC\xCE\xDE\xB7\xA8\xCB\xA2\xD0\xC2\xBC\xC6\xCB\xE3\xBB\xFA"
                     "\xC1\xD0\xB1\xED\xA3\xA1" +
                     kCrosses);
        checkIdle(r);
    }

    // A way out that paced itself slower (the helper could not have the
    // machine's turn): the scan ends as ever, and the history says so.
    void aSlowedScanSaysSo()
    {
        Rig r;
        r.setLan({{3, "alpha"}});
        r.lan.slowed = true;
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, QList<QByteArray>{"alpha"});
        QCOMPARE(r.history.text(), kStartNotice + "\r\n" + kCrosses + Scanner::slowedText() +
                                       kCrosses + kCompletedNotice);
    }

    // Probing impossible: every address is silent and the scan completes; a
    // request that cannot leave leaves only its own address silent.
    void probingFailures()
    {
        Rig r;
        r.setLan({{2, "two"}, {3, "three"}});
        r.lan.probingImpossible = true;
        r.scanner->run();
        QVERIFY(r.finish());
        QVERIFY(r.view.computers.isEmpty());
        QCOMPARE(r.view.progressPosition, 255);
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);

        r.lan.probingImpossible = false;
        r.lan.unsendable = {2};
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.lan.sent.size(), 255);
        QCOMPARE(r.view.computers, QList<QByteArray>{"three"});
        checkIdle(r);
    }

    // Two attached subnets (a /23 and a /24) and one beyond a router: one
    // progress range over all of them, the attached ones asked at once (their
    // requests interleave) by ARP, the named one by echo only and after them,
    // names listed in ascending address order across the three.
    void severalSubnets()
    {
        Rig r;
        r.lan.network = r.names->network = Ipv4Address(10, 0, 0, 0);
        const auto off = [](int b1, int b2, int b3) { return (b1 << 16) | (b2 << 8) | b3; };
        r.scanner->startUp({{Ipv4Address(10, 213, 7, 42), 24, std::nullopt},
                            {Ipv4Address(10, 9, 1, 5), 23, std::nullopt}},
                           {{Ipv4Address(10, 5, 50, 0), 24}, {Ipv4Address(10, 9, 0, 0), 24}});
        QCOMPARE(r.view.progressMaximum, 254 + 510 + 255); // the overlapping /24 left out
        r.lan.arp = true;
        r.lan.answering = {off(5, 50, 9), off(9, 1, 5), off(213, 7, 42)};
        r.lan.cards = {{off(9, 0, 200), {2, 0, 0, 0, 0, 1}}, {off(213, 7, 3), {2, 0, 0, 0, 0, 2}}};
        r.names->names = {{off(5, 50, 9), "routed"},  {off(9, 0, 200), "lab"},
                          {off(9, 1, 5), "self-lab"}, {off(213, 7, 3), "office"},
                          {off(213, 7, 42), "self"},  {off(213, 7, 100), "gone"}};
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers,
                 (QList<QByteArray>{"routed", "lab", "self-lab", "office", "self"}));
        QCOMPARE(r.view.progressPosition, 1019);
        QCOMPARE(r.lan.arpSent.size(), 509 + 253); // both segments but the own addresses
        QVERIFY(r.lan.arpSent[0].inSubnet(Ipv4Address(10, 9, 0, 0), 23));
        QVERIFY(r.lan.arpSent[1].inSubnet(Ipv4Address(10, 213, 7, 0), 24));
        const qsizetype routed = r.lan.sent.indexOf(Ipv4Address(10, 5, 50, 1));
        QCOMPARE(r.lan.sent.size() - routed, 254);
        QVERIFY(r.lan.sentAt[routed] >= r.lan.sentAt[routed - 1]);
        for (qsizetype i = routed; i < r.lan.sent.size(); ++i)
            QVERIFY(r.lan.sent[i].inSubnet(Ipv4Address(10, 5, 50, 0), 24));
        checkIdle(r);
    }

    // Without ARP of our own the kernel asks, and the neighbour table says who
    // answered: an address whose card answers within its window counts even
    // when it ignores echo; a card answering later or for an address not yet
    // asked counts for nothing.
    void linkAnswerWithinTheWindow()
    {
        Rig r;
        r.setLan({{2, "echoes"}});
        r.names->names.insert(3, "silent");
        r.names->names.insert(4, "late");
        r.names->names.insert(9, "early");
        r.lan.cards = {{3, {2, 0, 0, 0, 0, 3}}};
        ScannerPeer::sweepAtMost(*r.scanner, 9);
        r.scanner->run();
        r.clock->advance(1ms); // 1..4 sent
        r.lan.transport->cardAnswers(address(9), {2, 0, 0, 0, 0, 9});
        r.clock->advance(60ms);
        r.lan.transport->cardAnswers(address(4), {2, 0, 0, 0, 0, 4});
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, (QList<QByteArray>{"echoes", "silent"}));
        QVERIFY(r.lan.arpSent.isEmpty());
    }

    // Where the way out sends ARP: addresses on the segment are asked by ARP
    // only, an answer lists the host without any echo; the own address and
    // addresses off the segment (a /24 swept on a /25, its broadcast address)
    // are asked by echo.
    void arpInsteadOfEcho()
    {
        Rig r("10.213.7.42", 25);
        r.lan.arp = true;
        r.lan.answering = {42, 100, 200};
        r.lan.cards = {{5, {2, 0, 0, 0, 0, 5}}, {100, {2, 0, 0, 0, 0, 100}}};
        r.names->names = {{5, "arp"}, {42, "self"}, {100, "both"}, {200, "routed"}};
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, (QList<QByteArray>{"arp", "self", "both", "routed"}));
        QCOMPARE(r.lan.arpSent.size(), 125); // 1..126 but the own 42
        QList<Ipv4Address> echoes{address(42)};
        for (int host = 127; host <= 255; ++host) // the /25's broadcast address as well
            echoes << address(host);
        QCOMPARE(r.lan.sent, echoes);
        checkIdle(r);
    }

    // One card answering ARP for every address (proxy ARP): past a few
    // addresses its answers stop counting, and every address it answers for
    // is asked by echo; only named hosts that answer echo are listed, and the
    // lookups stay few.
    void proxyArp()
    {
        Rig r("10.213.7.1", 24);
        r.lan.arp = true;
        const zeph::LinkAddress proxy{2, 0, 0, 0, 0, 0xEE};
        for (int host = 2; host <= 255; ++host)
            r.lan.cards.insert(host, proxy);
        r.lan.cards.insert(77, {2, 0, 0, 0, 0, 77}); // a real host: its own card
        r.lan.answering = {1, 50, 200};
        r.names->names = {
            {1, "self"}, {50, "echoes"}, {77, "real"}, {150, "silent"}, {200, "behind"}};
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, (QList<QByteArray>{"self", "echoes", "real", "behind"}));
        QVERIFY(r.names->lookedCount() <= qsizetype(zeph::ProxyFilter::kMaxAddressesPerCard) + 4);
        QCOMPARE(r.lan.arpSent.size(), 253); // 2..254
        for (int host = 2 + int(zeph::ProxyFilter::kMaxAddressesPerCard); host <= 255; ++host)
            QCOMPARE(r.lan.sent.contains(address(host)), host != 77);
        checkIdle(r);
    }

    // A proxy for a whole /22, through the neighbour table or after our own
    // ARP: every echo leaves an entry the proxy resolves at once and the
    // kernel keeps for most of a minute; the sweep waits for room rather than
    // leaving addresses unasked, and lists the hosts behind the proxy that
    // answer echo.
    void proxyThroughTheNeighbourTable_data()
    {
        QTest::addColumn<bool>("arp");
        QTest::newRow("neighbour table") << false;
        QTest::newRow("own ARP") << true;
    }
    void proxyThroughTheNeighbourTable()
    {
        QFETCH(bool, arp);
        Rig r("10.213.6.42", 22);
        r.lan.arp = arp;
        for (int host = 1; host <= 1022; ++host)
            r.lan.cards.insert(host, {2, 0, 0, 0, 0, 0xEE});
        r.lan.answering = {20, 900};
        r.names->names = {{20, "echoes"}, {600, "silent"}, {900, "behind"}};
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.view.computers, (QList<QByteArray>{"echoes", "behind"}));
        // By ARP the first few the proxy answered for counted without echo.
        const int counted = arp ? int(zeph::ProxyFilter::kMaxAddressesPerCard) : 0;
        QCOMPARE(r.lan.sent.size(), 1022 - counted);
        QVERIFY(r.names->lookedCount() <= qsizetype(zeph::ProxyFilter::kMaxAddressesPerCard) + 2);
        QCOMPARE(r.view.progressPosition, 1022);
        QList<FakeClock::TimePoint> onSegment; // the own address needs no entry
        for (qsizetype i = 0; i < r.lan.sent.size(); ++i)
            if (r.lan.sent[i] != Ipv4Address(10, 213, 6, 42))
                onSegment << r.lan.sentAt[i];
        const int entries = zeph::platform::neighbourTableLimit() / 2;
        QVERIFY(onSegment.size() > entries); // it had to wait
        for (qsizetype i = entries; i < onSegment.size(); ++i)
            QVERIFY(onSegment[i] - onSegment[i - entries] >=
                    zeph::NeighbourBudget::kResolvedLifetime);
    }

    // Without ARP of our own, every request to an address on the segment
    // leaves a neighbour entry open for seconds: no more than the budget are
    // sent within that time, and no fewer; a /24 never waits.
    void neighbourTablePacing()
    {
        Rig r("10.213.6.42", 22);
        r.scanner->run();
        QVERIFY(r.finish());
        QCOMPARE(r.lan.sent.size(), 1022);
        // Half the table (1,024 here), or what the way out's buffers hold.
        const int budget = std::min(512, zeph::platform::EchoTransport::kDefaultMaxUnresolved);
        QList<FakeClock::TimePoint> onSegment; // the own address needs no entry
        for (qsizetype i = 0; i < r.lan.sent.size(); ++i)
            if (r.lan.sent[i] != Ipv4Address(10, 213, 6, 42))
                onSegment << r.lan.sentAt[i];
        for (qsizetype i = budget; i < onSegment.size(); ++i)
            QVERIFY2(onSegment[i] - onSegment[i - budget] >=
                         zeph::NeighbourBudget::kUnresolvedLifetime,
                     QByteArray::number(i));
        // Not slower than that either: the next batch goes once the first may.
        QVERIFY(onSegment[budget] - onSegment[0] <
                zeph::NeighbourBudget::kUnresolvedLifetime + 10ms);

        Rig small;
        small.scanner->run();
        QVERIFY(small.finish());
        QVERIFY(small.lan.sentAt.last() - small.lan.sentAt.first() < 100ms);
    }

    // A second run while one runs is refused; a scanner destroyed with a
    // lookup outstanding waits for it (the lookup may use what the program
    // destroys next), and its result goes nowhere.
    void runWhileRunningAndDestroyed()
    {
        Rig r;
        r.setLan({{2, "two"}});
        const auto two = r.gate(2);
        r.scanner->run();
        r.clock->advance(1ms);
        r.scanner->run();
        QCOMPARE(r.view.clearCalls, 1);
        QTRY_COMPARE(r.names->running.load(), 1);
        std::thread release([two] {
            std::this_thread::sleep_for(100ms);
            two->release();
        });
        r.scanner.reset();
        QCOMPARE(r.names->running.load(), 0);
        release.join();
        QTest::qWait(20); // its result is posted to nobody
        QCOMPARE(r.history.text(), kStartNotice);
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "test_scanner.moc"
