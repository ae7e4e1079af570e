// The scan, the echo transport and the local address on a simulated LAN. Run by
// run_scan_lan.sh inside the scanning host's namespace, which tells it through
// the environment what the LAN holds; the parser cases need no LAN.

#include "addresstext.h"
#include "discovery/scanconfig.h"
#include "discovery/scanner.h"
#include "peers.h"
#include "platform/echo/echoprobe.h"
#include "platform/net/localaddress.h"
#include "platform/net/names.h"
#include "scanrun.h"

#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <cstdlib>
#include <ifaddrs.h>
#include <net/if.h>

using namespace zeph;
using zeph::test::ScannerPeer;

namespace {

QByteArray env(const char* name)
{
    return qgetenv(name);
}

QList<QByteArray> ownAddresses()
{
    QList<QByteArray> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        char buf[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, buf, sizeof buf);
        found << QByteArray(buf);
    }
    freeifaddrs(list);
    return found;
}

// Host n of the /24 that holds dotted; n may be a whole address instead.
Ipv4Address hostOf(const QByteArray& dotted, const QByteArray& n)
{
    if (const auto whole = ipv4::parse(n))
        return *whole;
    const auto own = ipv4::parse(dotted);
    return Ipv4Address(own ? own->masked(24).toHostOrder() + n.toUInt() : 0);
}

const char* methodName(platform::EchoMethod m)
{
    switch (m) {
    case platform::EchoMethod::Datagram:
        return "datagram";
    case platform::EchoMethod::Raw:
        return "raw";
    case platform::EchoMethod::HelperDatagram:
        return "helper-datagram";
    case platform::EchoMethod::HelperRaw:
        return "helper-raw";
    case platform::EchoMethod::IcmpLibrary:
        return "icmp-library";
    case platform::EchoMethod::None:
        break;
    }
    return "none";
}

} // namespace

class TestScanLan : public QObject {
    Q_OBJECT
    QByteArray m_address; // ours on the LAN; empty outside it
    platform::EchoOptions m_options;

private Q_SLOTS:
    void initTestCase()
    {
        m_address = env("ZEPH_LAN_ADDRESS");
        if (m_address.isEmpty())
            return;
        // Nothing is probed unless we stand in our own namespace on our own
        // subnets (ZEPH_LAN_MORE: the addresses of further cards).
        QList<QByteArray> expected{m_address};
        for (const QByteArray& more : env("ZEPH_LAN_MORE").split(' '))
            if (!more.isEmpty())
                expected << more;
        QCOMPARE(ownAddresses(), expected);
        for (const QByteArray& a : std::as_const(expected))
            QVERIFY(a.startsWith("10.213."));
        m_options.helperPath = env("ZEPH_LAN_HELPER");
        m_options.inProcess = env("ZEPH_LAN_IN_PROCESS") != "0";
    }

    // Debian resolves the own name to 127.0.1.1: the default-route interface's
    // address replaces it, and without a default route the first interface up.
    void localAddress()
    {
        if (m_address.isEmpty())
            QSKIP("needs the simulated LAN (run_scan_lan.sh)");
        const auto dotted = [](std::optional<Ipv4Address> a) {
            return a ? QByteArray::fromStdString(a->toString()) : QByteArray();
        };
        const auto localIPv4Address = [&dotted](QByteArrayView resolved) {
            return dotted(platform::localIPv4Address(ipv4::parse(resolved)));
        };
        const auto interfaceIPv4Address = [&dotted](QByteArrayView name) {
            return dotted(platform::interfaceIPv4Address(name));
        };
        QCOMPARE(localIPv4Address("127.0.1.1"), m_address);
        QCOMPARE(localIPv4Address(""), m_address);
        QCOMPARE(localIPv4Address("not an address"), m_address);
        QCOMPARE(localIPv4Address("10.99.1.2"), m_address); // no interface holds it
        QCOMPARE(interfaceIPv4Address("eth0"), m_address);
        QCOMPARE(interfaceIPv4Address("lo"), QByteArray("127.0.0.1"));
        if (env("ZEPH_LAN_ROOT") == "1") {
            QCOMPARE(std::system("ip route del default"), 0);
            const QByteArray withoutRoute = localIPv4Address("127.0.1.1");
            QCOMPARE(std::system("ip link set eth0 down"), 0);
            const QByteArray nothingUp = localIPv4Address("127.0.1.1");
            QCOMPARE(std::system("ip link set eth0 up && ip route add default via "
                                 "10.213.7.254 dev eth0"),
                     0);
            QCOMPARE(withoutRoute, m_address);
            QCOMPARE(nothingUp, QByteArray());
        }
    }

    // Requests sent ahead, replies as they come: exactly the answering
    // addresses reply, each once.
    void echoTransport()
    {
        if (m_address.isEmpty())
            QSKIP("needs the simulated LAN (run_scan_lan.sh)");
        const auto transport = platform::openEchoTransport(m_options);
        QCOMPARE(methodName(transport ? transport->method() : platform::EchoMethod::None),
                 env("ZEPH_LAN_METHOD").constData());
        if (!transport)
            return;
        QList<Ipv4Address> replies;
        transport->setReplyHandler([&](Ipv4Address from) { replies << from; });
        QList<Ipv4Address> alive;
        for (const QByteArray& n : env("ZEPH_LAN_ALIVE").split(' '))
            alive << hostOf(m_address, n);
        for (const QByteArray& n :
             env("ZEPH_LAN_SILENT").split(' ') + env("ZEPH_LAN_ALIVE").split(' '))
            QVERIFY(transport->send(hostOf(m_address, n)));
        QVERIFY(!transport->send(Ipv4Address()));
        QVERIFY(!transport->send(Ipv4Address(224, 0, 0, 1)));
        QTRY_COMPARE(replies.size(), alive.size());
        QTest::qWait(100); // no duplicate, no silent host
        std::sort(replies.begin(), replies.end());
        std::sort(alive.begin(), alive.end());
        QCOMPARE(replies, alive);
    }

    // The whole subnet (the own /24, or a /22): every named host that answers
    // echo or ARP with its address, in address order; nameless hosts stay out.
    void scan()
    {
        if (m_address.isEmpty())
            QSKIP("needs the simulated LAN (run_scan_lan.sh)");
        test::ScanRun run(m_options);
        const Scanner& scanner = run.scanner;
        const History& history = run.history;
        // As the program starts: the interfaces (Debian resolves the own
        // name to 127.0.1.1), then zeph.conf, whose problems go to the history.
        const ScanConfig config = readScanConfig(scanConfigPath());
        run.startUp(Ipv4Address(127, 0, 1, 1), config.subnets);
        for (const QByteArray& problem : config.problems)
            run.history.appendError(problem);
        for (const QByteArray& entry : env("ZEPH_LAN_PROBLEMS").split(' '))
            QVERIFY2(entry.isEmpty() || history.text().contains(entry + "\xA1\xC1"), entry);
        QCOMPARE(ScannerPeer::network(scanner).value_or(Ipv4Address()), hostOf(m_address, "0"));
        QSignalSpy listed(&scanner, &Scanner::computerListed);
        // A proxy for a whole /22 makes the sweep wait for room in the table.
        QVERIFY(run.run(120000));
        QList<QByteArray> names;
        QList<Ipv4Address> addresses;
        for (const QByteArray& pair : env("ZEPH_LAN_EXPECT").split(' ')) {
            if (pair.isEmpty())
                continue;
            names << pair.left(pair.indexOf('@'));
            addresses << hostOf(m_address, pair.mid(pair.indexOf('@') + 1));
        }
        QCOMPARE(run.view.computers.join(' '), names.join(' '));
        QCOMPARE(listed.size(), names.size());
        for (qsizetype i = 0; i < listed.size(); ++i) {
            QCOMPARE(listed[i][0].toByteArray(), names[i]);
            QCOMPARE(listed[i][1].value<Ipv4Address>(), addresses[i]);
        }
        QVERIFY(history.text().endsWith(Scanner::completedText() +
                                        QByteArray("\xA1\xEF\xA1\xEF\xA1\xEF")));
        QCOMPARE(run.view.progressPosition, ScannerPeer::highestHostNumber(scanner));
        if (!env("ZEPH_LAN_SWEPT").isEmpty()) // every card's subnet, and only those
            QCOMPARE(ScannerPeer::highestHostNumber(scanner), env("ZEPH_LAN_SWEPT").toInt());
    }
};

QTEST_GUILESS_MAIN(TestScanLan)
#include "test_scan_lan.moc"
