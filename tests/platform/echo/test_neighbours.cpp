// The neighbour table reader: the parser on netlink messages built as the
// kernel sends them, then the real kernel's table in a private namespace.

#include "netns.h"
#include "platform/echo/neighbours.h"

#include <QTest>

#include <optional>

#include <cstdlib>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

using namespace zeph;
namespace nb = zeph::platform::neighbours;

namespace {

void append(std::vector<std::uint8_t>& out, const void* p, std::size_t n)
{
    const auto* b = static_cast<const std::uint8_t*>(p);
    out.insert(out.end(), b, b + n);
    out.resize((out.size() + 3) & ~std::size_t(3)); // every part is 4-aligned
}

void attribute(std::vector<std::uint8_t>& out, unsigned short type, const void* p, std::size_t n)
{
    rtattr a{static_cast<unsigned short>(RTA_LENGTH(n)), type};
    append(out, &a, sizeof a);
    append(out, p, n);
}

// One neighbour message as the kernel sends it: header, ndmsg, NDA_DST,
// NDA_LLADDR, NDA_CACHEINFO (confirmed that many ticks ago).
std::vector<std::uint8_t> message(unsigned short type, unsigned char family, std::uint16_t state,
                                  std::vector<std::uint8_t> dst, bool withLinkAddress = true,
                                  std::optional<std::uint32_t> confirmed = std::nullopt)
{
    std::vector<std::uint8_t> body;
    ndmsg nd{};
    nd.ndm_family = family;
    nd.ndm_ifindex = 7;
    nd.ndm_state = state;
    append(body, &nd, sizeof nd);
    attribute(body, NDA_DST, dst.data(), dst.size());
    const std::uint8_t mac[6] = {2, 0, 0, 0, 0, std::uint8_t(dst.empty() ? 0 : dst.back())};
    if (withLinkAddress)
        attribute(body, NDA_LLADDR, mac, sizeof mac);
    if (confirmed) {
        const nda_cacheinfo info{*confirmed, 1, 2, 3};
        attribute(body, NDA_CACHEINFO, &info, sizeof info);
    }
    nlmsghdr h{};
    h.nlmsg_len = std::uint32_t(NLMSG_HDRLEN + body.size());
    h.nlmsg_type = type;
    std::vector<std::uint8_t> out;
    append(out, &h, sizeof h);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<std::uint8_t> done()
{
    nlmsghdr h{};
    h.nlmsg_len = NLMSG_HDRLEN + 4;
    h.nlmsg_type = NLMSG_DONE;
    std::vector<std::uint8_t> out;
    append(out, &h, sizeof h);
    out.resize(out.size() + 4);
    return out;
}

std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool run(const char* command)
{
    return std::system(command) == 0;
}

} // namespace

class TestNeighbours : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void statesThatCount()
    {
        for (std::uint16_t s : {NUD_REACHABLE, NUD_STALE, NUD_DELAY, NUD_PROBE})
            QVERIFY(nb::isResolved(s));
        for (std::uint16_t s : {NUD_INCOMPLETE, NUD_FAILED, NUD_NONE, NUD_PERMANENT, NUD_NOARP})
            QVERIFY(!nb::isResolved(s));
        QVERIFY(nb::isIncomplete(NUD_INCOMPLETE));
        QVERIFY(!nb::isIncomplete(NUD_FAILED));
    }

    // A dump as the kernel sends it: IPv4 entries with their link-layer
    // address; other families and entries without an address are passed over;
    // the end is seen.
    void parsesADump()
    {
        const auto bytes =
            message(RTM_NEWNEIGH, AF_INET, NUD_REACHABLE, {10, 1, 2, 3}, true, 4711) +
            message(RTM_NEWNEIGH, AF_INET6, NUD_REACHABLE, std::vector<std::uint8_t>(16, 0xFE)) +
            message(RTM_NEWNEIGH, AF_INET, NUD_INCOMPLETE, {10, 1, 2, 4}, false) +
            message(RTM_DELNEIGH, AF_INET, NUD_FAILED, {10, 1, 2, 5}) +
            message(RTM_NEWNEIGH, AF_INET, NUD_STALE, {}) + done();
        const nb::Batch batch = nb::parse(bytes.data(), bytes.size());
        QVERIFY(batch.done);
        QCOMPARE(batch.entries.size(), std::size_t(3));
        QCOMPARE(batch.entries[0].address, Ipv4Address(10, 1, 2, 3));
        QCOMPARE(batch.entries[0].interfaceIndex, 7);
        QCOMPARE(batch.entries[0].state, std::uint16_t(NUD_REACHABLE));
        QVERIFY(batch.entries[0].hasLinkAddress);
        QCOMPARE(batch.entries[0].linkAddress[5], std::uint8_t(3));
        QCOMPARE(batch.entries[0].confirmedTicksAgo, std::optional<std::uint32_t>(4711));
        QVERIFY(!batch.entries[1].hasLinkAddress);
        QVERIFY(!batch.entries[1].confirmedTicksAgo);
        QVERIFY(!batch.entries[1].removed);
        QVERIFY(batch.entries[2].removed);
    }

    // Every cut and every overstated length ends the reading quietly, keeping
    // only whole messages before it.
    void damagedMessages()
    {
        const auto one = message(RTM_NEWNEIGH, AF_INET, NUD_REACHABLE, {10, 1, 2, 3});
        const auto two = one + one;
        for (std::size_t cut = 0; cut < two.size(); ++cut) {
            const nb::Batch b = nb::parse(two.data(), cut);
            QVERIFY(b.entries.size() <= (cut >= one.size() ? 1u : 0u));
        }
        auto longer = one;
        reinterpret_cast<nlmsghdr*>(longer.data())->nlmsg_len += 4;
        QVERIFY(nb::parse(longer.data(), longer.size()).entries.empty());
        auto badAttribute = one;
        // NDA_DST's length reaches past the message.
        badAttribute[NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ndmsg))] = 0xF0;
        QVERIFY(nb::parse(badAttribute.data(), badAttribute.size()).entries.empty());
        auto zeroLength = one;
        reinterpret_cast<nlmsghdr*>(zeroLength.data())->nlmsg_len = 0;
        QVERIFY(nb::parse(zeroLength.data(), zeroLength.size()).entries.empty());
    }

    // The real kernel: the dump lists an entry set by hand with its age, and a change to
    // it arrives as an event, on a veth pair inside this private namespace.
    void realTable()
    {
        if (!test::onlyLoopbackInReach() || ::geteuid() != 0)
            QSKIP("needs root in a private network namespace (in-netns.sh)");
        QVERIFY(run("ip link add pr16a type veth peer name pr16b && ip link set pr16a up && "
                    "ip link set pr16b up && ip addr add 10.250.0.1/24 dev pr16a && "
                    "ip neigh replace 10.250.0.9 lladdr 02:00:00:00:00:09 dev pr16a nud stale"));
        const int index = int(if_nametoindex("pr16a"));
        nb::Socket socket;
        QVERIFY(socket.open());
        QVERIFY(socket.requestDump());
        auto readUntil = [&](auto&& wanted) {
            for (int i = 0; i < 50; ++i) {
                pollfd p{socket.fd(), POLLIN, 0};
                ::poll(&p, 1, 100);
                for (const nb::Entry& e : socket.read().entries)
                    if (e.interfaceIndex == index && e.address == Ipv4Address(10, 250, 0, 9) &&
                        wanted(e))
                        return true;
            }
            return false;
        };
        // Set by hand, never confirmed: its confirmation lies far back (the
        // ghost rule of the scan rests on this).
        QVERIFY(readUntil([](const nb::Entry& e) {
            return nb::isResolved(e.state) && e.hasLinkAddress && e.linkAddress[5] == 9 &&
                   e.confirmedTicksAgo &&
                   nb::tick() * std::int64_t(*e.confirmedTicksAgo) >= std::chrono::seconds(10);
        }));
        QVERIFY(run("ip neigh replace 10.250.0.9 lladdr 02:00:00:00:00:09 dev pr16a nud failed"));
        QVERIFY(readUntil([](const nb::Entry& e) { return !nb::isResolved(e.state); }));
        QVERIFY(run("ip neigh del 10.250.0.9 dev pr16a"));
        QVERIFY(readUntil([](const nb::Entry& e) { return e.removed; }));
        run("ip link del pr16a");
    }
};

QTEST_GUILESS_MAIN(TestNeighbours)
#include "test_neighbours.moc"
