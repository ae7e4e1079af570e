// The UDP socket's reader wait, on both platforms (it runs under Wine too):
// wake() ends a wait from another thread, a datagram ends it with true, and
// a refusal reaches a connected socket only. Loopback only.

#include "platform/net/udpsocket.h"
#include "wine.h"

#include <QTest>

#include <array>
#include <chrono>
#include <future>

using zeph::Ipv4Address;
using zeph::platform::UdpSocket;
using namespace std::chrono_literals;

namespace {

const Ipv4Address kLoopback(127, 0, 0, 1);
// A port nothing in the test's namespace listens on.
constexpr std::uint16_t kPort = 40931;

} // namespace

class TestUdpSocket : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readerWait()
    {
        UdpSocket bound;
        QVERIFY(bound.bind(kPort));
        QVERIFY(bound.growReceiveBuffer(256 * 1024) > 0);
        // A second socket cannot take the port that one holds.
        UdpSocket second;
        QVERIFY(!second.bind(kPort));

        auto woken = std::async(std::launch::async, [&] { return bound.waitForDatagram(); });
        QCOMPARE(woken.wait_for(100ms), std::future_status::timeout);
        bound.wake();
        QCOMPARE(woken.wait_for(5s), std::future_status::ready);
        QVERIFY(!woken.get());

        // A woken socket stays woken (its reader stops); a fresh one waits
        // for its datagram.
        UdpSocket fresh;
        QVERIFY(fresh.bind(kPort + 1));
        UdpSocket sender;
        QVERIFY(sender.sendTo(kLoopback, kPort + 1, "again"));
        QVERIFY(fresh.waitForDatagram());
        std::array<char, 64> buffer{};
        const UdpSocket::Received r = fresh.receive(buffer);
        QCOMPARE(r.kind, UdpSocket::Received::Kind::Datagram);
        QCOMPARE(r.data, QByteArrayView("again"));
        QCOMPARE(r.from, kLoopback);
        QCOMPARE(fresh.receive(buffer).kind, UdpSocket::Received::Kind::NothingYet);
    }

    void refusals()
    {
        std::array<char, 64> buffer{};
        // Unconnected: a datagram to a closed port leaves no report behind.
        UdpSocket loose;
        QVERIFY(loose.sendTo(kLoopback, kPort + 2, "x"));
        QTest::qWait(100);
        QCOMPARE(loose.receive(buffer).kind, UdpSocket::Received::Kind::NothingYet);
        // Connected: the refusal ends the question. (Wine's sockets never
        // report it; Windows does, as WSAECONNRESET.)
        if (zeph::test::runningUnderWine())
            QSKIP("Wine does not report ICMP refusals on UDP sockets");
        UdpSocket asking;
        QVERIFY(asking.connectTo(kLoopback, kPort + 2));
        QVERIFY(asking.send("x"));
        const std::array<const UdpSocket*, 1> one{&asking};
        QCOMPARE(UdpSocket::waitReadable(one, 2s).size(), std::size_t{1});
        QCOMPARE(asking.receive(buffer).kind, UdpSocket::Received::Kind::Refused);
    }
};

QTEST_GUILESS_MAIN(TestUdpSocket)
#include "test_udpsocket.moc"
