#include "core/gbk.h"

#include <QRandomGenerator>
#include <QTest>

using namespace zeph;

class TestGbk : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void knownCharacters()
    {
        // The bytes the wire format and the history frames are made of.
        QCOMPARE(G(u"★"), QByteArray("\xA1\xEF"));
        QCOMPARE(G(u"×"), QByteArray("\xA1\xC1"));
        QCOMPARE(G(u"——"), QByteArray("\xA1\xAA\xA1\xAA"));
        QCOMPARE(G(u"|于"), QByteArray("\x7C\xD3\xDA"));
        QCOMPARE(G(u"你好"), QByteArray("\xC4\xE3\xBA\xC3"));
        QCOMPARE(G(u"……"), QByteArray("\xA1\xAD\xA1\xAD"));
        QCOMPARE(G(u"给您发送的信息："), QByteArray::fromHex("b8f8c4fab7a2cbcdb5c4d0c5cfa2a3ba"));
        QCOMPARE(gbk::toUnicode("\xC4\xE3\xBA\xC3"), QStringLiteral(u"你好"));
        QCOMPARE(gbk::toUnicode("\x80"), QStringLiteral(u"€"));
    }

    void unmappableBecomesQuestionMark()
    {
        QCOMPARE(G(u"a😀b"), QByteArray("a??b")); // a surrogate pair is two unmappable units
        QCOMPARE(G(u"\u0628"), QByteArray("?")); // Arabic: not in GBK
    }

    void charactersGbkCannotCarryAreNamed()
    {
        QCOMPARE(gbk::uncarried(u"午饭😀，😀"), QList<char32_t>{0x1F600});
        QCOMPARE(gbk::uncarried(u"안녕하세요"),
                 (QList<char32_t>{0xC548, 0xB155, 0xD558, 0xC138, 0xC694}));
        QCOMPARE(gbk::uncarried(u"𠮷"), QList<char32_t>{0x20BB7});
        // What GBK carries, the raw bytes of invalid GBK, a zero and '?' itself.
        const QString carried = gbk::toUnicode(QByteArray("ab\x00?\xFF\xC4\xE3\x80", 8));
        QCOMPARE(gbk::uncarried(carried), QList<char32_t>{});
        QCOMPARE(gbk::fromUnicode(carried), QByteArray("ab\x00?\xFF\xC4\xE3\x80", 8));
        const char16_t lone[] = {u'a', 0xD83D, u'b'};
        QCOMPARE(gbk::uncarried(QStringView(lone, 3)), QList<char32_t>{0xD83D});
    }

    void invalidBytesSurviveARoundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("lone lead at end") << QByteArray("abc\xC4");
        QTest::newRow("lead + control") << QByteArray("\xC4\x0A\xC4\xE3");
        QTest::newRow("0xFF") << QByteArray("\xFF\xFF");
        QTest::newRow("lead + 0x7F") << QByteArray("\x81\x7F");
        QTest::newRow("lead + 0xFF") << QByteArray("\xB0\xFF");
        QTest::newRow("zero bytes") << QByteArray("a\0\xC4\0b", 5);
        QTest::newRow("trail 0x7C") << QByteArray("\x81\x7C|");
    }
    void invalidBytesSurviveARoundTrip()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(gbk::fromUnicode(gbk::toUnicode(bytes)), bytes);
    }

    void lineBreaksConvert_data()
    {
        QTest::addColumn<QByteArray>("crLf");
        QTest::addColumn<QByteArray>("lf");
        QTest::newRow("pairs") << QByteArray("\r\na\r\n\r\nb") << QByteArray("\na\n\nb");
        QTest::newRow("lone CR stays") << QByteArray("a\rb\r") << QByteArray("a\rb\r");
        QTest::newRow("CR before a pair") << QByteArray("\r\r\n") << QByteArray("\r\n");
        QTest::newRow("zero byte") << QByteArray("a\0\r\n", 4) << QByteArray("a\0\n", 3);
        QTest::newRow("lone LF, none at all") << QByteArray("\nab") << QByteArray("\nab");
    }
    void lineBreaksConvert()
    {
        QFETCH(QByteArray, crLf);
        QFETCH(QByteArray, lf);
        QCOMPARE(gbk::crLfToLf(crLf), lf);
    }

    void randomBytesSurviveARoundTrip()
    {
        auto* rng = QRandomGenerator::global();
        for (int round = 0; round < 2000; ++round) {
            QByteArray bytes(rng->bounded(1, 64), Qt::Uninitialized);
            for (auto& b : bytes)
                b = static_cast<char>(rng->bounded(256));
            QCOMPARE(gbk::fromUnicode(gbk::toUnicode(bytes)), bytes);
        }
    }

    void everyDoubleByteCodeRoundTrips()
    {
        int mapped = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char pair[2] = {char(lead), char(trail)};
                const QByteArray bytes(pair, 2);
                const QString text = gbk::toUnicode(bytes);
                QCOMPARE(gbk::fromUnicode(text), bytes);
                mapped += text.size() == 1;
            }
        }
        QVERIFY2(mapped > 21000, qPrintable(QString::number(mapped))); // CP936 has ~21,800
    }
};

QTEST_APPLESS_MAIN(TestGbk)
#include "test_gbk.moc"
