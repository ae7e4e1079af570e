#include "core/ipv4.h"

#include <QTest>

using zeph::Ipv4Address;
namespace ipv4 = zeph::ipv4;

class TestIpv4 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parsesAndFormatsInNetworkOrder()
    {
        const auto a = ipv4::parse("192.168.1.20");
        QVERIFY(a);
        QCOMPARE(a->toHostOrder(), 0xC0A80114u);
        QCOMPARE((*a)[0], 192);
        QCOMPARE((*a)[3], 20);
        QCOMPARE(a->toString(), std::string("192.168.1.20"));
        QCOMPARE(Ipv4Address(10, 0, 0, 255).toString(), std::string("10.0.0.255"));
        for (const char* bad : {"", "1.2.3", "1.2.3.4.", "01.2.3.4", "256.1.1.1", "1.2.3.4 "})
            QVERIFY2(!ipv4::parse(bad), bad);
    }

    void subnetsAtTheirEdges()
    {
        const Ipv4Address own(10, 1, 2, 3);
        QVERIFY(Ipv4Address(10, 1, 3, 254).inSubnet(own, 23));
        QVERIFY(!Ipv4Address(10, 1, 4, 1).inSubnet(own, 23));
        QVERIFY(Ipv4Address(10, 1, 15, 1).inSubnet(own, 20));
        QVERIFY(!Ipv4Address(10, 1, 16, 1).inSubnet(own, 20));
        QCOMPARE(own.masked(0), Ipv4Address());
        QCOMPARE(own.masked(32), own);
        QCOMPARE(own.masked(24), Ipv4Address(10, 1, 2, 0));
        QVERIFY(Ipv4Address(224, 0, 0, 251).isMulticast());
        QVERIFY(!Ipv4Address(223, 255, 255, 255).isMulticast());
        QVERIFY(Ipv4Address(127, 0, 1, 1).isLoopback());
        QVERIFY(Ipv4Address(255, 255, 255, 255).isLimitedBroadcast());
    }

    // What a LAN answer may name: a unicast host of the subnet only.
    void hostsOfASubnet()
    {
        const Ipv4Address net(10, 1, 2, 0);
        QVERIFY(Ipv4Address(10, 1, 2, 1).isHostOf(net, 24));
        QVERIFY(Ipv4Address(10, 1, 3, 254).isHostOf(net, 23));
        QVERIFY(Ipv4Address(10, 1, 2, 255).isHostOf(net, 23)); // inside a /23
        for (const Ipv4Address bad :
             {Ipv4Address(10, 1, 2, 0), Ipv4Address(10, 1, 2, 255), Ipv4Address(10, 1, 3, 1),
              Ipv4Address(127, 0, 0, 1), Ipv4Address(224, 0, 0, 251),
              Ipv4Address(255, 255, 255, 255), Ipv4Address()})
            QVERIFY2(!bad.isHostOf(net, 24), bad.toString().c_str());
        // Loopback, 0/8 and multicast stay refused even inside a subnet that holds them.
        QVERIFY(!Ipv4Address(127, 0, 0, 5).isHostOf(Ipv4Address(127, 0, 0, 0), 24));
        QVERIFY(!Ipv4Address(0, 0, 0, 5).isHostOf(Ipv4Address(0, 0, 0, 0), 24));
        QVERIFY(!Ipv4Address(224, 0, 0, 5).isHostOf(Ipv4Address(224, 0, 0, 0), 24));
        // A point-to-point /31 has no network or broadcast address.
        QVERIFY(Ipv4Address(10, 1, 2, 0).isHostOf(net, 31));
        QVERIFY(Ipv4Address(10, 1, 2, 1).isHostOf(net, 31));
    }
};

QTEST_APPLESS_MAIN(TestIpv4)
#include "test_ipv4.moc"
