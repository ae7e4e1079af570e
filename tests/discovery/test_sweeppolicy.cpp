// Which addresses a scan sweeps, at the edges of every rule (the named
// subnets of zeph.conf too), and what the link layer's answers count for.

#include "core/gbk.h"
#include "discovery/linkpresence.h"
#include "discovery/neighbourbudget.h"
#include "discovery/scanconfig.h"
#include "discovery/sweeprange.h"
#include "discovery/texts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using zeph::Ipv4Address;
using zeph::SweepRange;
using zeph::sweepRange;

namespace {
Ipv4Address a(int b0, int b1, int b2, int b3)
{
    return Ipv4Address(std::uint8_t(b0), std::uint8_t(b1), std::uint8_t(b2), std::uint8_t(b3));
}
} // namespace

class TestSweepPolicy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // /24 and longer, or no prefix known: 1..255 of the own /24, .255 included
    // even where it is not the broadcast address or lies outside the subnet.
    void ownSlash24AsAlways()
    {
        const SweepRange expected{a(10, 1, 2, 1), a(10, 1, 2, 255)};
        for (int prefix : {-1, 24, 25, 30, 32})
            QCOMPARE(sweepRange(a(10, 1, 2, 200), prefix), expected);
        QCOMPARE(expected.size(), 255);
        QCOMPARE(expected.indexOf(a(10, 1, 2, 0)), -1);
        QCOMPARE(expected.indexOf(a(10, 1, 2, 255)), 254);
    }

    // /20 to /23: the whole subnet without network and broadcast address,
    // whichever part of it the own address is in.
    void wholeSubnetFrom20To23()
    {
        QCOMPARE(sweepRange(a(10, 1, 3, 9), 23), (SweepRange{a(10, 1, 2, 1), a(10, 1, 3, 254)}));
        QCOMPARE(sweepRange(a(10, 1, 2, 9), 23), (SweepRange{a(10, 1, 2, 1), a(10, 1, 3, 254)}));
        const SweepRange r22 = sweepRange(a(192, 168, 6, 1), 22);
        QCOMPARE(r22, (SweepRange{a(192, 168, 4, 1), a(192, 168, 7, 254)}));
        QCOMPARE(r22.size(), 1022);
        QCOMPARE(r22.at(255), a(192, 168, 5, 0)); // inner .0 and .255 are hosts
        QCOMPARE(r22.indexOf(a(192, 168, 5, 0)), 255);
        QCOMPARE(r22.indexOf(a(192, 168, 8, 0)), -1);
        QCOMPARE(sweepRange(a(172, 16, 31, 7), 20).size(), 4094);
    }

    // Wider subnets: only the /20 holding the own address; the subnet's own
    // network and broadcast address are left out where that /20 holds them.
    void widerSubnetsSweepTheOwn20()
    {
        QCOMPARE(sweepRange(a(10, 1, 20, 5), 16), (SweepRange{a(10, 1, 16, 0), a(10, 1, 31, 255)}));
        QCOMPARE(sweepRange(a(10, 1, 2, 5), 16), (SweepRange{a(10, 1, 0, 1), a(10, 1, 15, 255)}));
        QCOMPARE(sweepRange(a(10, 255, 250, 5), 8),
                 (SweepRange{a(10, 255, 240, 0), a(10, 255, 255, 254)}));
        QCOMPARE(sweepRange(a(10, 1, 20, 5), 0).size(), 4096);
    }

    // A card answering for more than a handful of addresses is a proxy: past
    // the limit its answers stop counting; other cards are not affected, and
    // an address answered again by the same card is not counted twice.
    void proxyAnswersStopCounting()
    {
        zeph::ProxyFilter filter;
        const zeph::LinkAddress proxy{2, 0, 0, 0, 0, 1};
        const zeph::LinkAddress host{2, 0, 0, 0, 0, 2};
        const std::size_t limit = zeph::ProxyFilter::kMaxAddressesPerCard;
        for (std::size_t i = 1; i <= limit; ++i) {
            QVERIFY(filter.counts(a(10, 0, 0, int(i)), proxy));
            QVERIFY(filter.counts(a(10, 0, 0, int(i)), proxy)); // again: still within
        }
        QVERIFY(!filter.counts(a(10, 0, 0, 100), proxy));
        QVERIFY(!filter.counts(a(10, 0, 0, 1), proxy)); // once a proxy, never again
        QVERIFY(filter.counts(a(10, 0, 0, 100), host));
    }

    // A subnet the user names: its hosts without network and broadcast
    // address; a /31 or /32 whole.
    void namedSubnets()
    {
        QCOMPARE(zeph::namedSubnetRange(a(10, 5, 50, 77), 24),
                 (SweepRange{a(10, 5, 50, 1), a(10, 5, 50, 254)}));
        QCOMPARE(zeph::namedSubnetRange(a(10, 5, 52, 0), 20).size(), 4094);
        QCOMPARE(zeph::namedSubnetRange(a(10, 5, 50, 9), 32),
                 (SweepRange{a(10, 5, 50, 9), a(10, 5, 50, 9)}));
    }

    // zeph.conf: good prefixes in the file's order (host bits dropped),
    // blanks ignored; a bad entry and one wider than /20 each reported by
    // name while the rest counts; no file is nothing, an unreadable one a
    // report.
    void namedSubnetsFromTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("zeph.conf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[other]\nsubnets = 1.2.3.0/24\n[scan]\n"
                   "subnets = 10.5.50.0/24, ,10.5.52.9/23 , 10.0.0.0/16,bogus, 10.6.0.0/33\n");
        file.close();
        const zeph::ScanConfig config = zeph::readScanConfig(path);
        QCOMPARE(config.subnets.size(), std::size_t(2));
        QCOMPARE(config.subnets[0].network, a(10, 5, 50, 0));
        QCOMPARE(config.subnets[0].prefixLength, 24);
        QCOMPARE(config.subnets[1].network, a(10, 5, 52, 0));
        QCOMPARE(config.subnets[1].prefixLength, 23);
        QCOMPARE(config.problems.size(), 3);
        QCOMPARE(config.problems[0], zeph::G(zeph::texts::kScanSubnetTooWide) + "10.0.0.0/16");
        QCOMPARE(config.problems[1], zeph::G(zeph::texts::kScanSubnetBad) + "bogus");
        QVERIFY(config.problems[2].endsWith("10.6.0.0/33"));

        QVERIFY(zeph::readScanConfig(dir.filePath(QStringLiteral("none.conf"))).problems.isEmpty());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dir.conf")));
        const zeph::ScanConfig unreadable =
            zeph::readScanConfig(dir.filePath(QStringLiteral("dir.conf")));
        QVERIFY(unreadable.subnets.empty());
        QCOMPARE(unreadable.problems.size(), 1);
        QVERIFY(unreadable.problems[0].startsWith(zeph::G(zeph::texts::kScanConfigUnreadable)));
    }

    // What could hold the program at start-up is not read: a FIFO (opened
    // without blocking: no writer ever comes), a device, a file larger than
    // the bound, and one that names more subnets than the bound; each is one
    // line naming the file, and nothing of it counts. Files at the bounds
    // still count.
    void zephConfThatCouldHoldTheProgramIsNotRead()
    {
        QTemporaryDir dir;
        const auto only = [](const zeph::ScanConfig& c, QStringView text, const QString& path) {
            return c.subnets.empty() && c.problems.size() == 1 &&
                   c.problems[0] == zeph::G(text) + zeph::gbk::fromUnicode(path);
        };
        const QString fifo = dir.filePath(QStringLiteral("fifo.conf"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(only(zeph::readScanConfig(fifo), zeph::texts::kScanConfigUnreadable, fifo));
        const QString device = dir.filePath(QStringLiteral("zero.conf"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), device));
        QVERIFY(only(zeph::readScanConfig(device), zeph::texts::kScanConfigUnreadable, device));

        const QByteArray head = "[scan]\nsubnets = 10.5.50.0/24\n";
        const auto write = [&dir](const char* name, const QByteArray& bytes) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? path
                                                                                  : QString();
        };
        const QByteArray atBound = head + QByteArray(zeph::kMaxScanConfigBytes - head.size(), ';');
        QCOMPARE(zeph::readScanConfig(write("full.conf", atBound)).subnets.size(), std::size_t(1));
        const QString large = write("large.conf", atBound + ';');
        QVERIFY(only(zeph::readScanConfig(large), zeph::texts::kScanConfigTooLarge, large));

        QByteArray list = "[scan]\nsubnets = ";
        for (int i = 0; i < zeph::kMaxNamedSubnets; ++i)
            list +=
                "10." + QByteArray::number(i / 256) + '.' + QByteArray::number(i % 256) + ".0/24,";
        QCOMPARE(zeph::readScanConfig(write("many.conf", list)).subnets.size(),
                 std::size_t(zeph::kMaxNamedSubnets));
        const QString tooMany = write("toomany.conf", list + "10.99.0.0/24");
        QVERIFY(
            only(zeph::readScanConfig(tooMany), zeph::texts::kScanConfigTooManySubnets, tooMany));
        QCOMPARE(zeph::G(zeph::texts::kScanSubnetTooWide),
                 zeph::G(u"配置文件中的网段大于 /20，不扫描："));
    }

    // The neighbour table's budget: entries that ask are limited apart from
    // all entries; an asking entry goes after its lifetime, a resolved one
    // (a proxy's) holds for long; the same address twice is one entry; and
    // nextRoom says when the first one goes.
    void neighbourBudget()
    {
        using B = zeph::NeighbourBudget;
        const B::TimePoint t0{std::chrono::seconds(100)};
        B budget(3, 2);
        QVERIFY(budget.mayAdd(t0));
        budget.added(a(10, 0, 0, 1), t0);
        budget.added(a(10, 0, 0, 1), t0); // asked again
        QVERIFY(budget.mayAdd(t0));
        budget.added(a(10, 0, 0, 2), t0);
        QVERIFY(!budget.mayAdd(t0)); // two asking
        QCOMPARE(budget.nextRoom(t0), t0 + B::kUnresolvedLifetime);
        budget.resolved(a(10, 0, 0, 1), t0);
        budget.resolved(a(10, 0, 0, 9), t0); // not ours: nothing changes
        QVERIFY(budget.mayAdd(t0));
        budget.added(a(10, 0, 0, 3), t0);
        QVERIFY(!budget.mayAdd(t0)); // three entries
        const B::TimePoint later = t0 + B::kUnresolvedLifetime;
        QVERIFY(budget.mayAdd(later)); // the asking ones went
        budget.added(a(10, 0, 0, 4), later);
        budget.resolved(a(10, 0, 0, 4), later);
        budget.added(a(10, 0, 0, 5), later);
        QVERIFY(!budget.mayAdd(later));
        QCOMPARE(budget.nextRoom(later), later + B::kUnresolvedLifetime);
        QVERIFY(budget.mayAdd(later + B::kUnresolvedLifetime));
        QVERIFY(B(0, 0).mayAdd(t0)); // at least one
    }
};

QTEST_GUILESS_MAIN(TestSweepPolicy)
#include "test_sweeppolicy.moc"
