// The ICMP echo socket and the helper's pacing, in a private network namespace
// as root there (raw sockets) with a /run/lock of its own: what a LAN host
// learns from our requests, how much one read takes, how fast the helpers
// send (also when their shared lock is not sound or is held), and which
// address an ARP request claims.

#include "netns.h"
#include "platform/icmp/arp.h"
#include "platform/icmp/icmpecho.h"
#include "platform/icmp/probeprotocol.h"
#include "platform/icmp/requestpacer.h"
#include "platform/icmp/sendturn.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/if_ether.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace zeph;
using namespace std::chrono_literals;

namespace {

struct Request {
    Ipv4Address to;
    std::uint16_t ident = 0;
    std::uint16_t sequence = 0;
    std::chrono::nanoseconds arrived{}; // the kernel's time stamp
};

// Every echo request that crosses loopback, as a host on the LAN sees it.
class Capture {
public:
    Capture() : m_fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP))
    {
        const int on = 1;
        ::setsockopt(m_fd.get(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    }
    bool isOpen() const { return bool(m_fd); }

    // Waits up to 5 s for count requests.
    std::vector<Request> requests(std::size_t count)
    {
        std::vector<Request> out;
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (out.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{m_fd.get(), POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            unsigned char buf[256];
            alignas(cmsghdr) char control[256];
            iovec iov{buf, sizeof buf};
            msghdr msg{};
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(m_fd.get(), &msg, 0);
            const std::size_t ip = n > 0 ? std::size_t(buf[0] & 0x0F) * 4 : 0;
            if (n <= 0 || std::size_t(n) < ip + 8 || buf[ip] != ICMP_ECHO)
                continue;
            Request r;
            r.to = Ipv4Address(buf[16], buf[17], buf[18], buf[19]);
            r.ident = std::uint16_t(buf[ip + 4] << 8 | buf[ip + 5]);
            r.sequence = std::uint16_t(buf[ip + 6] << 8 | buf[ip + 7]);
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec ts{};
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    r.arrived =
                        std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
                }
            }
            out.push_back(r);
        }
        return out;
    }

private:
    platform::UniqueFd m_fd;
};

// Starts the helper built beside the program; true once it said it is ready.
bool startHelper(QProcess& helper)
{
    helper.start(qEnvironmentVariable("ZEPH_BINARY_DIR") + QStringLiteral("/bin/zeph-probe"), {});
    return helper.waitForStarted() && helper.waitForReadyRead(5000) &&
           helper.readLine().startsWith("ok ");
}

// Asks each of two running helpers for each addresses: 127.0.<helper>.<n>.
bool askEach(QProcess (&helpers)[2], int each)
{
    for (int h = 0; h < 2; ++h) {
        QByteArray lines;
        for (int i = 0; i < each; ++i)
            lines += "127.0." + QByteArray::number(h + 1) + '.' + QByteArray::number(i + 1) + '\n';
        helpers[h].write(lines);
        if (!helpers[h].waitForBytesWritten(5000))
            return false;
    }
    return true;
}

bool runIp(const QString& arguments)
{
    return QProcess::execute(QStringLiteral("ip"), arguments.split(u' ')) == 0;
}

// The sender address of the next ARP request the packet socket fd reads
// within waitMs, if one comes.
std::optional<Ipv4Address> nextArpSender(int fd, int waitMs = 5000)
{
    pollfd p{fd, POLLIN, 0};
    std::uint8_t buf[64];
    while (::poll(&p, 1, waitMs) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n >= ssize_t(arp::kPacketSize) && buf[7] == 1) // a request
            return Ipv4Address(buf[14], buf[15], buf[16], buf[17]);
    }
    return std::nullopt;
}

} // namespace

class TestIcmp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        ZEPH_REQUIRE_PRIVATE_NETNS();
        // The lock is replaced below: never the machine's own.
        if (qgetenv("ZEPH_PRIVATE_RUN_LOCK") != "1")
            QFAIL("no private /run/lock (tests/tools/private-run-lock.sh); run through ctest");
    }

    // A host that sees some of our requests cannot tell the numbers of the
    // others (and so forge their replies); the replies still match.
    void requestNumbersAreUnpredictable()
    {
        Capture capture;
        icmp::EchoSocket socket;
        QVERIFY(capture.isOpen() && socket.open(true));
        constexpr std::size_t kCount = 64;
        for (std::size_t i = 0; i < kCount; ++i)
            QVERIFY(socket.send(Ipv4Address(127, 0, 0, 2)));
        const std::vector<Request> seen = capture.requests(kCount);
        QCOMPARE(seen.size(), kCount);
        int successors = 0;
        for (std::size_t i = 1; i < seen.size(); ++i)
            successors += std::uint16_t(seen[i].sequence - seen[i - 1].sequence) == 1;
        QVERIFY2(successors <= 2, QByteArray::number(successors));

        std::size_t replies = 0;
        QVERIFY(QTest::qWaitFor([&] { return (replies += socket.readReplies().size()) >= kCount; },
                                5000));
        QCOMPARE(replies, kCount);
    }

    // A flood of replies is read a bounded batch at a time.
    void oneReadIsBounded()
    {
        icmp::EchoSocket socket;
        QVERIFY(socket.open(true));
        constexpr int kCount = 400; // each to an address of its own, each answered
        for (int i = 0; i < kCount; ++i)
            QVERIFY(socket.send(
                Ipv4Address(127, 0, std::uint8_t(1 + i / 200), std::uint8_t(1 + i % 200))));
        QTest::qWait(300);
        const std::size_t first = socket.readReplies().size();
        QCOMPARE(first, icmp::EchoSocket::kMaxReadsPerCall);
        std::size_t total = first;
        for (std::size_t more; (more = socket.readReplies().size()) > 0;)
            total += more;
        QVERIFY2(total > first, QByteArray::number(qulonglong(total)));
    }

    void pacerRules()
    {
        using probe::RequestPacer;
        RequestPacer pacer;
        const RequestPacer::Clock::time_point t0{1s};
        const Ipv4Address a(10, 0, 0, 1), b(10, 0, 0, 2), c(10, 0, 0, 3);
        QVERIFY(pacer.earliest(a).value() <= t0);
        pacer.sent(a, t0);
        QCOMPARE(pacer.earliest(b), t0 + probe::kFloor);
        QCOMPARE(pacer.earliest(a), t0 + RequestPacer::kPerDestination);
        pacer.sent(b, t0 + 1ms);
        pacer.sent(a, t0 + 10ms);
        QCOMPARE(pacer.earliest(a), t0 + 20ms);
        QCOMPARE(pacer.earliest(b), t0 + 11ms);
        QCOMPARE(pacer.earliest(c), t0 + 11ms);
        // The total: nothing more once it is spent.
        auto at = t0 + 1s;
        while (pacer.count() < RequestPacer::kMaxRequests) {
            QVERIFY(pacer.earliest(c));
            pacer.sent(c, at += 10ms);
        }
        QCOMPARE(pacer.earliest(a), std::nullopt);
    }

    // The helper itself keeps 10 ms between two requests to one address,
    // however fast they are asked for.
    void helperSpacesRequestsToOneAddress()
    {
        Capture capture;
        QVERIFY(capture.isOpen());
        QProcess helper;
        QVERIFY(startHelper(helper));
        helper.write(QByteArray("127.0.0.2\n").repeated(5));
        QVERIFY(helper.waitForBytesWritten(5000));
        const std::vector<Request> seen = capture.requests(5);
        helper.closeWriteChannel();
        helper.waitForFinished(5000);
        QCOMPARE(seen.size(), std::size_t(5));
        for (std::size_t i = 1; i < seen.size(); ++i) {
            const auto gap = seen[i].arrived - seen[i - 1].arrived;
            QVERIFY2(gap >= 9ms, QByteArray::number(qlonglong(gap.count())));
        }
    }

    // Two helpers at once: the floor holds for both together, and each, while
    // it runs, has no capability left and cannot gain one.
    void twoHelpersShareTheFloorWithoutPrivileges()
    {
        Capture capture;
        QVERIFY(capture.isOpen());
        QProcess helpers[2];
        for (QProcess& helper : helpers) {
            QVERIFY(startHelper(helper));
            QFile status(QStringLiteral("/proc/%1/status").arg(helper.processId()));
            QVERIFY(status.open(QIODevice::ReadOnly));
            const QByteArray s = status.readAll();
            for (const char* field :
                 {"\nCapEff:\t0000000000000000\n", "\nCapPrm:\t0000000000000000\n",
                  "\nCapAmb:\t0000000000000000\n", "\nNoNewPrivs:\t1\n"})
                QVERIFY2(s.contains(field), s.constData());
        }
        constexpr int kEach = 100;
        QVERIFY(askEach(helpers, kEach));
        std::vector<Request> seen = capture.requests(2 * kEach);
        for (QProcess& helper : helpers) {
            helper.closeWriteChannel();
            helper.waitForFinished(5000);
        }
        QCOMPARE(seen.size(), std::size_t(2 * kEach));
        std::sort(seen.begin(), seen.end(),
                  [](const Request& a, const Request& b) { return a.arrived < b.arrived; });
        int interleaved = 0;
        for (std::size_t i = 1; i < seen.size(); ++i) {
            const auto gap = seen[i].arrived - seen[i - 1].arrived;
            // The time stamps are taken a little after each send.
            QVERIFY2(gap >= 900us, QByteArray::number(qlonglong(gap.count())));
            interleaved += seen[i].to[2] != seen[i - 1].to[2] ? 1 : 0;
        }
        QVERIFY(interleaved > 0); // both sent while the other ran
    }

    // Whatever stands at the lock's place, two helpers neither stall nor go
    // without a floor: each paces itself at the slower floor and says so. A
    // FIFO must not hold them at open, a folder or a missing file leaves
    // nothing to lock, a file of another user's could be swapped, and a lock
    // that another process holds must not keep them from their turn forever.
    void helpersKeepAFloorWhateverStandsAtTheLock_data()
    {
        QTest::addColumn<QString>("what");
        for (const char* what :
             {"fifo", "folder", "link", "another user's file", "missing", "held"})
            QTest::newRow(what) << QString::fromLatin1(what);
    }
    void helpersKeepAFloorWhateverStandsAtTheLock()
    {
        QFETCH(QString, what);
        const QByteArray lock = probe::kLockPath;
        const auto restore = qScopeGuard([&lock] {
            ::unlink(lock.constData());
            ::rmdir(lock.constData());
            QFile made(QString::fromLatin1(lock));
            made.open(QIODevice::WriteOnly);
            made.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        });
        platform::UniqueFd holder;
        QVERIFY(::unlink(lock.constData()) == 0);
        if (what == u"fifo")
            QCOMPARE(::mkfifo(lock.constData(), 0444), 0);
        else if (what == u"folder")
            QCOMPARE(::mkdir(lock.constData(), 0755), 0);
        else if (what == u"link")
            QCOMPARE(::symlink("/etc/hostname", lock.constData()), 0);
        if (what == u"another user's file" || what == u"held") {
            holder.reset(::open(lock.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0444));
            QVERIFY(bool(holder));
        }
        if (what == u"another user's file")
            QCOMPARE(::fchown(holder.get(), 65534, 65534), 0);
        if (what == u"held")
            QCOMPARE(::flock(holder.get(), LOCK_EX), 0);

        Capture capture;
        QVERIFY(capture.isOpen());
        QProcess helpers[2];
        constexpr int kEach = 5;
        for (QProcess& helper : helpers)
            QVERIFY(startHelper(helper));
        QVERIFY(askEach(helpers, kEach));
        std::vector<Request> seen = capture.requests(2 * kEach);
        QByteArray said[2];
        for (int h = 0; h < 2; ++h) {
            QVERIFY(QTest::qWaitFor(
                [&] { return (said[h] += helpers[h].readAll()).count("done\n") == kEach; }, 5000));
            helpers[h].closeWriteChannel();
            QVERIFY(helpers[h].waitForFinished(5000));
        }
        QCOMPARE(seen.size(), std::size_t(2 * kEach)); // nobody stalled
        for (int h = 0; h < 2; ++h) {
            std::optional<std::chrono::nanoseconds> last;
            for (const Request& r : seen) {
                if (r.to[2] != h + 1)
                    continue;
                if (last)
                    QVERIFY2(r.arrived - *last >= 9ms,
                             QByteArray::number(qlonglong((r.arrived - *last).count())));
                last = r.arrived;
            }
            QVERIFY2(said[h].split('\n').contains("slow"), said[h].constData());
        }
    }

    // After the interface's address changes (DHCP, roaming), a helper that
    // runs on never again claims the old address in its ARP requests, and
    // sends none for a subnet the interface left.
    void helperArpFollowsTheInterfacesAddress()
    {
        // A cable inside this namespace: requests out of one end reach the other.
        QVERIFY(runIp(QStringLiteral("link add zarp0 type veth peer name zarp1")));
        const auto cleanup = qScopeGuard([] { runIp(QStringLiteral("link del zarp0")); });
        QVERIFY(runIp(QStringLiteral("addr add 10.77.0.1/24 dev zarp0")));
        QVERIFY(runIp(QStringLiteral("link set zarp0 up")) &&
                runIp(QStringLiteral("link set zarp1 up")));
        const platform::UniqueFd seen(
            ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_ARP)));
        sockaddr_ll at{};
        at.sll_family = AF_PACKET;
        at.sll_protocol = htons(ETH_P_ARP);
        at.sll_ifindex = int(if_nametoindex("zarp1"));
        QVERIFY(::bind(seen.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) == 0);

        QProcess helper;
        QVERIFY(startHelper(helper));
        const auto ask = [&helper] {
            helper.write(probe::arpRequestLine(Ipv4Address(10, 77, 0, 9)).c_str());
            return helper.waitForBytesWritten(5000);
        };
        QVERIFY(ask());
        QCOMPARE(nextArpSender(seen.get()), std::optional(Ipv4Address(10, 77, 0, 1)));

        QVERIFY(runIp(QStringLiteral("addr del 10.77.0.1/24 dev zarp0")));
        QVERIFY(runIp(QStringLiteral("addr add 10.77.0.5/24 dev zarp0")));
        QTest::qWait(20); // past the helper's floor for one address
        QVERIFY(ask());
        QCOMPARE(nextArpSender(seen.get()), std::optional(Ipv4Address(10, 77, 0, 5)));

        QVERIFY(runIp(QStringLiteral("addr flush dev zarp0")));
        QVERIFY(runIp(QStringLiteral("addr add 10.78.0.5/24 dev zarp0")));
        QTest::qWait(20);
        QVERIFY(ask());
        QCOMPARE(nextArpSender(seen.get(), 1000), std::nullopt);
        helper.closeWriteChannel();
        QVERIFY(helper.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestIcmp)
#include "test_icmp.moc"
