// Host names and addresses as the resolver sees them, the one parser of
// dotted IPv4 texts, the lookup order of NameLookup, and the default route
// that picks the scan's interface. Runs in a private loopback-only network
// namespace.

#include "core/ipv4.h"
#include "names/namelookup.h"
#include "netns.h"
#include "platform/net/localaddress.h"
#include "platform/net/names.h"

#include <QSysInfo>
#include <QTest>

#include <sched.h>
#include <unistd.h>

#include <thread>
#include <vector>

using namespace zeph;

namespace {
const QByteArray kChinese("\xD6\xD0\xCE\xC4\xBB\x61", 6); // 中文 and a character with trail 'a'
} // namespace

class TestNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ZEPH_REQUIRE_PRIVATE_NETNS(); }

    void dottedQuads_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("parsed"); // empty: refused
        QTest::newRow("plain") << QByteArray("192.168.0.7") << QByteArray("192.168.0.7");
        QTest::newRow("edges") << QByteArray("0.0.0.255") << QByteArray("0.0.0.255");
        QTest::newRow("short form") << QByteArray("127.1") << QByteArray();
        QTest::newRow("five parts") << QByteArray("1.2.3.4.5") << QByteArray();
        QTest::newRow("over 255") << QByteArray("1.2.3.256") << QByteArray();
        QTest::newRow("four digits") << QByteArray("1.2.3.0255") << QByteArray();
        QTest::newRow("leading zero") << QByteArray("10.01.2.3") << QByteArray();
        QTest::newRow("trailing blank") << QByteArray("127.0.0.1 ") << QByteArray();
        QTest::newRow("empty part") << QByteArray("1..2.3") << QByteArray();
        QTest::newRow("trailing dot") << QByteArray("1.2.3.") << QByteArray();
        QTest::newRow("sign") << QByteArray("+1.2.3.4") << QByteArray();
        QTest::newRow("zero byte") << QByteArray("1.2.3.4\0", 8) << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void dottedQuads()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, parsed);
        const auto a = ipv4::parse(text);
        QCOMPARE(a ? QByteArray::fromStdString(ipv4::format(*a)) : QByteArray(), parsed);
        // The resolver takes a dotted text as its own address, without a lookup.
        if (!parsed.isEmpty())
            QCOMPARE(platform::systemResolveName(text), a);
    }

    void ownHostNameIsWholeEvenWhenLong()
    {
        QCOMPARE(platform::ownHostName(), QSysInfo::machineHostName().toLatin1());
        // A private UTS namespace lets this process carry a name longer than the
        // 15 bytes older systems allowed, without touching the machine's own.
        if (unshare(CLONE_NEWUTS) != 0)
            QSKIP("no permission for a private host name");
        const QByteArray longName = "a-rather-long-workstation-name-42.lab";
        QCOMPARE(sethostname(longName.constData(), static_cast<size_t>(longName.size())), 0);
        QCOMPARE(platform::ownHostName(), longName);
    }

    void resolvingNames()
    {
        const NameLookup names; // the system resolver and this namespace's LAN
        QCOMPARE(names.resolve("10.1.2.3"), Ipv4Address(10, 1, 2, 3)); // no lookup
        QCOMPARE(names.resolve("localhost"), Ipv4Address(127, 0, 0, 1));
        QCOMPARE(names.resolve(""), std::nullopt);
        QCOMPARE(names.resolve(QByteArrayView("localhost\0x", 11)), std::nullopt);
        QCOMPARE(names.resolve("no-such-computer.invalid"), std::nullopt);
        QCOMPARE(platform::systemResolveName(QByteArrayView("localhost\0x", 11)), std::nullopt);

        QVERIFY(!names.reverse(Ipv4Address(127, 0, 0, 1)).isEmpty());
        QVERIFY(!platform::systemReverseName(Ipv4Address(127, 0, 0, 1)).isEmpty());
    }

    // The order, with backends that record who was asked: the scan list comes
    // before the resolver (a listed name goes where it was found) and the LAN,
    // and belongs to one object only. Names that read as addresses are none.
    void lookupOrderAndScanLists()
    {
        QList<QByteArray> asked;
        const auto backends = [&asked] {
            NameLookup::Backends b;
            b.systemResolve = [&asked](QByteArrayView n) -> std::optional<Ipv4Address> {
                asked.append("system " + n.toByteArray());
                return n == "known" ? std::optional(Ipv4Address(10, 0, 0, 9)) : std::nullopt;
            };
            b.systemReverse = [](Ipv4Address a) {
                if (a == Ipv4Address(10, 0, 0, 3)) // a hosts file or PTR record may hold anything
                    return QByteArray("evil\x1B]0;x\x07");
                return a == Ipv4Address(10, 0, 0, 9) ? QByteArray("known") : QByteArray();
            };
            b.lanResolve = [&asked](QByteArrayView n) -> std::optional<Ipv4Address> {
                asked.append("lan " + n.toByteArray());
                return std::nullopt;
            };
            b.lanHostNames = [](Ipv4Address a) {
                if (a == Ipv4Address(10, 0, 0, 2))
                    return lan::HostNames{{}, {}, "bravo.local"};
                if (a == Ipv4Address(10, 0, 0, 3))
                    return lan::HostNames{{}, "winpc", "w.local"};
                if (a == Ipv4Address(10, 0, 0, 4)) // names of the address they would send to
                    return lan::HostNames{"10.0.0.9", "0x0a000009", "10.0.0.9.local"};
                if (a == Ipv4Address(10, 0, 0, 5))
                    return lan::HostNames{"167772169", {}, "delta.local"};
                return lan::HostNames{"CHARLIE", "charlie", "c.local"};
            };
            return b;
        };
        NameLookup first(backends());
        NameLookup second(backends());
        first.rememberScanName("alpha", Ipv4Address(10, 0, 0, 1));

        QCOMPARE(first.resolve("known"), Ipv4Address(10, 0, 0, 9));
        QCOMPARE(first.resolve("Alpha"), Ipv4Address(10, 0, 0, 1));
        QCOMPARE(asked, QList<QByteArray>{"system known"});
        // The host at .6 listed as "known": a message to it goes to .6, not
        // to the resolver's address for that name.
        first.rememberScanName("KNOWN", Ipv4Address(10, 0, 0, 6));
        QCOMPARE(first.resolve("known"), Ipv4Address(10, 0, 0, 6));
        asked.clear();
        QCOMPARE(second.resolve("alpha"), std::nullopt);
        QCOMPARE(asked, (QList<QByteArray>{"system alpha", "lan alpha"}));

        first.forgetScanNames();
        QCOMPARE(first.resolve("alpha"), std::nullopt);

        QCOMPARE(first.reverse(Ipv4Address(10, 0, 0, 9)), QByteArray("known"));
        QCOMPARE(first.reverse(Ipv4Address(10, 0, 0, 2)), QByteArray("bravo"));   // .local dropped
        QCOMPARE(first.reverse(Ipv4Address(10, 0, 0, 7)), QByteArray("CHARLIE")); // NetBIOS first
        // A resolver name with a control byte counts as none: the LAN's name is
        // used, here the LLMNR one as the host has no NetBIOS name.
        QCOMPARE(first.reverse(Ipv4Address(10, 0, 0, 3)), QByteArray("winpc"));
        QCOMPARE(first.reverse(Ipv4Address(10, 0, 0, 4)), QByteArray());
        QCOMPARE(first.reverse(Ipv4Address(10, 0, 0, 5)), QByteArray("delta"));
    }

    void defaultRouteParsing_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("iface");
        const QByteArray head = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask"
                                "\t\tMTU\tWindow\tIRTT\n";
        QTest::newRow("one default") << head + "eth0\t00000000\t01070D0A\t0003\t0\t0\t0\t00000000"
                                               "\t0\t0\t0\neth0\t00070D0A\t00000000\t0001\t0\t0\t0"
                                               "\t00FFFFFF\t0\t0\t0\n"
                                     << QByteArray("eth0");
        QTest::newRow("lowest metric")
            << head + "wlan0\t00000000\t01070D0A\t0003\t0\t0\t600\t00000000"
                      "\t0\t0\t0\nenp1s0\t00000000\t01070D0A\t0003\t0\t0"
                      "\t100\t00000000\t0\t0\t0\n"
            << QByteArray("enp1s0");
        QTest::newRow("route down") << head + "eth0\t00000000\t01070D0A\t0002\t0\t0\t0\t00000000"
                                              "\t0\t0\t0\n"
                                    << QByteArray();
        QTest::newRow("no default") << head + "eth0\t00070D0A\t00000000\t0001\t0\t0\t0\t00FFFFFF"
                                              "\t0\t0\t0\n"
                                    << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void defaultRouteParsing()
    {
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, iface);
        QCOMPARE(platform::defaultRouteInterface(table), iface);
    }

    void scanNames()
    {
        // Nothing but the scan list knows a name here.
        NameLookup::Backends none;
        std::optional<Ipv4Address> resolverSays;
        none.systemResolve = [&resolverSays](QByteArrayView) { return resolverSays; };
        none.systemReverse = [](Ipv4Address) { return QByteArray(); };
        none.lanResolve = [](QByteArrayView) { return std::optional<Ipv4Address>(); };
        none.lanHostNames = [](Ipv4Address) { return lan::HostNames(); };
        NameLookup names(none);
        const auto scanNameAddress = [&names](QByteArrayView name) {
            const std::optional<Ipv4Address> a = names.resolve(name);
            return a ? QByteArray::fromStdString(a->toString()) : QByteArray();
        };
        names.forgetScanNames();
        names.rememberScanName("alpha", Ipv4Address(10, 0, 0, 1));
        names.rememberScanName(kChinese, Ipv4Address(10, 0, 0, 2));
        names.rememberScanName("ALPHA", Ipv4Address(10, 0, 0, 3));
        names.rememberScanName("", Ipv4Address(10, 0, 0, 4));
        // Two hosts claim alpha: never the lower address by default; the
        // resolver decides when it names one of them, else nobody gets it.
        QCOMPARE(scanNameAddress("Alpha"), QByteArray());
        QCOMPARE(names.lookUp("Alpha").claimants,
                 (QList<Ipv4Address>{Ipv4Address(10, 0, 0, 1), Ipv4Address(10, 0, 0, 3)}));
        resolverSays = Ipv4Address(10, 0, 0, 3);
        QCOMPARE(scanNameAddress("Alpha"), QByteArray("10.0.0.3"));
        resolverSays = Ipv4Address(10, 0, 0, 9); // not one of them: still nobody
        QCOMPARE(scanNameAddress("Alpha"), QByteArray());
        // One claimant: the listed host, whatever the resolver says.
        QCOMPARE(scanNameAddress(kChinese), QByteArray("10.0.0.2"));
        resolverSays.reset();
        QByteArray otherTrail = kChinese;
        otherTrail[5] = 'A';
        QCOMPARE(scanNameAddress(otherTrail), QByteArray());
        QCOMPARE(scanNameAddress(""), QByteArray());
        names.forgetScanNames();
        QCOMPARE(scanNameAddress("alpha"), QByteArray());

        // Scan workers remember while the user interface looks names up.
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([t, &names, &scanNameAddress] {
                for (int i = 0; i < 200; ++i) {
                    const QByteArray n = "pc" + QByteArray::number(t * 1000 + i);
                    names.rememberScanName(n, Ipv4Address(10, 1, std::uint8_t(t), std::uint8_t(i)));
                    if (scanNameAddress(n).isEmpty())
                        std::abort();
                }
            });
        }
        for (std::thread& th : threads)
            th.join();
        QCOMPARE(scanNameAddress("PC7199"), QByteArray("10.1.7.199"));
    }
};

QTEST_GUILESS_MAIN(TestNames)
#include "test_names.moc"
