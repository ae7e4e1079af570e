// The messenger-service handler with an injected sender: history entries byte
// for byte, the button and cursor sequence, the send box.

#include "history/history.h"
#include "historytext.h"
#include "messaging/messengerservice.h"
#include "names/namelookup.h"
#include "recordingform.h"

#include "core/gbk.h"

#include <QTest>

using namespace zeph;
using namespace zeph::test;

namespace {

// The three lines and the notice written before the tool runs, for the
// standard form (target PC01, two-line message, the fixed clock).
QByteArray recordWrittenBeforeTheTool()
{
    return kCrLf + History::separator() + kCrLf +
           G(u"您于2004年1月2日15时30分通过信使服务发送给|PC01|的信息：") + kCrLf +
           G(u"你好\r\n第二行") + notice(u"正在通过信使服务发送信息，请稍候……");
}

struct SentCall {
    QByteArray target;
    QByteArray address;
    QByteArray text;
    QByteArray historyAtSend;
};

} // namespace

class TestMessengerService : public QObject {
    Q_OBJECT

    History history;
    test::RecordingForm form;
    QList<SentCall> calls;
    QList<QByteArray> resolved;
    bool deliver = true;
    std::unique_ptr<NameLookup> names; // the program's lookup order over a fake resolver
    std::unique_ptr<MessengerService> service;

private Q_SLOTS:
    void init()
    {
        history.initialise();
        form = {};
        form.targetText = "PC01";
        form.contentText = G(u"你好\r\n第二行");
        form.signatureText = G(u"张三");
        calls.clear();
        resolved.clear();
        deliver = true;
        NameLookup::Backends fake;
        fake.systemResolve = [this](QByteArrayView name) {
            resolved << name.toByteArray();
            return name == "PC01" ? std::optional(Ipv4Address(10, 1, 2, 3)) : std::nullopt;
        };
        fake.systemReverse = [](Ipv4Address) { return QByteArray(); };
        fake.lanResolve = [](QByteArrayView) { return std::optional<Ipv4Address>(); };
        fake.lanHostNames = [](Ipv4Address) { return lan::HostNames(); };
        names = std::make_unique<NameLookup>(fake);
        SendSources sources = SendSources::system(*names);
        sources.clock = [] { return QDateTime(QDate(2004, 1, 2), QTime(15, 30, 0)); };
        const auto sender = [this](QByteArrayView target, std::optional<Ipv4Address> address,
                                   QByteArrayView text) {
            const QByteArray dotted =
                address ? QByteArray::fromStdString(address->toString()) : QByteArray();
            calls << SentCall{target.toByteArray(), dotted, text.toByteArray(), history.text()};
            form.events << QStringLiteral("send");
            return deliver;
        };
        service = std::make_unique<MessengerService>(history, form, sources, sender);
    }

    void successWritesFiveEntriesAndEmptiesTheBox()
    {
        const QByteArray before = history.text();
        service->send();

        const QByteArray record = recordWrittenBeforeTheTool();
        QCOMPARE(history.text(), before + record + notice(u"信息已成功发送到计算机|PC01|"));
        // The record stands in the history before the tool runs.
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].historyAtSend, before + record);
        QCOMPARE(calls[0].target, QByteArray("PC01"));
        QCOMPARE(calls[0].address, QByteArray("10.1.2.3"));
        QCOMPARE(calls[0].text, G(u"你好\r\n第二行——张三"));
        QCOMPARE(form.contentText, QByteArray());
        QCOMPARE(form.events, (QStringList{"button off", "cursor wait", "send", "cursor restore",
                                           "content set", "button on"}));
    }

    void failureKeepsTheTextAndEnablesTheButton()
    {
        deliver = false;
        const QByteArray before = history.text();
        service->send();

        const QByteArray record = recordWrittenBeforeTheTool();
        QCOMPARE(history.text(),
                 before + record + error(G(u"使用信使服务发送信息到计算机|PC01|失败！")));
        QCOMPARE(form.contentText, G(u"你好\r\n第二行"));
        QVERIFY(form.buttonEnabled);
        QCOMPARE(form.events,
                 (QStringList{"button off", "cursor wait", "send", "cursor restore", "button on"}));
    }

    void refusalsTouchNothingElse_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<uint>("lost"); // a character the boxes held that GBK lacks, or 0
        QTest::newRow("no target")
            << QByteArray() << QByteArray("x") << G(u"未指定目标计算机！") << 0u;
        QTest::newRow("no message")
            << QByteArray("PC01") << QByteArray() << G(u"发送内容不能为空！") << 0u;
        QTest::newRow("neither") << QByteArray() << QByteArray() << G(u"未指定目标计算机！") << 0u;
        QTest::newRow("not in GBK")
            << QByteArray("PC01") << QByteArray("?")
            << G(u"发送内容或签名中有GBK无法表示的字符，未发送：U+20BB7") << 0x20BB7u;
    }
    void refusalsTouchNothingElse()
    {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, entry);
        QFETCH(uint, lost);
        form.targetText = target;
        form.contentText = content;
        if (lost != 0)
            form.uncarriedCharacters = {lost};
        const QByteArray before = history.text();
        service->send();
        QCOMPARE(history.text(), before + error(entry));
        QVERIFY(calls.isEmpty());
        QVERIFY(form.events.isEmpty());
        QCOMPARE(form.contentText, content);
    }

    void unusableTargetFailsBeforeAnythingGoesOut_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("name type") << QByteArray("PC01#03");
        QTest::newRow("control byte") << QByteArray("PC\x1B[2J");
        QTest::newRow("16 bytes") << QByteArray("ABCDEFGHIJKLMNOP");
        // A broadcast form, as a datagram's sender part may set the target box
        // (every form: test_popupmessage).
        QTest::newRow("star") << QByteArray("*");
    }
    void unusableTargetFailsBeforeAnythingGoesOut()
    {
        QFETCH(QByteArray, target);
        form.targetText = target;
        const QByteArray before = history.text();
        service->send();
        QVERIFY(calls.isEmpty());
        QVERIFY(resolved.isEmpty());
        QVERIFY(history.text().startsWith(before));
        QVERIFY(history.text().endsWith(
            error(G(u"使用信使服务发送信息到计算机|") + target + G(u"|失败！"))));
        QCOMPARE(form.contentText, G(u"你好\r\n第二行"));
        QVERIFY(form.buttonEnabled);
    }

    void textIsTakenAsItStands()
    {
        // Blanks are a message; an empty signature still gets the dashes.
        form.contentText = "  ";
        form.signatureText.clear();
        service->send();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].text, QByteArray("  ") + G(u"——"));
        // A leading '/' is text, never a switch: a blank goes before it.
        form.contentText = "/DELETE";
        service->send();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[1].text, QByteArray(" /DELETE") + G(u"——"));
    }

    void addressComesFromTheTarget()
    {
        // A dotted target is its own address, without a lookup.
        form.targetText = "192.168.7.9";
        service->send();
        QCOMPARE(calls.last().address, QByteArray("192.168.7.9"));
        QVERIFY(resolved.isEmpty());
        // A name the resolver does not know goes without an address.
        form.targetText = G(u"无名机");
        form.contentText = "x";
        service->send();
        QCOMPARE(resolved, QList<QByteArray>{G(u"无名机")});
        QCOMPARE(calls.last().target, G(u"无名机"));
        QCOMPARE(calls.last().address, QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestMessengerService)
#include "test_messengerservice.moc"
