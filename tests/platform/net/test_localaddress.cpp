// The one policy over the interfaces each system lists: which address is the
// local one and which subnets the scan covers.

#include "platform/net/localaddress.h"

#include <QTest>

using zeph::Ipv4Address;
using zeph::platform::LocalInterface;

namespace {

LocalInterface card(const char* name, Ipv4Address a, int prefix)
{
    LocalInterface i;
    i.name = name;
    i.address = a;
    i.prefixLength = prefix;
    i.broadcast = true;
    return i;
}

} // namespace

class TestLocalAddress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The resolver's answer only when an interface holds it; else the
    // default route's interface, else the first that is not loopback.
    void localAddress()
    {
        LocalInterface lo = card("lo", Ipv4Address(127, 0, 0, 1), 8);
        lo.loopback = true;
        lo.broadcast = false;
        const LocalInterface wifi = card("wlan0", Ipv4Address(192, 168, 1, 7), 24);
        LocalInterface eth = card("eth0", Ipv4Address(10, 1, 2, 3), 22);
        eth.defaultRoute = true;
        const std::vector<LocalInterface> all{lo, wifi, eth};
        using zeph::platform::chooseLocalAddress;
        QCOMPARE(chooseLocalAddress(Ipv4Address(192, 168, 1, 7), all), wifi.address);
        QCOMPARE(chooseLocalAddress(Ipv4Address(10, 99, 1, 2), all), eth.address);
        QCOMPARE(chooseLocalAddress(Ipv4Address(127, 0, 1, 1), all), eth.address);
        QCOMPARE(chooseLocalAddress(Ipv4Address(127, 0, 0, 1), all), eth.address);
        QCOMPARE(chooseLocalAddress(std::nullopt, {lo, wifi}), wifi.address);
        QCOMPARE(chooseLocalAddress(std::nullopt, {lo}), std::nullopt);
    }

    // Every broadcast LAN, one address per subnet; not loopback, a tunnel, a
    // /32 or a bridge of containers. Nothing of that sort: the local
    // address's own interface, as the scan always swept it.
    void scanInterfaces()
    {
        const LocalInterface eth = card("eth0", Ipv4Address(10, 1, 2, 3), 22);
        const LocalInterface alias = card("eth0", Ipv4Address(10, 1, 3, 9), 22);
        const LocalInterface wifi = card("wlan0", Ipv4Address(192, 168, 1, 7), 24);
        LocalInterface tun = card("tun0", Ipv4Address(10, 8, 0, 2), 24);
        tun.pointToPoint = true;
        tun.broadcast = false;
        const LocalInterface slash32 = card("pp0", Ipv4Address(10, 9, 0, 1), 32);
        LocalInterface docker = card("docker0", Ipv4Address(172, 17, 0, 1), 16);
        docker.virtualBridge = true;
        const auto on =
            zeph::platform::scanInterfaces(eth.address, {eth, tun, alias, slash32, docker, wifi});
        QCOMPARE(on.size(), std::size_t(2));
        QCOMPARE(on[0].address, eth.address);
        QCOMPARE(on[0].broadcast, std::optional(Ipv4Address(10, 1, 3, 255)));
        QCOMPARE(on[1].address, wifi.address);
        QCOMPARE(on[1].prefixLength, 24);

        const auto only = zeph::platform::scanInterfaces(tun.address, {tun, docker});
        QCOMPARE(only.size(), std::size_t(1));
        QCOMPARE(only[0].address, tun.address);
        QCOMPARE(only[0].broadcast, std::nullopt);
        QVERIFY(zeph::platform::scanInterfaces(std::nullopt, {tun}).empty());
    }
};

QTEST_GUILESS_MAIN(TestLocalAddress)
#include "test_localaddress.moc"
