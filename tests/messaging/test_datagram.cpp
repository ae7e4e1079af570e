// Real sockets on loopback, inside the private network namespace ctest gives
// this test: the endpoint, hostile datagrams, a messenger talking
// to itself and a message port that another program holds.

#include "core/gbk.h"
#include "history/history.h"
#include "historytext.h"
#include "messaging/datagramendpoint.h"
#include "messaging/messageformat.h"
#include "messaging/messenger.h"
#include "names/namelookup.h"
#include "netns.h"
#include "platform/net/names.h"
#include "recordingform.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace zeph;

namespace {

const QHostAddress kLoopback(QHostAddress::LocalHost);

QByteArray receivedRecord(QByteArrayView datagram)
{
    return test::dashes() + test::line(message::bytesToText(datagram));
}

// Sends each datagram from a socket of its own, as another program would.
void sendAll(const QByteArrayList& datagrams, quint16 port)
{
    QUdpSocket peer;
    for (const QByteArray& d : datagrams)
        QCOMPARE(peer.writeDatagram(d, kLoopback, port), qint64(d.size()));
}

// Waits, without running the event loop, until the endpoint's reader thread has
// taken count datagrams off the socket.
bool waitUntilQueued(const DatagramEndpoint& e, qsizetype count)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (e.queued() < count) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

class TestDatagram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ZEPH_REQUIRE_PRIVATE_NETNS(); }

    void portRules()
    {
        DatagramEndpoint e;
        QCOMPARE(e.port(), 19730);
        QVERIFY(e.isOpen());
        e.setPort(-5);
        QCOMPARE(e.port(), 1); // bound only with the privilege for ports below 1024
        e.setPort(message::kMessagePort);
        QCOMPARE(e.port(), message::kMessagePort);
        QSignalSpy arrived(&e, &DatagramEndpoint::dataArrived);
        sendAll({"on 40027"}, 40027);
        QTRY_COMPARE(arrived.size(), 1);
        QCOMPARE(arrived[0][0].toByteArray(), QByteArray("on 40027"));

        // 19730 was given back when the port changed.
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 19730, QAbstractSocket::DontShareAddress));

        DatagramEndpoint none(DatagramEndpoint::Socket::None);
        QVERIFY(!none.isOpen());
        none.setPort(message::kMessagePort);
        QVERIFY(!none.isOpen());
        QVERIFY(!none.send(Ipv4Address(127, 0, 0, 1), message::kMessagePort, "x"));
    }

    void sendRules()
    {
        DatagramEndpoint e;
        e.setPort(message::kMessagePort);
        QSignalSpy arrived(&e, &DatagramEndpoint::dataArrived);
        const Ipv4Address loopback(127, 0, 0, 1);
        QVERIFY(e.send(loopback, message::kMessagePort, "")); // nothing sent
        // Names are looked up before the endpoint, which sends to addresses only.
        const NameLookup names;
        const std::optional<Ipv4Address> byName = names.resolve("localhost");
        QVERIFY(byName && e.send(*byName, message::kMessagePort, "by name"));
        QVERIFY(!names.resolve("no-such-computer.invalid"));
        QVERIFY(!names.resolve(""));
        const QByteArray largest(message::kMaxDatagramSize, '\xB0');
        QVERIFY(e.send(loopback, message::kMessagePort, largest));
        QVERIFY(!e.send(loopback, message::kMessagePort, largest + 'x'));
        // Not marked for broadcast: loopback's broadcast address is refused.
        QVERIFY(!e.send(Ipv4Address(127, 255, 255, 255), message::kMessagePort, "x"));
        QVERIFY(e.isOpen()); // a failed send keeps the socket
        // Not marked for address reuse: a sharing socket cannot join the port.
        QUdpSocket sharer;
        QVERIFY(!sharer.bind(QHostAddress::AnyIPv4, 40027,
                             QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        QTRY_COMPARE(arrived.size(), 2);
        QCOMPARE(arrived[0][0].toByteArray(), QByteArray("by name"));
        QCOMPARE(arrived[1][0].toByteArray(), largest);
    }

    void everyPendingDatagramIsDeliveredInOrderAndEmptyOnesSkipped()
    {
        DatagramEndpoint e;
        e.setPort(message::kMessagePort);
        if (geteuid() == 0)
            QVERIFY(e.receiveBufferSize() >= DatagramEndpoint::kReceiveBufferRequest);
        QVERIFY(e.receiveBufferSize() > 0);
        QSignalSpy arrived(&e, &DatagramEndpoint::dataArrived);

        // All of them wait in the kernel before the event loop runs once.
        QByteArrayList sent;
        for (int i = 0; i < 2000; ++i)
            sent.append(i % 7 == 0 ? QByteArray() : QByteArray::number(i).repeated(1 + i % 5));
        sendAll(sent, 40027);
        sent.removeAll(QByteArray());
        QTRY_COMPARE(arrived.size(), sent.size());
        for (qsizetype i = 0; i < sent.size(); ++i)
            QCOMPARE(arrived[i][0].toByteArray(), sent[i]);
    }

    void aFloodLeavesTheEventLoopItsTurn()
    {
        DatagramEndpoint e;
        e.setPort(message::kMessagePort);
        QByteArrayList sent;
        for (int i = 0; i < 300; ++i)
            sent.append(QByteArray::number(i));
        sendAll(sent, 40027);
        QVERIFY(waitUntilQueued(e, sent.size()));

        // A slow pane: every message takes a millisecond to show. Whatever the
        // first one queues up (a posted call, a zero timer) must run while most
        // of the flood still waits, not after it.
        QByteArrayList arrived;
        qsizetype atPostedCall = -1;
        qsizetype atTimer = -1;
        connect(&e, &DatagramEndpoint::dataArrived, this, [&](const QByteArray& d) {
            if (arrived.isEmpty()) {
                QMetaObject::invokeMethod(
                    this, [&] { atPostedCall = arrived.size(); }, Qt::QueuedConnection);
                QTimer::singleShot(0, this, [&] { atTimer = arrived.size(); });
            }
            arrived.append(d);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        QTRY_COMPARE_WITH_TIMEOUT(arrived.size(), sent.size(), 10000);
        QCOMPARE(arrived, sent);
        QTRY_VERIFY(atPostedCall >= 0 && atTimer >= 0);
        QVERIFY2(atPostedCall > 0 && atPostedCall < sent.size() / 2,
                 qPrintable(QString::number(atPostedCall)));
        QVERIFY2(atTimer > 0 && atTimer < sent.size() / 2, qPrintable(QString::number(atTimer)));
    }

    void whatWasReadIsDeliveredAcrossAPortChange()
    {
        DatagramEndpoint e;
        e.setPort(message::kMessagePort);
        QSignalSpy arrived(&e, &DatagramEndpoint::dataArrived);
        const QByteArrayList sent = {"one", "two", "three"};
        sendAll(sent, 40027);
        QVERIFY(waitUntilQueued(e, sent.size()));
        e.setPort(40028);
        sendAll({"four"}, 40028);
        QTRY_COMPARE(arrived.size(), 4);
        for (qsizetype i = 0; i < sent.size(); ++i)
            QCOMPARE(arrived[i][0].toByteArray(), sent[i]);
        QCOMPARE(arrived[3][0].toByteArray(), QByteArray("four"));
    }

    void destroyedWhileAFloodArrives()
    {
        std::atomic<bool> flooding = true;
        std::thread flood([&] {
            const int fd = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(40027);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const QByteArray d(200, 'x');
            while (flooding)
                sendto(fd, d.constData(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            ::close(fd);
        });
        int delivered = 0;
        for (int round = 0; round < 30; ++round) {
            auto e = std::make_unique<DatagramEndpoint>();
            e->setPort(message::kMessagePort);
            QVERIFY(e->isOpen());
            connect(e.get(), &DatagramEndpoint::dataArrived, this, [&] { ++delivered; });
            // Gone at every stage: with a full queue, with a delivery posted, and
            // from inside its own handler.
            if (round % 3 == 1)
                QTest::qWait(5);
            if (round % 3 == 2) {
                bool gone = false;
                DatagramEndpoint* raw = e.release();
                connect(raw, &DatagramEndpoint::dataArrived, this, [raw, &gone] {
                    gone = true;
                    delete raw;
                });
                QTRY_VERIFY(gone);
            }
        }
        flooding = false;
        flood.join();
        QVERIFY(delivered > 0);
        QCoreApplication::processEvents(); // no delivery reaches a destroyed endpoint
        DatagramEndpoint after;
        after.setPort(message::kMessagePort);
        QVERIFY(after.isOpen()); // every socket was given back
    }

    void hostileDatagramsAreShownAndTheProgramGoesOn()
    {
        History history;
        test::RecordingForm form;
        form.targetText = "typed";
        const NameLookup names;
        Messenger messenger(history, form, names);
        messenger.startUp();
        QVERIFY(messenger.endpoint().isOpen());

        auto* rng = QRandomGenerator::global();
        QByteArrayList datagrams;
        for (int i = 0; i < 300; ++i) {
            QByteArray junk(1 + static_cast<int>(rng->bounded(3000)), Qt::Uninitialized);
            for (char& c : junk)
                c = static_cast<char>(rng->bounded(256));
            datagrams.append(junk);
        }
        QByteArray huge(message::kMaxDatagramSize, Qt::Uninitialized);
        for (char& c : huge)
            c = static_cast<char>(1 + rng->bounded(255));                 // no zero: shown whole
        datagrams << huge << QByteArray("\xFF\xFE\x80\x81\x7F\xA0|\xFF|") // invalid GBK
                  << QByteArray("|lead at end\x81") << QByteArray("|a\0b|c\0", 7) // zeros
                  << QByteArray("|||||||||") << QByteArray("\x01\x02\x1B[2J\r\n\t\x7F|\b|")
                  << QByteArray("|last|" + G(u"于"));
        sendAll(datagrams, 40027);

        QByteArray expected;
        for (const QByteArray& d : datagrams)
            expected += receivedRecord(d);
        QTRY_COMPARE_WITH_TIMEOUT(history.text().size(), expected.size(), 10000);
        QCOMPARE(history.text(), expected);
        QCOMPARE(form.targetText, QByteArray("last"));
        QCOMPARE(form.shown, datagrams.size());
        QVERIFY(messenger.endpoint().isOpen());
    }

    // More than the queue and the kernel's buffer hold while the UI thread is
    // busy: the kernel drops the rest, and the history says how many once,
    // after the messages that did arrive, not once per lost datagram.
    void aFloodPastTheQueueIsToldOnce()
    {
        History history;
        test::RecordingForm form;
        const NameLookup names;
        Messenger messenger(history, form, names);
        messenger.startUp();
        const DatagramEndpoint& e = messenger.endpoint();
        QVERIFY(e.isOpen());
        const QByteArray big = "|flood|" + QByteArray(60000, 'x');
        const qsizetype n =
            (DatagramEndpoint::kQueueByteLimit + 2 * qsizetype{e.receiveBufferSize()}) /
            big.size() * 2;
        QUdpSocket peer;
        qsizetype sent = 0;
        for (qsizetype i = 0; i < n; ++i)
            sent += peer.writeDatagram(big, kLoopback, 40027) == big.size() ? 1 : 0;
        const QByteArray lostText = G(u"条信息因到达过快而丢失！×××");
        QTRY_VERIFY_WITH_TIMEOUT(history.text().endsWith(lostText), 60000);
        QTest::qWait(200); // nothing more arrives
        const QByteArray text = history.text();
        QCOMPARE(text.count(lostText), 1);
        const qsizetype at = text.lastIndexOf(G(u"×××"), text.size() - lostText.size() - 1);
        const qint64 lost = text.mid(at + 6, text.size() - lostText.size() - at - 6).toLongLong();
        QVERIFY2(
            lost > 0 && lost <= sent - form.shown,
            qPrintable(
                QStringLiteral("%1 lost, %2 sent, %3 shown").arg(lost).arg(sent).arg(form.shown)));
    }

    void aMessengerSendingToItsOwnNameReceivesItsMessage()
    {
        History history;
        history.initialise();
        test::RecordingForm form;
        const NameLookup names;
        const QByteArray self = platform::ownHostName();
        QVERIFY(!self.isEmpty());
        // The machine's name need not resolve inside a private namespace; here it
        // stands for loopback, every other name goes to the real lookup.
        SendSources sources = SendSources::system(names);
        sources.resolver = [self, &names](QByteArrayView name) {
            return name == self ? std::optional(Ipv4Address(127, 0, 0, 1)) : names.resolve(name);
        };
        const QDateTime fixed(QDate(2004, 1, 2), QTime(15, 30, 0));
        sources.clock = [fixed] { return fixed; };
        Messenger messenger(history, form, sources);
        messenger.startUp();
        messenger.reportStartUpProblems();
        QCOMPARE(history.text(), History::banner());

        form.targetText = self;
        form.contentText = G(u"你好");
        form.signatureText = G(u"*在此输入签名*");
        messenger.sendMessage();
        const QByteArray stamp = message::timestampText(fixed);
        const QByteArray sentRecord =
            test::dashes() +
            test::line(G(u"您于") + stamp + G(u"发送给|") + self + G(u"|的信息：")) +
            test::line(G(u"你好")) + test::notice(u"信息已发送到目标计算机。");
        QCOMPARE(history.text(), History::banner() + sentRecord);

        const QByteArray wire = message::compose(self, stamp, message::directPhrase(), G(u"你好"),
                                                 G(u"*在此输入签名*"));
        QTRY_COMPARE(history.text(), History::banner() + sentRecord + receivedRecord(wire));
        QCOMPARE(form.targetText, self);
        QCOMPARE(form.contentText, QByteArray());
    }

    void messagePortHeldByAnotherProgram()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 40027, QAbstractSocket::DontShareAddress));

        History history;
        history.initialise();
        test::RecordingForm form;
        const NameLookup names;
        SendSources sources = SendSources::system(names);
        sources.resolver = [](QByteArrayView) { return std::optional(Ipv4Address(127, 0, 0, 1)); };
        Messenger messenger(history, form, sources);
        messenger.startUp();
        QVERIFY(!messenger.endpoint().isOpen());
        messenger.reportStartUpProblems();
        messenger.reportStartUpProblems(); // told once only
        const QByteArray told =
            History::banner() + "\r\n" + G(u"×××无法打开端口40027，不能接收信息！×××");
        QCOMPARE(history.text(), told);

        form.targetText = "PC02";
        form.contentText = "hello";
        messenger.sendMessage();
        QCOMPARE(history.text(), told + "\r\n" + G(u"×××信息发送错误！×××"));
        QCOMPARE(form.contentText, QByteArray("hello"));

        form.listed = {{"PC02", *ipv4::parse("127.0.0.1")}};
        messenger.broadcast();
        QVERIFY(history.text().endsWith(G(u"★★★广播消息被发送到下列计算机：|★★★")));
        QVERIFY(!holder.hasPendingDatagrams());
    }
};

QTEST_GUILESS_MAIN(TestDatagram)
#include "test_datagram.moc"
