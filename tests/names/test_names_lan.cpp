// Names that only the LAN knows, end to end through the program's own scan and
// messenger: run by run_names_lan.sh in namespace hosts that have no hosts-file
// or DNS entry for each other, some running nmbd, some avahi-daemon. The role
// and what the LAN holds come from the environment (texts in UTF-8):
//   ZEPH_NAMES_ROLE     scanner | answerer
//   ZEPH_NAMES_READY    addresses whose servers must answer before the scan
//   ZEPH_NAMES_HIGHEST  the highest host number to scan
//   ZEPH_NAMES_EXPECT   the list the scan must show, "name=address" each
//   ZEPH_NAMES_ALSO     names the answerer sends to after its reply, as typed

#include "core/gbk.h"
#include "core/ipv4.h"
#include "history/history.h"
#include "lan/questions.h"
#include "messaging/messenger.h"
#include "peers.h"
#include "platform/net/localaddress.h"
#include "platform/net/names.h"
#include "recordingform.h"
#include "scanrun.h"

#include <QDeadlineTimer>
#include <QTest>

using namespace zeph;
using zeph::test::ScannerPeer;

namespace {

QList<QByteArray> envList(const char* name)
{
    const QString text = QString::fromUtf8(qgetenv(name)).trimmed();
    QList<QByteArray> out;
    if (text.isEmpty())
        return out;
    const QStringList items = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& item : items)
        out << gbk::fromUnicode(item);
    return out;
}

Ipv4Address addressOf(const QByteArray& dotted)
{
    return ipv4::parse(dotted).value_or(Ipv4Address());
}

QByteArray dottedText(std::optional<Ipv4Address> a)
{
    return a ? QByteArray::fromStdString(a->toString()) : QByteArray();
}

// Waits until every address names itself through NetBIOS or multicast DNS:
// the servers register their names a few seconds after they start.
bool serversReady(const QList<QByteArray>& addresses)
{
    QDeadlineTimer deadline(60000); // generous: a loaded machine starts daemons slowly
    for (const QByteArray& a : addresses) {
        for (;;) {
            const lan::HostNames names = lan::hostNames(addressOf(a));
            if (!names.netbios.isEmpty() || !names.mdns.isEmpty())
                break;
            if (deadline.hasExpired()) {
                qWarning("no name server answers at %s", a.constData());
                return false;
            }
            QTest::qWait(200);
        }
    }
    return true;
}

// Processes events until the history holds text or the time is up.
bool waitForHistory(const History& history, const QByteArray& text, int ms)
{
    return QTest::qWaitFor([&] { return history.text().contains(text); }, ms);
}

} // namespace

class TestNamesLan : public QObject {
    Q_OBJECT
    QByteArray m_role;

private Q_SLOTS:
    void initTestCase()
    {
        m_role = qgetenv("ZEPH_NAMES_ROLE");
        if (m_role.isEmpty())
            QSKIP("needs the simulated LAN (run_names_lan.sh)");
        // Nothing is asked unless we stand on a 10.x simulated LAN of our own.
        const std::optional<Ipv4Address> local = platform::localIPv4Address(std::nullopt);
        QVERIFY(local && (*local)[0] == 10);
        QVERIFY(serversReady(envList("ZEPH_NAMES_READY")));
    }

    // Lists every named computer, in host order, by the name it gives itself;
    // each listed name resolves to its address; messages reach the NetBIOS
    // hosts and the other copy, whose reply comes back; a broadcast reaches all.
    void scanner()
    {
        if (m_role != "scanner")
            QSKIP("the answerer's host");
        test::ScanRun run;
        History& history = run.history;
        const NameLookup& lookup = run.lookup;
        run.startUp(lookup.resolve(platform::ownHostName()));
        ScannerPeer::sweepAtMost(run.scanner, qEnvironmentVariableIntValue("ZEPH_NAMES_HIGHEST"));
        QVERIFY(run.run(20000));

        QList<QByteArray> names, addresses;
        for (const QByteArray& e : envList("ZEPH_NAMES_EXPECT")) {
            names << e.left(e.indexOf('='));
            addresses << e.mid(e.indexOf('=') + 1);
        }
        QCOMPARE(gbk::toUnicode(run.view.computers.join(" ")), gbk::toUnicode(names.join(" ")));
        // A name another host claims from a lower address: name=claimants.
        const QByteArray claimedEntry = qgetenv("ZEPH_NAMES_CLAIMED");
        const QByteArray claimed = claimedEntry.left(claimedEntry.indexOf('='));
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names[i].compare(claimed, Qt::CaseInsensitive) != 0)
                QCOMPARE(dottedText(lookup.resolve(names[i])), addresses[i]);
        }

        test::RecordingForm form;
        Messenger messenger(history, form, lookup);
        messenger.startUp();
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names[i].compare(claimed, Qt::CaseInsensitive) == 0)
                continue;
            form.targetText = names[i];
            form.contentText = "direct to " + names[i];
            messenger.sendMessage();
            QVERIFY2(history.text().endsWith(G(u"★★★信息已发送到目标计算机。★★★")),
                     history.text().right(80));
        }
        // Typed, the claimed name goes nowhere and the refusal names both
        // hosts; chosen in the list, it goes to the row's host.
        form.targetText = claimed;
        form.contentText = "direct to " + claimed;
        messenger.sendMessage();
        QVERIFY2(history.text().contains(G(u"有多台计算机自称|") + claimed + G(u"|（") +
                                         gbk::fromUnicode(QString::fromUtf8(
                                             claimedEntry.mid(claimedEntry.indexOf('=') + 1))) +
                                         G(u"），未发送！")),
                 history.text().right(200));
        form.chosen = ipv4::parse(addresses[names.indexOf(claimed)]);
        messenger.sendMessage();
        QVERIFY2(history.text().endsWith(G(u"★★★信息已发送到目标计算机。★★★")),
                 history.text().right(80));
        form.chosen.reset();
        // The other copy answers the message it got from us: its reply names
        // us by our own host name, which only multicast DNS knows.
        QVERIFY2(waitForHistory(history, "reply to direct to", 10000), history.text());
        QCOMPARE(form.targetText, QByteArray("bravo"));

        // A name nobody has: the hostile host's answers (loopback, broadcast,
        // off the subnet, or from another port) count as none, so the message
        // fails as for any unknown name and never reaches this copy itself.
        form.targetText = "ghost";
        form.contentText = "to ghost";
        messenger.sendMessage();
        QVERIFY2(history.text().contains(G(u"找不到目标计算机|ghost|！")),
                 history.text().right(80));
        QTest::qWait(500);
        QVERIFY2(!history.text().contains("to ghost"), history.text().right(200));

        for (qsizetype i = 0; i < run.view.computers.size(); ++i)
            form.listed.append({run.view.computers[i], run.view.addresses[i]});
        form.contentText = "to everyone";
        messenger.broadcast();
        QVERIFY2(
            history.text().contains(G(u"广播消息被发送到下列计算机：|") + names.join('|') + '|'),
            history.text().right(200));
    }

    // The other copy: answers the first message, then names the NetBIOS hosts
    // as a user would type them, which only a name query on the subnet finds.
    void answerer()
    {
        if (m_role != "answerer")
            QSKIP("the scanner's host");
        History history;
        test::RecordingForm form;
        const NameLookup lookup;
        Messenger messenger(history, form, lookup);
        messenger.startUp();
        QVERIFY2(QTest::qWaitFor([&] { return form.shown > 0; }, 60000), "nothing arrived");
        const QByteArray received = history.text();
        const qsizetype at = received.indexOf("direct to ");
        QVERIFY(at > 0);
        form.contentText = "reply to " + received.mid(at, received.indexOf('\r', at) - at);
        messenger.sendMessage(); // the target box holds the sender's name now
        QVERIFY2(history.text().endsWith(G(u"★★★信息已发送到目标计算机。★★★")),
                 history.text().right(80));
        for (const QByteArray& name : envList("ZEPH_NAMES_ALSO")) {
            // nmbd answers a name query once it has claimed the name on the
            // subnet, a few seconds after it starts (its node status lists
            // the name earlier).
            QVERIFY2(QTest::qWaitFor([&] { return lookup.resolve(name).has_value(); }, 20000),
                     "no NetBIOS answer for " + name);
            form.targetText = name;
            form.contentText = "typed " + name;
            messenger.sendMessage();
            QVERIFY2(history.text().endsWith(G(u"★★★信息已发送到目标计算机。★★★")), name);
        }
        // Stay until the broadcast arrives as well.
        QVERIFY(waitForHistory(history, "to everyone", 30000));
    }
};

QTEST_GUILESS_MAIN(TestNamesLan)
#include "test_names_lan.moc"
