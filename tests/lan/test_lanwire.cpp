// The NetBIOS and DNS codecs against answers built byte by byte as responders
// send them, and against the damaged ones a hostile responder may send.

#include "lan/dns.h"
#include "lan/llmnr.h"
#include "lan/netbios.h"
#include "lan/packet.h"
#include "wirepackets.h"

#include <QTest>

using namespace zeph;
using namespace zeph::lan;
namespace w = zeph::test::wire;

namespace {

const QByteArray kChinese("\xD6\xD0\xCE\xC4\xBB\x61", 6); // 中文 and a character with trail 'a'

} // namespace

class TestLanWire : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void netbiosRequests()
    {
        const QByteArray status = netbios::nodeStatusRequest(0x1234);
        QCOMPARE(status, w::header(0x1234, 0, 1, 0) + w::netbiosName("*", '\0') +
                             QByteArray("\x00\x21\x00\x01", 4));
        QVERIFY(status.contains("CKAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"));

        // Broadcast with recursion desired, the name upper-cased and padded with blanks.
        QCOMPARE(netbios::nameQueryRequest(0xBEEF, "alpha-1"),
                 w::header(0xBEEF, 0x0110, 1, 0) + w::netbiosName("ALPHA-1") +
                     QByteArray("\x00\x20\x00\x01", 4));
        // A GBK trail byte that looks like 'a' is not a letter.
        QCOMPARE(netbios::upperCased(kChinese + "pc"), kChinese + "PC");
        QCOMPARE(netbios::nameQueryRequest(1, kChinese), w::header(1, 0x0110, 1, 0) +
                                                             w::netbiosName(kChinese) +
                                                             QByteArray("\x00\x20\x00\x01", 4));

        for (const QByteArray& bad : {QByteArray(), QByteArray(16, 'A'), QByteArray("pc.lan"),
                                      QByteArray("a\tb"), QByteArray("a\0b", 3)}) {
            QVERIFY2(!netbios::isValidName(bad), bad.toHex());
            QVERIFY(netbios::nameQueryRequest(1, bad).isEmpty());
        }
        QVERIFY(netbios::isValidName(QByteArray(15, 'A')));
    }

    void nodeStatusPicksTheWorkstationName()
    {
        const QList<w::NameEntry> names{{"WORKGROUP", 0x00, 0x8400},
                                        {"ALPHA", 0x20, 0x0400},
                                        {"ALPHA", 0x03, 0x0400},
                                        {"ALPHA", 0x00, 0x0400},
                                        {"OTHER", 0x00, 0x0400}};
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, names), 7), QByteArray("ALPHA"));
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, {{kChinese, 0x00}}), 7), kChinese);
        QCOMPARE(netbios::nodeStatusName(
                     w::nodeStatus(7, {{QByteArray("ZEROS\0\0\0\0\0\0\0\0\0\0", 15), 0x00}}), 7),
                 QByteArray("ZEROS"));
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, {{QByteArray("A\0B", 3), 0x00}}), 7),
                 QByteArray()); // a zero byte inside is no padding
        // Inner blanks stay; only the padding goes.
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, {{"MY PC", 0x00}}), 7),
                 QByteArray("MY PC"));
        // Names in conflict, being released, holding control bytes, or that
        // a resolver would take for an address or a DNS name are passed over.
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, {{"CONFLICT", 0, 0x0C00},
                                                           {"GOING", 0, 0x1400},
                                                           {QByteArray("BE\x07L"), 0},
                                                           {"10.214.9.20", 0},
                                                           {"X.EXAMPLE.COM", 0},
                                                           {"0x0AD60914", 0},
                                                           {"GOOD", 0}}),
                                         7),
                 QByteArray("GOOD"));
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, {{"", 0x00}}), 7), QByteArray());
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, {{"ONLYGROUP", 0, 0x8400}}), 7),
                 QByteArray());
    }

    void nodeStatusRefusesWhatIsNotOurAnswer()
    {
        const QList<w::NameEntry> one{{"ALPHA", 0x00}};
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, one), 8), QByteArray());
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, one, 0x0000), 7),
                 QByteArray()); // a question
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, one, 0x8403), 7),
                 QByteArray()); // an error
        QCOMPARE(netbios::nodeStatusName(w::nodeStatus(7, one, 0xA800), 7),
                 QByteArray()); // opcode 5

        // Every truncation of a good answer, and a name count beyond the data.
        const QByteArray whole = w::nodeStatus(7, one);
        for (qsizetype n = 0; n < whole.size(); ++n) {
            const QByteArray got = netbios::nodeStatusName(whole.first(n), 7);
            QVERIFY2(got.isEmpty(), QByteArray::number(n));
        }
        QByteArray longer = whole;
        longer[12 + 34 + 8] = char(0x01); // RDLENGTH 256 more than there is
        QCOMPARE(netbios::nodeStatusName(longer, 7), QByteArray());
        QByteArray many = whole;
        many[12 + 34 + 10] = char(0xFF); // 255 names announced, one present
        QCOMPARE(netbios::nodeStatusName(many, 7), QByteArray("ALPHA"));
        // An owner name written as a pointer to the repeated question, as some
        // responders do; a pointer at itself or ahead is refused.
        QByteArray pointer = w::header(7, 0x8400, 1, 1) + w::netbiosName("*", '\0') +
                             QByteArray("\x00\x21\x00\x01\xC0\x0C", 6) + whole.mid(12 + 34);
        QCOMPARE(netbios::nodeStatusName(pointer, 7), QByteArray("ALPHA"));
        QByteArray self = whole;
        self.replace(12, 34, QByteArray("\xC0\x0C", 2));
        QCOMPARE(netbios::nodeStatusName(self, 7), QByteArray());
        self[13] = char(0x20);
        QCOMPARE(netbios::nodeStatusName(self, 7), QByteArray());
    }

    void nameQueryAnswer()
    {
        const QByteArray answer = w::nameQueryAnswer(9, "ALPHA", {0x0AD50702, 0x0AD50703});
        QCOMPARE(netbios::nameQueryAddress(answer, 9, "alpha"),
                 std::optional(Ipv4Address(0x0AD50702)));
        QCOMPARE(netbios::nameQueryAddress(answer, 9, "ALPHA"),
                 std::optional(Ipv4Address(0x0AD50702)));
        QCOMPARE(netbios::nameQueryAddress(answer, 8, "ALPHA"), std::nullopt);
        QCOMPARE(netbios::nameQueryAddress(answer, 9, "ALPH"), std::nullopt);
        QCOMPARE(netbios::nameQueryAddress(answer, 9, "ALPHAB"), std::nullopt);
        QCOMPARE(netbios::nameQueryAddress(w::nameQueryAnswer(9, kChinese, {1}), 9, kChinese),
                 std::optional(Ipv4Address(1)));
        // The responder may spell a lower-case name; a GBK name is compared byte for byte.
        QCOMPARE(netbios::nameQueryAddress(w::nameQueryAnswer(9, "alpha", {5}), 9, "Alpha"),
                 std::optional(Ipv4Address(5)));
        QByteArray otherTrail = kChinese;
        otherTrail[5] = 'A';
        QCOMPARE(netbios::nameQueryAddress(w::nameQueryAnswer(9, otherTrail, {1}), 9, kChinese),
                 std::nullopt);
        // Another suffix is another name (ALPHA<20> is the file server).
        QByteArray server = w::header(9, 0x8500, 0, 1) + w::netbiosName("ALPHA", ' ', 0x20);
        server += answer.mid(server.size());
        QCOMPARE(netbios::nameQueryAddress(server, 9, "ALPHA"), std::nullopt);
        QCOMPARE(netbios::nameQueryAddress(w::nameQueryAnswer(9, "ALPHA", {}), 9, "ALPHA"),
                 std::nullopt);
        for (qsizetype n = 0; n < answer.size() - 6; ++n)
            QCOMPARE(netbios::nameQueryAddress(answer.first(n), 9, "ALPHA"), std::nullopt);
    }

    void dnsQueries()
    {
        QCOMPARE(dns::query(0x0102, "bravo.local", dns::kTypeA, true),
                 w::header(0x0102, 0, 1, 0) + w::dnsName("bravo.local") +
                     QByteArray("\x00\x01\x80\x01", 4));
        QCOMPARE(dns::query(3, "x", dns::kTypePtr, false).right(4),
                 QByteArray("\x00\x0C\x00\x01", 4));
        QCOMPARE(dns::reverseName(Ipv4Address(0x0AD50702)), QByteArray("2.7.213.10.in-addr.arpa"));
        QVERIFY(!dns::query(1, QByteArray(63, 'a') + ".local", 1, true).isEmpty());
        for (const QByteArray& bad :
             {QByteArray(), QByteArray(64, 'a'), QByteArray("a..b"), QByteArray(".a"),
              QByteArray("a."), (QByteArray(60, 'a') + '.').repeated(5)})
            QVERIFY2(dns::query(1, bad, 1, true).isEmpty(), bad);
    }

    void dnsAnswers()
    {
        const QByteArray q = dns::reverseName(Ipv4Address(0x0AD50702));
        // Avahi's form: the question repeated, the owner as a pointer to it.
        const QByteArray ptr = w::dnsAnswer(
            5, q, 12, w::record(QByteArray("\xC0\x0C", 2), 12, 0x8001, w::dnsName("bravo.local")));
        QCOMPARE(dns::ptrTarget(ptr, 5, q), QByteArray("bravo.local"));
        QCOMPARE(dns::ptrTarget(ptr, 5, q.toUpper()), QByteArray("bravo.local"));
        QCOMPARE(dns::ptrTarget(ptr, 6, q), QByteArray());
        QCOMPARE(dns::ptrTarget(ptr, 5, dns::reverseName(Ipv4Address(0x0AD50703))), QByteArray());
        const QByteArray fwd = w::dnsAnswer(
            5, "bravo.local", 1, w::record(QByteArray("\xC0\x0C", 2), 1, 0x8001, w::a(0x0AD50702)));
        QCOMPARE(dns::aRecord(fwd, 5, "BRAVO.local"), std::optional(Ipv4Address(0x0AD50702)));
        QCOMPARE(dns::aRecord(fwd, 5, "bravo"), std::nullopt);
        // A PTR whose target ends in a pointer to "local" inside the question.
        const QByteArray tail = w::dnsAnswer(
            5, "bravo.local", 1,
            w::record(QByteArray("\xC0\x0C", 2), 12, 1, QByteArray("\x05zulu2\xC0\x12", 8)));
        QCOMPARE(dns::ptrTarget(tail, 5, "bravo.local"), QByteArray("zulu2.local"));

        // Among the additional records, after a record of another type.
        QByteArray extra = w::header(5, 0x8400, 0, 0, 0, 2) +
                           w::record(w::dnsName("x.local"), 16, 1, "\x03txt") +
                           w::record(w::dnsName("bravo.local"), 1, 1, w::a(7));
        QCOMPARE(dns::aRecord(extra, 5, "bravo.local"), std::optional(Ipv4Address(7)));
        // An A record of the wrong size, a query, an error.
        QCOMPARE(dns::aRecord(w::dnsAnswer(5, "b.local", 1,
                                           w::record(w::dnsName("b.local"), 1, 1, "\1\2\3\4\5")),
                              5, "b.local"),
                 std::nullopt);
        QByteArray notAnswer = fwd;
        notAnswer[2] = 0;
        QCOMPARE(dns::aRecord(notAnswer, 5, "bravo.local"), std::nullopt);
        QByteArray error = fwd;
        error[3] = 3;
        QCOMPARE(dns::aRecord(error, 5, "bravo.local"), std::nullopt);
        for (qsizetype n = 0; n < fwd.size(); ++n)
            QCOMPARE(dns::aRecord(fwd.first(n), 5, "bravo.local"), std::nullopt);
        for (qsizetype n = 0; n < ptr.size(); ++n)
            QCOMPARE(dns::ptrTarget(ptr.first(n), 5, q), QByteArray());
    }

    // LLMNR: DNS packets without the recursion and unicast-response bits; a
    // response counts only with exactly its one question and not truncated.
    void llmnr()
    {
        QCOMPARE(llmnr::query(0x0102, "winpc", dns::kTypeA),
                 w::header(0x0102, 0, 1, 0) + w::dnsName("winpc") + QByteArray("\0\1\0\1", 4));
        const QByteArray reverse = dns::reverseName(Ipv4Address(10, 213, 7, 2));
        auto answer = [&](unsigned flags, unsigned questions) {
            QByteArray out = w::header(5, flags, questions, 1);
            for (unsigned q = 0; q < questions; ++q)
                out += w::dnsName(reverse) + QByteArray("\0\x0C\0\1", 4);
            return out + w::record(w::dnsName(reverse), 12, 1, w::dnsName("winpc"));
        };
        QCOMPARE(llmnr::ptrTarget(answer(0x8000, 1), 5, reverse), QByteArray("winpc"));
        QCOMPARE(llmnr::ptrTarget(answer(0x8400, 1), 5, reverse), QByteArray("winpc")); // C bit
        QCOMPARE(llmnr::ptrTarget(answer(0x8200, 1), 5, reverse), QByteArray());        // truncated
        QCOMPARE(llmnr::ptrTarget(answer(0x8000, 0), 5, reverse), QByteArray());
        QCOMPARE(llmnr::ptrTarget(answer(0x8000, 2), 5, reverse), QByteArray());
        QCOMPARE(llmnr::ptrTarget(answer(0x8000, 1), 6, reverse), QByteArray());
        QCOMPARE(llmnr::ptrTarget(answer(0x8000, 1).left(11), 5, reverse), QByteArray());
        const QByteArray forward = w::header(9, 0x8000, 1, 1) + w::dnsName("winpc") +
                                   QByteArray("\0\1\0\1", 4) +
                                   w::record(w::dnsName("WINPC"), 1, 1, w::a(0x0AD50702));
        QCOMPARE(llmnr::aRecord(forward, 9, "winpc"), std::optional(Ipv4Address(10, 213, 7, 2)));
        QCOMPARE(llmnr::aRecord(forward, 9, "other"), std::nullopt);
    }

    void dnsHostileNames()
    {
        const QByteArray q = "1.0.0.10.in-addr.arpa";
        auto ptrWith = [&](const QByteArray& target) {
            return w::dnsAnswer(1, q, 12, w::record(QByteArray("\xC0\x0C", 2), 12, 1, target));
        };
        // A pointer to itself, a pointer forward, two pointers to each other.
        const qsizetype rdata = w::dnsAnswer(1, q, 12, {}).size() + 12;
        QByteArray self = ptrWith("xx");
        self[rdata] = char(0xC0 | (rdata >> 8));
        self[rdata + 1] = char(rdata & 0xFF);
        QCOMPARE(dns::ptrTarget(self, 1, q), QByteArray());
        QByteArray forward = ptrWith(QByteArray("\xC0\x00\x01x\x00", 5));
        forward[rdata + 1] = char(rdata + 2);
        QCOMPARE(dns::ptrTarget(forward, 1, q), QByteArray());
        QByteArray pingPong = ptrWith(QByteArray("\x01x\xC0\x00", 4));
        pingPong[rdata + 3] = char(rdata + 2); // "x" then back to the pointer itself
        QCOMPARE(dns::ptrTarget(pingPong, 1, q), QByteArray());
        // Control bytes and dots inside a label; reserved label types; too long a name.
        QCOMPARE(dns::ptrTarget(ptrWith(QByteArray("\x03"
                                                   "a\nb\x05local\x00",
                                                   11)),
                                1, q),
                 QByteArray());
        QCOMPARE(dns::ptrTarget(ptrWith(QByteArray("\x03"
                                                   "a.b\x05local\x00",
                                                   11)),
                                1, q),
                 QByteArray());
        QCOMPARE(dns::ptrTarget(ptrWith(QByteArray("\x43"
                                                   "abc\x00",
                                                   5)),
                                1, q),
                 QByteArray());
        QByteArray longName;
        for (int i = 0; i < 5; ++i)
            longName += char(60) + QByteArray(60, 'a');
        QCOMPARE(dns::ptrTarget(ptrWith(longName + '\0'), 1, q), QByteArray());
        QCOMPARE(dns::ptrTarget(ptrWith(QByteArray(1, '\0')), 1, q), QByteArray()); // the root
        // Counts far beyond the packet.
        QByteArray counts = ptrWith(w::dnsName("ok.local"));
        counts[6] = counts[7] = char(0xFF);
        QCOMPARE(dns::ptrTarget(counts, 1, q), QByteArray("ok.local"));
        counts[4] = counts[5] = char(0xFF);
        QCOMPARE(dns::ptrTarget(counts, 1, q), QByteArray());
    }

    // The one reader under both codecs: every truncation, pointer loop and
    // pointer ahead that either old reader refused stays refused by both of
    // its name reads; labels with bytes we cannot ask for again only by name().
    void packetReaderBounds()
    {
        // "ab.cd" at 0, then "x" and a pointer back to it at 7.
        const QByteArray p = QByteArray("\x02"
                                        "ab"
                                        "\x02"
                                        "cd"
                                        "\x00"
                                        "\x01"
                                        "x"
                                        "\xC0\x00",
                                        11);
        PacketReader whole(p, 7);
        QCOMPARE(whole.name(), std::optional<QByteArray>("x.ab.cd"));
        QCOMPARE(whole.pos(), p.size()); // past the pointer, not past its target
        for (qsizetype n = 7; n < p.size(); ++n) {
            // A view: the reader keeps no copy of the bytes it reads.
            const QByteArrayView part = QByteArrayView(p).first(n);
            PacketReader cut(part, 7), skipped(part, 7);
            QVERIFY2(!cut.name() && !cut.ok(), QByteArray::number(n));
            skipped.skipName();
            QVERIFY2(!skipped.ok(), QByteArray::number(n));
        }
        const auto refused = [](const QByteArray& bytes, qsizetype at) {
            PacketReader byName(bytes, at), bySkip(bytes, at);
            bySkip.skipName();
            return !byName.name() && !bySkip.ok();
        };
        QVERIFY(refused(QByteArray("\xC0\x00", 2), 0));     // points at itself
        QVERIFY(refused(QByteArray("\xC0\x02\x00", 3), 0)); // points ahead
        // Loops back to its start: skipName() does not follow a pointer that
        // points backwards, as the NetBIOS reader never did.
        QVERIFY(!PacketReader(QByteArray("\x01"
                                         "a"
                                         "\xC0\x00",
                                         4))
                     .name());
        QVERIFY(refused(QByteArray("\x41"
                                   "a",
                                   2),
                        0)); // reserved label types
        QVERIFY(refused(QByteArray("\x81"
                                   "a",
                                   2),
                        0));
        QByteArray longName;
        for (int i = 0; i < 5; ++i)
            longName += char(63) + QByteArray(63, 'a');
        QVERIFY(refused(longName + '\0', 0)); // over 255 bytes
        // A chain of backward pointers: 32 are followed, a 33rd is one too many.
        // Pointer k sits at 1 + 2k and points at pointer k - 1; pointer 0 at the root.
        QByteArray chain("\x00", 1);
        for (int k = 0; k < 33; ++k) {
            const char previous = char(k == 0 ? 0 : chain.size() - 2);
            chain.append(char(0xC0)).append(previous);
        }
        QVERIFY(PacketReader(chain, 1 + 2 * 31).name());
        QVERIFY(!PacketReader(chain, 1 + 2 * 32).name());
        // A dot or a control byte inside a label: skipped, but never a name.
        const QByteArray dottedBytes("\x03"
                                     "a.b"
                                     "\x00",
                                     5);
        PacketReader dotted(dottedBytes), skipDotted = dotted;
        QVERIFY(!dotted.name());
        skipDotted.skipName();
        QVERIFY(skipDotted.ok());
        // Fixed fields past the end fail and stay failed.
        const QByteArray three("\x01\x02\x03", 3);
        PacketReader fields(three);
        QCOMPARE(fields.u16(), std::uint16_t{0x0102});
        QCOMPARE(fields.u16(), std::uint16_t{0});
        QVERIFY(!fields.ok());
        QCOMPARE(fields.u8(), std::uint8_t{0});
    }
};

QTEST_GUILESS_MAIN(TestLanWire)
#include "test_lanwire.moc"
