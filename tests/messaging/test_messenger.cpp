// The send, broadcast and receive handlers against a fake window, with the
// clock and the resolver injected. Messages go to 127.0.0.1, where the
// messenger itself listens, so the wire bytes are checked as they arrive.

#include "core/gbk.h"
#include "core/ipv4.h"
#include "history/history.h"
#include "historytext.h"
#include "messaging/messageformat.h"
#include "messaging/messenger.h"
#include "names/namelookup.h"
#include "netns.h"
#include "recordingform.h"

#include <QHash>
#include <QSignalSpy>
#include <QTest>

using namespace zeph;
using namespace zeph::test;

namespace {

// A messenger whose clock ticks one second per reading and whose resolver knows
// only the names given to it.
struct Rig {
    History history;
    test::RecordingForm form;
    QDateTime now{QDate(2004, 1, 2), QTime(15, 29, 59)};
    int clockReads = 0;
    QHash<QByteArray, QByteArray> addresses;
    QByteArrayList resolved;
    QHash<QByteArray, QList<Ipv4Address>> claimed; // names several listed hosts answer for
    Messenger messenger;

    explicit Rig(QByteArray hostName = "PC01")
        : messenger(history, form,
                    SendSources{[this] {
                                    ++clockReads;
                                    now = now.addSecs(1);
                                    return now;
                                },
                                [this](QByteArrayView name) {
                                    resolved.append(name.toByteArray());
                                    return NameLookup::Answer(
                                        ipv4::parse(addresses.value(name.toByteArray())),
                                        claimed.value(name.toByteArray()));
                                },
                                [hostName] { return hostName; }})
    {
        messenger.startUp();
        form.targetText = "PC02";
        form.signatureText = G(u"*在此输入签名*");
        addresses.insert("PC02", "127.0.0.1");
    }
    QByteArray stamp(int secondsAfterStart) const
    {
        return message::timestampText(
            QDateTime(QDate(2004, 1, 2), QTime(15, 29, 59)).addSecs(secondsAfterStart));
    }
};

} // namespace

class TestMessenger : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ZEPH_REQUIRE_PRIVATE_NETNS(); }

    void startUpListensOnTheMessagePort()
    {
        Rig rig("PC01");
        QCOMPARE(rig.messenger.messagePort(), 760923);
        QCOMPARE(rig.messenger.ownHostName(), QByteArray("PC01"));
        QVERIFY(rig.messenger.endpoint().isOpen());
        QCOMPARE(rig.messenger.endpoint().port(), 760923);
        QVERIFY(!rig.messenger.spareEndpoint().isOpen());
        rig.messenger.reportStartUpProblems(); // the port was free: nothing to tell
        QCOMPARE(rig.history.text(), QByteArray());
    }

    void checksRunInOrderAndOnlyTheFirstFailureIsReported()
    {
        Rig rig;
        rig.form.targetText = "";
        rig.form.contentText = "";
        rig.messenger.sendMessage();
        QCOMPARE(rig.history.text(), error(u"未指定目标计算机！"));

        rig.form.targetText = "PC02";
        rig.messenger.sendMessage();
        QCOMPARE(rig.history.text(), error(u"未指定目标计算机！") + error(u"发送内容不能为空！"));
        QVERIFY(rig.resolved.isEmpty());

        // Blanks are not empty: they reach the resolver as typed and fail there.
        rig.form.targetText = "   ";
        rig.form.contentText = "keep me";
        const QByteArray before = rig.history.text();
        rig.messenger.sendMessage();
        QCOMPARE(rig.resolved, QByteArrayList{"   "});
        QCOMPARE(rig.history.text(), before + kCrLf + G(u"×××找不到目标计算机|   |！×××"));
        QCOMPARE(rig.form.contentText, QByteArray("keep me"));
        QCOMPARE(rig.form.contentWrites, 0);
    }

    // A name two listed hosts claim is refused, naming both, and nothing
    // leaves; the row the user chose still goes to its own host.
    void aClaimedNameGoesOnlyWhereTheUserChose()
    {
        Rig rig;
        rig.form.targetText = "PC-B";
        rig.form.contentText = "for b";
        rig.claimed.insert("PC-B", {*ipv4::parse("10.9.0.15"), *ipv4::parse("127.0.0.1")});
        QSignalSpy arrived(&rig.messenger.endpoint(), &DatagramEndpoint::dataArrived);
        rig.messenger.sendMessage();
        QCOMPARE(rig.history.text(),
                 error(u"有多台计算机自称|PC-B|（10.9.0.15、127.0.0.1），未发送！"));
        QCOMPARE(rig.form.contentText, QByteArray("for b"));
        rig.form.chosen = *ipv4::parse("127.0.0.1");
        rig.messenger.sendMessage();
        QTRY_COMPARE(arrived.size(), 1);
        QCOMPARE(rig.form.contentText, QByteArray());
        QCOMPARE(rig.resolved, QByteArrayList{"PC-B"}); // the chosen row is not looked up
    }

    // Text the boxes turned into '?' is refused by every way out, before a
    // name is looked up or a datagram leaves, and the send box keeps it.
    void textGbkCannotCarryNeverLeaves()
    {
        Rig rig;
        rig.form.contentText = G(u"午饭??");
        rig.form.uncarriedCharacters = {0x1F600, 0xC548, 0xB155, 0xD558, 0xC138,
                                        0xC694,  0xAC00, 0xB098, 0xB2E4};
        rig.form.listed = {{"PC02", *ipv4::parse("127.0.0.1")}};
        QSignalSpy arrived(&rig.messenger.endpoint(), &DatagramEndpoint::dataArrived);
        rig.messenger.sendMessage();
        rig.messenger.broadcast();
        const QByteArray entry =
            error(G(u"发送内容或签名中有GBK无法表示的字符，未发送：U+1F600 U+C548 U+B155 U+D558 "
                    u"U+C138 U+C694 U+AC00 U+B098 等"));
        QCOMPARE(rig.history.text(), entry + entry);
        QVERIFY(rig.resolved.isEmpty());
        QCOMPARE(rig.form.contentWrites, 0);
        QTest::qWait(100);
        QCOMPARE(arrived.size(), 0);

        rig.form.uncarriedCharacters = {0x20BB7};
        rig.form.targetText = "";
        rig.messenger.sendMessage(); // the checks keep their order
        QVERIFY(rig.history.text().endsWith(error(u"未指定目标计算机！")));
    }

    void successfulSendRecordsAndSendsTheComposedDatagram()
    {
        Rig rig;
        rig.form.contentText = "  \r\n" + G(u"你好");
        QSignalSpy arrived(&rig.messenger.endpoint(), &DatagramEndpoint::dataArrived);
        rig.messenger.sendMessage();

        // Two clock readings: one inside the datagram, a fresh one for the echo.
        QCOMPARE(rig.clockReads, 2);
        QCOMPARE(rig.history.text(),
                 dashes() +
                     line(G(u"您于") + rig.stamp(2) + G(u"发送给|") + "PC02" + G(u"|的信息：")) +
                     line("  \r\n" + G(u"你好")) + notice(G(u"信息已发送到目标计算机。")));
        QCOMPARE(rig.form.contentText, QByteArray());
        QCOMPARE(rig.form.targetText, QByteArray("PC02")); // sending never changes it

        const QByteArray expected = message::compose("PC01", rig.stamp(1), message::directPhrase(),
                                                     "  \r\n" + G(u"你好"), G(u"*在此输入签名*"));
        QTRY_COMPARE(arrived.size(), 1);
        QCOMPARE(arrived[0][0].toByteArray(), expected);
        // And the messenger, listening on the port it sent to, showed it.
        QVERIFY(rig.history.text().endsWith(dashes() + line(expected)));
        QCOMPARE(rig.form.targetText, QByteArray("PC01"));
        QCOMPARE(rig.form.shown, 1);
    }

    void emptyHostNameAndEmptySignature()
    {
        Rig rig("");
        rig.form.contentText = "x";
        rig.form.signatureText = "";
        QSignalSpy arrived(&rig.messenger.endpoint(), &DatagramEndpoint::dataArrived);
        rig.messenger.sendMessage();
        QTRY_COMPARE(arrived.size(), 1);
        const QByteArray wire = arrived[0][0].toByteArray();
        QVERIFY(wire.startsWith("||" + G(u"于")));
        QVERIFY(wire.endsWith("\r\nx" + G(u"——")));
        QCOMPARE(rig.form.targetText, QByteArray()); // an empty sender empties the box
    }

    void tooLargeForOneDatagramFailsAndKeepsTheText()
    {
        Rig rig;
        const QByteArray header = message::compose("PC01", rig.stamp(1), message::directPhrase(),
                                                   "", rig.form.signatureText);
        // The largest content that still fits goes out whole...
        const QByteArray fits(message::kMaxDatagramSize - header.size(), 'a');
        rig.form.contentText = fits;
        QSignalSpy arrived(&rig.messenger.endpoint(), &DatagramEndpoint::dataArrived);
        rig.messenger.sendMessage();
        QCOMPARE(rig.form.contentText, QByteArray());
        QTRY_COMPARE(arrived.size(), 1);
        QCOMPARE(arrived[0][0].toByteArray().size(), message::kMaxDatagramSize);

        // ...one byte more does not, and the send box keeps it.
        const qsizetype historyBefore = rig.history.text().size();
        rig.form.targetText = "PC02"; // the received copy put PC01 there
        rig.form.contentText = fits + "b";
        rig.messenger.sendMessage();
        QCOMPARE(rig.history.text().mid(historyBefore), error(u"信息发送错误！"));
        QCOMPARE(rig.form.contentText, fits + "b");
    }

    void broadcastSendsOneCompositionToEveryListedHost()
    {
        Rig rig;
        rig.form.targetText = "untouched";
        rig.form.contentText = G(u"通知");
        // Each row to the host that answered for it, never resolved by name
        // again; a row the system will not send to is left out silently.
        const Ipv4Address here = *ipv4::parse("127.0.0.1");
        rig.form.listed = {{"PC02", here},
                           {"gone", *ipv4::parse("255.255.255.255")},
                           {"PC03", here},
                           {"PC02", here}};
        QSignalSpy arrived(&rig.messenger.endpoint(), &DatagramEndpoint::dataArrived);
        rig.messenger.broadcast();

        QVERIFY(rig.resolved.isEmpty());
        QCOMPARE(rig.clockReads, 1);
        QCOMPARE(rig.history.text(), notice(G(u"广播消息被发送到下列计算机：|PC02|PC03|PC02|")));
        QCOMPARE(rig.form.contentText, QByteArray());
        QCOMPARE(rig.form.targetText, QByteArray("untouched"));

        const QByteArray expected = message::compose(
            "PC01", rig.stamp(1), message::broadcastPhrase(), G(u"通知"), G(u"*在此输入签名*"));
        QTRY_COMPARE(arrived.size(), 3);
        for (const auto& args : arrived)
            QCOMPARE(args[0].toByteArray(), expected);
        QCOMPARE(rig.form.targetText, QByteArray("PC01")); // the receiver took the sender
    }

    void broadcastEdgeCases()
    {
        Rig rig;
        rig.form.listed = {{"PC02", *ipv4::parse("127.0.0.1")}};
        rig.form.contentText = "";
        rig.messenger.broadcast();
        QCOMPARE(rig.history.text(), error(u"发送内容不能为空！"));
        QVERIFY(rig.resolved.isEmpty());
        QCOMPARE(rig.form.contentWrites, 0);

        rig.form.listed = {};
        rig.form.contentText = "hi";
        rig.messenger.broadcast();
        QCOMPARE(rig.history.text(),
                 error(u"发送内容不能为空！") + notice(G(u"广播消息被发送到下列计算机：|")));
        QCOMPARE(rig.form.contentText, QByteArray());
    }

    void receiveShowsEveryTextAndTakesTheSenderWhenThereIsOne_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("shown");
        QTest::addColumn<QByteArray>("target");
        const QByteArray direct =
            message::compose("PC07", "T", message::directPhrase(), "hi|there", "sig");
        const QByteArray broadcast =
            message::compose("PC08", "T", message::broadcastPhrase(), "all", "");
        QTest::newRow("direct") << direct << direct << QByteArray("PC07");
        QTest::newRow("broadcast") << broadcast << broadcast << QByteArray("PC08");
        QTest::newRow("abc|def") << QByteArray("abc|def") << QByteArray("abc|def")
                                 << QByteArray("def");
        QTest::newRow("empty sender") << QByteArray("||x") << QByteArray("||x") << QByteArray();
        QTest::newRow("no separator")
            << QByteArray("hello") << QByteArray("hello") << QByteArray("typed");
        QTest::newRow("lone | at end")
            << QByteArray("hello|") << QByteArray("hello|") << QByteArray("typed");
        QTest::newRow("zero first")
            << QByteArray("\0|PC09|x", 8) << QByteArray() << QByteArray("typed");
        QTest::newRow("zero inside")
            << QByteArray("|PC09|x\0|evil", 13) << QByteArray("|PC09|x") << QByteArray("PC09");
        QTest::newRow("trail 0x7C name")
            << QByteArray("|\xC4|N|x") << QByteArray("|\xC4|N|x") << QByteArray("\xC4|N");
    }
    void receiveShowsEveryTextAndTakesTheSenderWhenThereIsOne()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, shown);
        QFETCH(QByteArray, target);
        Rig rig;
        rig.form.targetText = "typed";
        rig.messenger.receive(datagram);
        QCOMPARE(rig.history.text(), dashes() + line(shown));
        QCOMPARE(rig.form.targetText, target);
        QCOMPARE(rig.form.shown, 1);
    }

    // A reply being written goes where it was addressed; the window still
    // tells who wrote, and the notice shows the first line of the content.
    void aDraftKeepsItsTarget()
    {
        Rig rig;
        rig.form.targetText = "pc-c";
        rig.form.contentText = "draft";
        const QByteArray text =
            message::compose("pc-b", "T", message::directPhrase(), "first\r\nsecond", "sig");
        rig.messenger.receive(text);
        QCOMPARE(rig.form.targetText, QByteArray("pc-c"));
        QCOMPARE(rig.form.contentText, QByteArray("draft"));
        QCOMPARE(rig.form.lastArrival, (QByteArrayList{"pc-b", "first"}));
        QCOMPARE(rig.history.text(), dashes() + line(text));

        rig.form.contentText.clear();
        rig.messenger.receive(message::compose("pc-d", "T", message::directPhrase(), "x", "s"));
        QCOMPARE(rig.form.targetText, QByteArray("pc-d"));
        QCOMPARE(rig.form.lastArrival, (QByteArrayList{"pc-d", G(u"x——s")}));
        rig.messenger.receive("no header");
        QCOMPARE(rig.form.lastArrival, (QByteArrayList{"", "no header"}));
    }

    void backToBackMessagesKeepArrivalOrder()
    {
        Rig rig;
        rig.messenger.receive("|A|1");
        rig.messenger.receive("|B|2");
        QCOMPARE(rig.history.text(), dashes() + line("|A|1") + dashes() + line("|B|2"));
        QCOMPARE(rig.form.targetText, QByteArray("B"));
        QCOMPARE(rig.form.shown, 2);
    }
};

QTEST_GUILESS_MAIN(TestMessenger)
#include "test_messenger.moc"
