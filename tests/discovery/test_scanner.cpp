// The scan with a fake prober, resolver and window.

#include "discovery/scanner.h"
#include "fakescanview.h"
#include "history/history.h"

#include <QMap>
#include <QTest>

#include <memory>

using zeph::History;
using zeph::Scanner;
using zeph::test::FakeScanView;

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

// A subnet where some host numbers answer and some of those have names.
struct FakeLan {
    QMap<int, QByteArray> answering; // host number -> name ("" = no name)
    QList<QByteArray> probed;
    QList<int> timeouts;
    QList<QByteArray> looked;

    Scanner::EchoProbe prober()
    {
        return [this](QByteArrayView address, int timeoutMs) {
            probed << address.toByteArray();
            timeouts << timeoutMs;
            const int n =
                address.toByteArray().mid(address.toByteArray().lastIndexOf('.') + 1).toInt();
            return answering.contains(n) ? 1 : -1;
        };
    }
    Scanner::ReverseLookup resolver()
    {
        return [this](QByteArrayView dotted) {
            looked << dotted.toByteArray();
            const int n =
                dotted.toByteArray().mid(dotted.toByteArray().lastIndexOf('.') + 1).toInt();
            return answering.value(n);
        };
    }
};

struct Rig {
    History history;
    FakeScanView view;
    FakeLan lan;
    std::unique_ptr<Scanner> scanner;

    explicit Rig(QByteArrayView local = "10.213.7.42")
    {
        scanner = std::make_unique<Scanner>(history, view, lan.prober(), lan.resolver());
        scanner->startUp(local);
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
}

} // namespace

class TestScanner : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUpPrefix_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("plain") << QByteArray("10.213.7.42") << QByteArray("10.213.7.");
        QTest::newRow("zeros") << QByteArray("192.0.2.0") << QByteArray("192.0.2.");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("three numbers") << QByteArray("10.1.2") << QByteArray();
        QTest::newRow("five numbers") << QByteArray("10.1.2.3.4") << QByteArray();
        QTest::newRow("too big") << QByteArray("10.256.2.3") << QByteArray();
        QTest::newRow("name") << QByteArray("a.b.c.d") << QByteArray();
        QTest::newRow("empty part") << QByteArray("10..2.3") << QByteArray();
    }
    void startUpPrefix()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, prefix);
        Rig r(address);
        QCOMPARE(r.scanner->addressPrefix(), prefix);
        QCOMPARE(r.scanner->highestHostNumber(), 255);
        QCOMPARE(r.view.progressMaximum, 255);
        QVERIFY(!r.scanner->running());
    }

    // The whole conversation with the window for a three-address subnet.
    void stepOrder()
    {
        Rig r;
        r.lan.answering = {{2, "beta"}, {3, ""}};
        r.scanner->setHighestHostNumber(3);
        r.view.log.clear();
        r.scanner->run();
        const QList<QByteArray> expected = {
            "status:" + kStatus, "cursor:wait",     "progress:shown", "clear",
            "buttons:scanning",  "pending",         "pending",        "position:1", // 1: silent
            "pending",           "add:beta",        "pending",        "position:2", // 2: named
            "pending",           "pending",         "position:3",                   // 3: nameless
            "status:",           "progress:hidden", "cursor:restore", "buttons:idle"};
        QCOMPARE(r.view.log, expected);
        QCOMPARE(r.lan.looked, (QList<QByteArray>{"10.213.7.2", "10.213.7.3"}));
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
    }

    void completeScan()
    {
        Rig r;
        r.lan.answering = {{3, "alpha"}, {7, ""},       {9, "alpha"},
                           {42, "self"}, {200, "zeta"}, {255, "omega"}};
        bool runningInside = false;
        r.view.onPending = [&](int) { runningInside = r.scanner->running(); };
        r.scanner->run();

        QCOMPARE(r.lan.probed.size(), 255);
        for (int n = 1; n <= 255; ++n)
            QCOMPARE(r.lan.probed[n - 1], "10.213.7." + QByteArray::number(n));
        QVERIFY(std::all_of(r.lan.timeouts.begin(), r.lan.timeouts.end(),
                            [](int t) { return t == 50; }));
        // Host-number order, duplicates kept, nameless answer left out.
        const QList<QByteArray> names = {"alpha", "alpha", "self", "zeta", "omega"};
        QCOMPARE(r.view.computers, names);
        QCOMPARE(r.scanner->computers(), names);
        QCOMPARE(r.scanner->computerAt(4), QByteArray("omega"));
        QCOMPARE(r.scanner->computerAt(5), QByteArray());
        QCOMPARE(r.scanner->computerAt(-1), QByteArray());
        QCOMPARE(r.lan.looked.size(), 6);
        QCOMPARE(r.view.pendingCalls, 510);
        QCOMPARE(r.view.positions.size(), 255);
        QCOMPARE(r.view.positions.last(), 255);
        QVERIFY(runningInside);
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
        checkIdle(r);
    }

    void cancelDuringAddress_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<bool>("afterInsertion");
        QTest::newRow("before probe of 1") << 1 << false;
        QTest::newRow("before probe of 100") << 100 << false;
        QTest::newRow("after insertion of 100") << 100 << true;
        QTest::newRow("before probe of 255") << 255 << false;
        QTest::newRow("after insertion of 255") << 255 << true;
    }
    void cancelDuringAddress()
    {
        QFETCH(int, n);
        QFETCH(bool, afterInsertion);
        Rig r;
        r.lan.answering = {{1, "first"}, {100, "hundred"}, {101, "late"}, {255, "last"}};
        const int trigger = 2 * n - (afterInsertion ? 0 : 1);
        r.view.onPending = [&](int call) {
            if (call == trigger)
                r.scanner->requestCancel();
        };
        r.scanner->run();

        QCOMPARE(r.lan.probed.size(), n);
        QCOMPARE(r.view.progressPosition, n);
        QVERIFY(!r.view.computers.isEmpty());
        QCOMPARE(r.view.computers.last(), r.lan.answering.value(n)); // n still listed
        QCOMPARE(r.history.text(), kStartNotice + kCancelNotice);
        checkIdle(r);

        // The request does not outlive its scan.
        r.view.onPending = nullptr;
        r.lan.probed.clear();
        r.scanner->run();
        QCOMPARE(r.lan.probed.size(), 255);
        QVERIFY(r.history.text().endsWith(kCompletedNotice));
    }

    void cancelWhileIdleIsIgnored()
    {
        Rig r;
        r.scanner->requestCancel();
        QVERIFY(!r.scanner->running());
        r.scanner->run();
        QCOMPARE(r.lan.probed.size(), 255);
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);
        checkIdle(r);
    }

    void rescanEmptiesTheList()
    {
        Rig r;
        r.lan.answering = {{5, "old"}, {6, "stays"}};
        r.scanner->run();
        QCOMPARE(r.view.computers, (QList<QByteArray>{"old", "stays"}));
        r.lan.answering = {{6, "stays"}, {8, "new"}};
        r.scanner->run();
        QCOMPARE(r.view.clearCalls, 2);
        QCOMPARE(r.view.computers, (QList<QByteArray>{"stays", "new"}));
        QCOMPARE(r.scanner->computers(), r.view.computers);
        QCOMPARE(r.history.text(),
                 kStartNotice + kCompletedNotice + kStartNotice + kCompletedNotice);
    }

    void noLocalAddress()
    {
        Rig r(QByteArrayView{});
        r.lan.answering = {{1, "never"}};
        r.scanner->run();
        QVERIFY(r.lan.probed.isEmpty());
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

    // Handlers nested in the scan: a second run is refused, and a handler
    // that destroys the scanner (the program ending) stops it at once.
    void nestedHandlers()
    {
        Rig r;
        r.view.onPending = [&](int call) {
            if (call == 3)
                r.scanner->run();
        };
        r.scanner->run();
        QCOMPARE(r.lan.probed.size(), 255);
        QCOMPARE(r.history.text(), kStartNotice + kCompletedNotice);

        Rig gone;
        gone.view.onPending = [&](int call) {
            if (call == 5)
                gone.scanner.reset();
        };
        gone.scanner->run();
        QCOMPARE(gone.lan.probed.size(), 2);
    }

    void withoutProbing()
    {
        // Probing impossible: every address is silent, the scan still completes.
        History history;
        FakeScanView view;
        Scanner s(
            history, view, [](QByteArrayView, int) { return -1; },
            [](QByteArrayView) { return QByteArray("never"); });
        s.startUp("10.213.7.1");
        s.run();
        QVERIFY(view.computers.isEmpty());
        QCOMPARE(history.text(), kStartNotice + kCompletedNotice);
    }
};

QTEST_GUILESS_MAIN(TestScanner)
#include "test_scanner.moc"
