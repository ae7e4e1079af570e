// ARP requests and the replies that count, byte by byte as RFC 826 lays them out.

#include "platform/icmp/arp.h"
#include "platform/icmp/probeprotocol.h"

#include <QTest>

#include <vector>

using namespace zeph;

namespace {

const arp::Link kLink{3, Ipv4Address(10, 1, 2, 7), 22, {0x02, 0x11, 0x22, 0x33, 0x44, 0x55}};

std::vector<std::uint8_t> reply(std::vector<std::uint8_t> senderMac, Ipv4Address sender,
                                std::vector<std::uint8_t> targetMac, Ipv4Address target,
                                std::uint8_t op = 2)
{
    std::vector<std::uint8_t> p{0, 1, 8, 0, 6, 4, 0, op};
    p.insert(p.end(), senderMac.begin(), senderMac.end());
    for (std::uint8_t b : sender.octets())
        p.push_back(b);
    p.insert(p.end(), targetMac.begin(), targetMac.end());
    for (std::uint8_t b : target.octets())
        p.push_back(b);
    return p;
}

const std::vector<std::uint8_t> kOurs{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const std::vector<std::uint8_t> kTheirs{0x02, 0xAA, 0, 0, 0, 0x09};

} // namespace

class TestArp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestFromTheLinksOwnAddresses()
    {
        const auto p = arp::request(kLink, Ipv4Address(10, 1, 3, 9));
        const std::vector<std::uint8_t> expected =
            reply(kOurs, kLink.address, {0, 0, 0, 0, 0, 0}, Ipv4Address(10, 1, 3, 9), 1);
        QCOMPARE(std::vector<std::uint8_t>(p.begin(), p.end()), expected);
    }

    void whichTargetsTheLinkHolds()
    {
        QVERIFY(kLink.holds(Ipv4Address(10, 1, 0, 1)));
        QVERIFY(kLink.holds(Ipv4Address(10, 1, 3, 254)));
        QVERIFY(!kLink.holds(Ipv4Address(10, 1, 0, 0)));   // network
        QVERIFY(!kLink.holds(Ipv4Address(10, 1, 3, 255))); // broadcast
        QVERIFY(!kLink.holds(kLink.address));
        QVERIFY(!kLink.holds(Ipv4Address(10, 1, 4, 1)));
    }

    void onlyRepliesToUsFromTheSubnetCount()
    {
        const Ipv4Address host(10, 1, 3, 9);
        const auto good = reply(kTheirs, host, kOurs, kLink.address);
        const auto parsed = arp::parseReply(good.data(), good.size(), kLink);
        QVERIFY(parsed);
        QCOMPARE(parsed->sender, host);
        QCOMPARE(parsed->linkAddress[5], std::uint8_t(9));

        const std::vector<std::vector<std::uint8_t>> refused{
            reply(kTheirs, host, kOurs, kLink.address, 1),                  // a request
            reply(kTheirs, Ipv4Address(10, 9, 0, 1), kOurs, kLink.address), // off the subnet
            reply(kTheirs, Ipv4Address(10, 1, 3, 255), kOurs, kLink.address),
            reply(kTheirs, host, kOurs, Ipv4Address(10, 1, 2, 8)),       // for another address
            reply(kTheirs, host, kTheirs, kLink.address),                // for another card
            reply({0x01, 0, 0x5E, 0, 0, 1}, host, kOurs, kLink.address), // multicast sender
            reply({0, 0, 0, 0, 0, 0}, host, kOurs, kLink.address),
        };
        for (const auto& p : refused)
            QVERIFY(!arp::parseReply(p.data(), p.size(), kLink));
        for (std::size_t cut = 0; cut < good.size(); ++cut)
            QVERIFY(!arp::parseReply(good.data(), cut, kLink));
        auto otherHardware = good;
        otherHardware[1] = 6; // IEEE 802
        QVERIFY(!arp::parseReply(otherHardware.data(), otherHardware.size(), kLink));
    }

    // The helper's ARP lines: what one side writes the other reads back, and
    // nothing but exactly such a line is taken.
    void helperLines()
    {
        const LinkAddress card{0x02, 0xAB, 0x00, 0x10, 0xFF, 0x09};
        const std::string reply = probe::arpReplyLine(Ipv4Address(10, 1, 3, 9), card);
        QCOMPARE(reply, std::string("arp 10.1.3.9 02:ab:00:10:ff:09\n"));
        const auto back =
            probe::parseArpReplyLine(std::string_view(reply).substr(0, reply.size() - 1));
        QVERIFY(back);
        QCOMPARE(back->address, Ipv4Address(10, 1, 3, 9));
        QVERIFY(back->card == card);
        for (const char* bad : {"arp 10.1.3.9", "arp 10.1.3.9 02:ab:00:10:ff",
                                "arp 10.1.3.9 02:ab:00:10:ff:0", "arp 10.1.3.9 02:AB:00:10:ff:09",
                                "arp 10.1.3.9 02-ab-00-10-ff-09", "arp 10.1.3 02:ab:00:10:ff:09",
                                "10.1.3.9 02:ab:00:10:ff:09", "arp 10.1.3.9 02:ab:00:10:ff:09 "})
            QVERIFY2(!probe::parseArpReplyLine(bad), bad);
        QCOMPARE(probe::arpRequestLine(Ipv4Address(10, 1, 3, 9)), std::string("arp 10.1.3.9\n"));
        QCOMPARE(probe::parseArpRequestLine("arp 10.1.3.9"),
                 std::optional(Ipv4Address(10, 1, 3, 9)));
        QVERIFY(!probe::parseArpRequestLine("arp  10.1.3.9"));
        QVERIFY(!probe::parseArpRequestLine("10.1.3.9")); // an echo request
        QVERIFY(!probe::parseLine("arp 10.1.3.9"));       // not an echo request
    }
};

QTEST_GUILESS_MAIN(TestArp)
#include "test_arp.moc"
