// The program's side of the zeph-probe conversation, with stand-in helpers:
// its greeting, replies streamed back as lines, and a helper that goes away.
// Runs in a private loopback-only network namespace.

#include "addresstext.h"
#include "netns.h"
#include "platform/echo/echoprobe.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zeph;

namespace {

// A helper program that is a shell script; the helper gets no PATH.
QByteArray writeHelper(const QTemporaryDir& dir, const QByteArray& name, const QByteArray& body)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("#!/bin/sh\n" + body);
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path.toLocal8Bit();
}

} // namespace

class TestEchoTransport : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        ZEPH_REQUIRE_PRIVATE_NETNS();
        QVERIFY(m_dir.isValid());
    }

    void helperThatCannotProbe()
    {
        const QByteArray helper = writeHelper(m_dir, "fail", "echo fail\n");
        QVERIFY(!platform::openEchoTransport({helper, false}));
        const QByteArray mute = writeHelper(m_dir, "mute", "exit 0\n");
        QVERIFY(!platform::openEchoTransport({mute, false}));
    }

    // Each line back is one reply; a line that is not exactly a dotted quad is none.
    void repliesStreamBack()
    {
        const QByteArray helper = writeHelper(
            m_dir, "echo", "echo ok datagram\necho junk\necho 10.213.7.03\nexec /bin/cat\n");
        const auto transport = platform::openEchoTransport({helper, false});
        QVERIFY(transport);
        QCOMPARE(transport->method(), platform::EchoMethod::HelperDatagram);
        QVERIFY(transport->minimumInterval() >= std::chrono::milliseconds(1));
        QList<Ipv4Address> replies;
        transport->setReplyHandler([&](Ipv4Address from) { replies << from; });
        const QList<Ipv4Address> sent = {{10, 213, 7, 1}, {10, 213, 7, 2}, {10, 213, 7, 255}};
        for (const Ipv4Address a : sent)
            QVERIFY(transport->send(a));
        QVERIFY(!transport->send(Ipv4Address(255, 255, 255, 255)));
        QVERIFY(!transport->send(Ipv4Address(224, 0, 0, 1)));
        QTRY_COMPARE(replies, sent);
    }

    // A helper with ARP: requests go out as "arp" lines, the card that answered
    // comes back, and a request counts as waiting there until its "done".
    void arpThroughTheHelper()
    {
        const QByteArray helper =
            writeHelper(m_dir, "arp",
                        "echo ok raw arp\n"
                        "while read verb address; do\n"
                        "  [ \"$verb\" = arp ] && echo \"arp $address 02:00:00:00:00:09\"\n"
                        "  echo done\n"
                        "done\n");
        const auto transport = platform::openEchoTransport({helper, false});
        QVERIFY(transport);
        QCOMPARE(transport->method(), platform::EchoMethod::HelperRaw);
        QVERIFY(transport->asksArp());
        QList<std::pair<Ipv4Address, LinkAddress>> answers;
        transport->setLinkAnswerHandler([&](Ipv4Address a, const LinkAddress& card) {
            answers.push_back({a, card});
        });
        QVERIFY(!transport->busy());
        QVERIFY(transport->sendArp(Ipv4Address(10, 213, 7, 9)));
        QVERIFY(transport->busy());
        QTRY_VERIFY(!transport->busy());
        QCOMPARE(answers.size(), qsizetype(1));
        QCOMPARE(answers[0].first, Ipv4Address(10, 213, 7, 9));
        QCOMPARE(answers[0].second, (LinkAddress{2, 0, 0, 0, 0, 9}));
    }

    // A helper that ends in the middle of a scan: what was sent after that
    // fails, and nothing else happens.
    void helperGoesAway()
    {
        const QByteArray helper = writeHelper(m_dir, "short", "echo ok raw\nread line\n");
        const auto transport = platform::openEchoTransport({helper, false});
        QVERIFY(transport);
        int replies = 0;
        transport->setReplyHandler([&](Ipv4Address) { ++replies; });
        QVERIFY(transport->send(Ipv4Address(10, 213, 7, 1))); // it reads this one and ends
        QTRY_VERIFY(!transport->send(Ipv4Address(10, 213, 7, 2)));
        transport->readPending();
        QCOMPARE(replies, 0);
    }
};

QTEST_GUILESS_MAIN(TestEchoTransport)
#include "test_echotransport.moc"
