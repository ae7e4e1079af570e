// The LAN questions on loopback, against fake responders bound to UDP 137 and
// 5353 of 127.0.0.x addresses. Runs in a private network namespace (as root
// there: binding 137 needs it; the program itself never binds these ports).

#include "lan/dns.h"
#include "lan/netbios.h"
#include "lan/questions.h"
#include "platform/net/localaddress.h"
#include "wirepackets.h"

#include <QElapsedTimer>
#include <QTest>

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zeph;
using namespace zeph::lan;
using namespace std::chrono_literals;
namespace w = zeph::test::wire;

namespace {

constexpr std::uint32_t kLoop2 = 0x7F000002; // 127.0.0.2
constexpr std::uint32_t kLoop3 = 0x7F000003;

// 10.77.0.0/24 on a veth pair: the private namespace's own subnet,
// with .1 as the scan interface and .2 as a LAN host (both local addresses).
constexpr std::uint32_t kOwn = 0x0A4D0001;
constexpr std::uint32_t kHost = 0x0A4D0002;
constexpr std::uint32_t kSubnetBroadcast = 0x0A4D00FF;
const ScanInterface kOnSubnet{Ipv4Address(kOwn), 24, Ipv4Address(kSubnetBroadcast)};

int boundSocket(std::uint32_t address, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(address);
    sin.sin_port = htons(port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0)
        qFatal("cannot bind %08x:%u (run in a private namespace as root)", address, port);
    return fd;
}

// Without a scan interface.
// Long enough that only an answer or a refusal, never the wait, ends a lookup
// on a loaded machine.
constexpr std::chrono::milliseconds kLongWait{20000};

HostNames hostNames(std::uint32_t address, std::chrono::milliseconds wait = kAnswerWait)
{
    return lan::hostNames(Ipv4Address(address), wait);
}

std::uint16_t idOf(const QByteArray& request)
{
    return request.size() >= 2 ? std::uint16_t((uchar(request[0]) << 8) | uchar(request[1])) : 0;
}

// Answers every datagram on address:port with what reply() gives; each
// answer goes out from the responder's socket, or from replyFrom's (bound to
// replyFrom:replyPort, the same port when 0) when set. A flooding responder
// answers with a stream of copies of one datagram, until it stops.
class Responder {
public:
    using Reply = std::function<QList<QByteArray>(const QByteArray& request)>;
    Responder(std::uint32_t address, std::uint16_t port, Reply reply, std::uint32_t replyFrom = 0,
              std::uint16_t replyPort = 0)
        : m_fd(boundSocket(address, port)),
          m_from(replyFrom ? boundSocket(replyFrom, replyPort ? replyPort : port) : -1),
          m_reply(std::move(reply)), m_thread([this] { run(); })
    {
    }
    static std::unique_ptr<Responder> flooding(std::uint32_t address, std::uint16_t port,
                                               Reply flood, std::uint32_t replyFrom = 0)
    {
        auto r = std::make_unique<Responder>(
            address, port, [](const QByteArray&) { return QList<QByteArray>{}; }, replyFrom);
        r->m_flood = std::move(flood);
        return r;
    }
    ~Responder()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
        if (m_from >= 0)
            ::close(m_from);
    }
    int requests() const { return m_requests; }
    // Also receives what goes to group out of the interface with this address.
    bool join(Ipv4Address group, Ipv4Address interfaceAddress)
    {
        const ip_mreq m{{htonl(group.toHostOrder())}, {htonl(interfaceAddress.toHostOrder())}};
        return ::setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
    }
    long flooded() const { return m_flooded; }

private:
    void run()
    {
        char buf[2048];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            const ssize_t n =
                ::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&peer), &len);
            if (n <= 0)
                continue;
            ++m_requests;
            for (const QByteArray& answer : m_reply(QByteArray(buf, n)))
                ::sendto(m_from >= 0 ? m_from : m_fd, answer.constData(), answer.size(), 0,
                         reinterpret_cast<sockaddr*>(&peer), len);
            if (m_flood)
                flood(peer, m_flood(QByteArray(buf, n)).value(0));
        }
    }

    // Batches of copies as fast as the kernel takes them, until the
    // responder stops (or 20 s pass).
    void flood(const sockaddr_in& peer, QByteArray datagram)
    {
        const auto end = std::chrono::steady_clock::now() + 20s;
        auto send = [&] {
            std::array<iovec, 64> iov{};
            std::array<mmsghdr, 64> msgs{};
            for (std::size_t i = 0; i < msgs.size(); ++i) {
                iov[i] = {datagram.data(), std::size_t(datagram.size())};
                msgs[i].msg_hdr.msg_name = const_cast<sockaddr_in*>(&peer);
                msgs[i].msg_hdr.msg_namelen = sizeof peer;
                msgs[i].msg_hdr.msg_iov = &iov[i];
                msgs[i].msg_hdr.msg_iovlen = 1;
            }
            while (!m_stop && std::chrono::steady_clock::now() < end) {
                const int n = ::sendmmsg(m_from >= 0 ? m_from : m_fd, msgs.data(), msgs.size(), 0);
                if (n > 0)
                    m_flooded += n;
            }
        };
        send();
    }

    int m_fd;
    int m_from;
    Reply m_reply;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::atomic<long> m_flooded{0};
    Reply m_flood;
    std::thread m_thread;
};

} // namespace

class TestLanLookup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qgetenv("ZEPH_IN_PRIVATE_NETNS") != "1")
            QSKIP("binds UDP 137 and 5353: run through tests/tools/in-netns.sh");
        QCOMPARE(std::system("ip link add zl0 type veth peer name zl1 && ip link set zl0 up && "
                             "ip link set zl1 up && ip addr add 10.77.0.1/24 brd + dev zl0 && "
                             "ip addr add 10.77.0.2/24 dev zl0"),
                 0);
    }

    void netbiosNameTakesOnlyOurAnswer()
    {
        // A stale answer, one with another id, then ours.
        Responder r(kLoop2, netbios::kPort, [](const QByteArray& q) {
            const std::uint16_t id = idOf(q);
            return QList<QByteArray>{"junk", w::nodeStatus(id + 1, {{"WRONG", 0}}),
                                     w::nodeStatus(id, {{"ALPHA", 0}})};
        });
        QCOMPARE(hostNames(kLoop2).netbios, QByteArray("ALPHA"));
        QCOMPARE(r.requests(), 1);
    }

    void netbiosNameIgnoresOtherSenders()
    {
        Responder r(
            kLoop2, netbios::kPort,
            [](const QByteArray& q) {
                return QList<QByteArray>{w::nodeStatus(idOf(q), {{"IMPOSTOR", 0}})};
            },
            kLoop3);
        QElapsedTimer t;
        t.start();
        QCOMPARE(hostNames(kLoop2, 200ms).netbios, QByteArray());
        // The impostor's answer did not end the wait.
        QVERIFY2(t.elapsed() >= 190, QByteArray::number(t.elapsed()));
    }

    void nothingListeningEndsAtOnce()
    {
        QElapsedTimer t;
        t.start();
        const HostNames names = hostNames(0x7F000004, kLongWait);
        QCOMPARE(names.netbios, QByteArray());
        QCOMPARE(names.mdns, QByteArray());
        // Port unreachable from both ended it, not the wait.
        QVERIFY2(t.elapsed() < kLongWait.count(), QByteArray::number(t.elapsed()));
    }

    void mdnsNameFromTheAddressItself()
    {
        Responder r(kLoop2, dns::kMdnsPort, [](const QByteArray& q) {
            // Our question asks for a unicast answer.
            if (!q.endsWith(QByteArray("\x00\x0C\x80\x01", 4)))
                return QList<QByteArray>{};
            return QList<QByteArray>{w::dnsAnswer(
                idOf(q), dns::reverseName(Ipv4Address(kLoop2)), 12,
                w::record(QByteArray("\xC0\x0C", 2), 12, 0x8001, w::dnsName("bravo.local")))};
        });
        const HostNames names = hostNames(kLoop2);
        QCOMPARE(names.netbios, QByteArray());
        QCOMPARE(names.mdns, QByteArray("bravo.local"));
    }

    // Both ways at once: a NetBIOS answer ends the wait even when it comes
    // after the multicast DNS one; while NetBIOS may still answer, a multicast
    // DNS name alone waits for it, within the wait.
    void bothWaysAtOnce()
    {
        auto ptr = [](const QByteArray& q) {
            return QList<QByteArray>{w::dnsAnswer(
                idOf(q), dns::reverseName(Ipv4Address(kLoop2)), 12,
                w::record(QByteArray("\xC0\x0C", 2), 12, 1, w::dnsName("bravo.local")))};
        };
        Responder md(kLoop2, dns::kMdnsPort, ptr);
        {
            Responder nb(kLoop2, netbios::kPort, [](const QByteArray& q) {
                std::this_thread::sleep_for(50ms);
                return QList<QByteArray>{w::nodeStatus(idOf(q), {{"BRAVO", 0}})};
            });
            QElapsedTimer t;
            t.start();
            const HostNames names = hostNames(kLoop2, kLongWait);
            QCOMPARE(names.netbios, QByteArray("BRAVO"));
            // The NetBIOS answer ended it, not the wait.
            QVERIFY2(t.elapsed() < kLongWait.count(), QByteArray::number(t.elapsed()));
        }
        Responder silent(kLoop2, netbios::kPort,
                         [](const QByteArray&) { return QList<QByteArray>{}; });
        QElapsedTimer t;
        t.start();
        const HostNames names = hostNames(kLoop2, 150ms);
        QCOMPARE(names.netbios, QByteArray());
        QCOMPARE(names.mdns, QByteArray("bravo.local"));
        QVERIFY2(t.elapsed() >= 140, QByteArray::number(t.elapsed()));
    }

    // The scan engine asks from many threads at once: every answer reaches
    // the thread that asked.
    void concurrentQuestions()
    {
        Responder r(kLoop2, netbios::kPort, [](const QByteArray& q) {
            const std::uint16_t id = idOf(q);
            return QList<QByteArray>{w::nodeStatus(id, {{"PC" + QByteArray::number(id), 0}})};
        });
        std::atomic<int> right{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 16; ++i) {
            threads.emplace_back([&right] {
                for (int k = 0; k < 10; ++k) {
                    const QByteArray name = hostNames(kLoop2).netbios;
                    if (name.startsWith("PC") && name.size() > 2)
                        ++right;
                }
            });
        }
        for (std::thread& th : threads)
            th.join();
        QCOMPARE(right.load(), 160);
    }

    // From the netmask, also for an address added without "brd" (which
    // reports no broadcast address of its own).
    void subnetBroadcast()
    {
        QCOMPARE(std::system("ip link add zn0 type veth peer name zn1 && ip link set zn0 up && "
                             "ip addr add 10.9.8.7/24 dev zn0 && "
                             "ip addr add 172.20.1.2/20 brd + dev zn0"),
                 0);
        const auto first = platform::interfaceAddress(Ipv4Address(10, 9, 8, 7));
        const auto second = platform::interfaceAddress(Ipv4Address(172, 20, 1, 2));
        const auto loopback = platform::interfaceAddress(Ipv4Address(127, 0, 0, 1));
        const auto nobody = platform::interfaceAddress(Ipv4Address(10, 9, 8, 8));
        QCOMPARE(std::system("ip link del zn0"), 0);
        QVERIFY(first && second && loopback);
        QCOMPARE(first->broadcast, std::optional(Ipv4Address(10, 9, 8, 255)));
        QCOMPARE(first->prefixLength, 24);
        QCOMPARE(second->broadcast, std::optional(Ipv4Address(172, 20, 15, 255)));
        QCOMPARE(second->prefixLength, 20);
        QCOMPARE(loopback->broadcast, std::nullopt); // no broadcast on loopback
        QVERIFY(!nobody);
    }

    void resolveOnLanByNetbiosBroadcast()
    {
        // Asked by broadcast on the subnet, answered by a host of it.
        Responder r(
            kSubnetBroadcast, netbios::kPort,
            [](const QByteArray& q) {
                // Answers for its own name only, as nmbd does.
                if (q != netbios::nameQueryRequest(idOf(q), "GAMMA"))
                    return QList<QByteArray>{};
                return QList<QByteArray>{w::nameQueryAnswer(idOf(q) ^ 1, "GAMMA", {0x0A4D0009}),
                                         w::nameQueryAnswer(idOf(q), "GAMMA", {0x0A4D0007})};
            },
            kHost);
        QCOMPARE(lan::resolveOnLan(kOnSubnet, "gamma"), std::optional(Ipv4Address(0x0A4D0007)));
        QElapsedTimer t;
        t.start();
        QCOMPARE(lan::resolveOnLan(kOnSubnet, "delta", 150ms), std::nullopt);
        // Nobody answered for delta: it waited its wait out.
        QVERIFY2(t.elapsed() >= 140, QByteArray::number(t.elapsed()));
        // Not a NetBIOS name: no broadcast at all.
        const int before = r.requests();
        QCOMPARE(lan::resolveOnLan(kOnSubnet, "gamma.example", 50ms), std::nullopt);
        QTest::qWait(50);
        QCOMPARE(r.requests(), before);
    }

    // A forged answer counts as no answer: an address that is not a unicast
    // host of the subnet, a sender outside it, or a sender on another port.
    // The wait goes on, and a good answer after forged ones still counts.
    void forgedAnswersAreRefused()
    {
        const QList<std::uint32_t> forged{0x7F000001,       0,          0xE0000001, 0xFFFFFFFF,
                                          kSubnetBroadcast, 0x0A4D0000, 0x0A4E0007};
        const auto answers = [forged](bool thenGood) {
            return [forged, thenGood](const QByteArray& q) {
                QList<QByteArray> out;
                for (std::uint32_t a : forged)
                    out << w::nameQueryAnswer(idOf(q), "GAMMA", {a});
                if (thenGood)
                    out << w::nameQueryAnswer(idOf(q), "GAMMA", {0x0A4D0007});
                return out;
            };
        };
        {
            Responder r(kSubnetBroadcast, netbios::kPort, answers(false), kHost);
            QCOMPARE(lan::resolveOnLan(kOnSubnet, "gamma", 150ms), std::nullopt);
            QCOMPARE(r.requests(), 1);
        }
        {
            Responder r(kSubnetBroadcast, netbios::kPort, answers(true), kHost);
            QCOMPARE(lan::resolveOnLan(kOnSubnet, "gamma"), std::optional(Ipv4Address(0x0A4D0007)));
        }
        const auto good = [](const QByteArray& q) {
            return QList<QByteArray>{w::nameQueryAnswer(idOf(q), "GAMMA", {0x0A4D0007})};
        };
        {
            Responder offSubnet(kSubnetBroadcast, netbios::kPort, good, kLoop2);
            QCOMPARE(lan::resolveOnLan(kOnSubnet, "gamma", 150ms), std::nullopt);
            QCOMPARE(offSubnet.requests(), 1);
        }
        {
            Responder otherPort(kSubnetBroadcast, netbios::kPort, good, kHost, 40137);
            QCOMPARE(lan::resolveOnLan(kOnSubnet, "gamma", 150ms), std::nullopt);
            QCOMPARE(otherPort.requests(), 1);
        }
    }

    // Multicast DNS asks the host alone, by unicast: nothing goes to the
    // group, where any host of the LAN would see the question's id and our
    // port and could answer from the host's address and port (as the group
    // responder here does). The host's own answer counts.
    void mdnsAsksTheHostAlone()
    {
        const auto ptr = [](const QByteArray& q) {
            return QList<QByteArray>{w::dnsAnswer(
                idOf(q), dns::reverseName(Ipv4Address(kHost)), 12,
                w::record(QByteArray("\xC0\x0C", 2), 12, 1, w::dnsName("bravo.local")))};
        };
        {
            Responder group(dns::kMdnsGroup.toHostOrder(), dns::kMdnsPort, ptr, kHost);
            QVERIFY(group.join(dns::kMdnsGroup, Ipv4Address(kOwn)));
            QCOMPARE(lan::hostNames(Ipv4Address(kHost), 200ms).mdns, QByteArray());
            QCOMPARE(group.requests(), 0);
        }
        Responder host(kHost, dns::kMdnsPort, ptr);
        QCOMPARE(lan::hostNames(Ipv4Address(kHost)).mdns, QByteArray("bravo.local"));
        QCOMPARE(host.requests(), 1);
    }

    // A flood to the port a question went out from does not hold the caller
    // past its wait (name resolution for sending runs on the UI thread). The
    // flood carries our id and is slow to read (256 records, each owner a
    // pointer to a long name), so that the socket is never found empty.
    void floodDoesNotHoldTheWait()
    {
        const QByteArray longName = w::dnsName(QByteArray(60, 'a') + '.' + QByteArray(60, 'b') +
                                               '.' + QByteArray(60, 'c') + ".local");
        const auto costly = [longName](const QByteArray& q) {
            QByteArray out = w::header(idOf(q), 0x8400, 0, 256) + w::record(longName, 1, 1, {});
            for (int i = 1; i < 256; ++i)
                out += w::record(QByteArray("\xC0\x0C", 2), 1, 1, {});
            return QList<QByteArray>{out};
        };
        const auto md = Responder::flooding(kLoop2, dns::kMdnsPort, costly);
        QCOMPARE(hostNames(kLoop2, 100ms).mdns, QByteArray());
        // The wait ended by its own clock while the flood went on.
        const long atTheEnd = md->flooded();
        QVERIFY2(atTheEnd > 1000, QByteArray::number(atTheEnd));
        QTRY_VERIFY(md->flooded() > atTheEnd);
    }
};

QTEST_GUILESS_MAIN(TestLanLookup)
#include "test_lanlookup.moc"
