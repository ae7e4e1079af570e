#include "core/gbk.h"
#include "messaging/messageformat.h"

#include <QTest>

using namespace zeph;
using Parts = QList<QByteArray>;

namespace {
QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}
} // namespace

class TestMessageFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wireBytesOfTheExampleMessage()
    {
        // Built by hand from the GBK code table, not from the codec under test.
        const QByteArray expected =
            QByteArray("|PC01|\xD3\xDA"
                       "2004\xC4\xEA"
                       "1\xD4\xC2"
                       "2\xC8\xD5"
                       "15\xCA\xB1"
                       "30\xB7\xD6"
                       "\xB8\xF8\xC4\xFA\xB7\xA2\xCB\xCD\xB5\xC4\xD0\xC5"
                       "\xCF\xA2\xA3\xBA"
                       "\r\n"
                       "\xC4\xE3\xBA\xC3"
                       "\xA1\xAA\xA1\xAA"
                       "*\xD4\xDA\xB4\xCB\xCA\xE4\xC8\xEB\xC7\xA9\xC3\xFB*");
        const QByteArray wire =
            message::compose("PC01", message::timestampText(at(2004, 1, 2, 15, 30, 0)),
                             message::directPhrase(), G(u"你好"), G(u"*在此输入签名*"));
        QCOMPARE(wire, expected);
        QCOMPARE(message::broadcastPhrase(),
                 QByteArray("\xB7\xA2\xB2\xBC\xB5\xC4\xB9\xE3\xB2\xA5\xD0\xC5\xCF\xA2\xA3\xBA"));
        QCOMPARE(message::directPhrase().size(), 16);
    }

    void composeKeepsEmptyFieldsAndContentAsIs()
    {
        // An empty host name gives two separators in a row; an empty signature
        // still gets its "——"; line breaks and blanks in the content stay.
        const QByteArray wire =
            message::compose("", "T", message::broadcastPhrase(), "  \r\n\r\n", "");
        QCOMPARE(wire,
                 "||" + G(u"于") + "T" + message::broadcastPhrase() + "\r\n  \r\n\r\n" + G(u"——"));
        QCOMPARE(message::split(wire).value(1), QByteArray());
    }

    void timestampForms_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("text");
        QTest::newRow("h m") << at(2004, 1, 2, 15, 30, 0) << QStringLiteral("2004年1月2日15时30分");
        QTest::newRow("h m s") << at(2004, 1, 2, 15, 30, 9)
                               << QStringLiteral("2004年1月2日15时30分9秒");
        QTest::newRow("9:05:00") << at(2023, 7, 8, 9, 5, 0) << QStringLiteral("2023年7月8日9时5分");
        QTest::newRow("9:00:00") << at(2023, 7, 8, 9, 0, 0) << QStringLiteral("2023年7月8日9时");
        QTest::newRow("9:00:07") << at(2023, 7, 8, 9, 0, 7)
                                 << QStringLiteral("2023年7月8日9时0分7秒");
        QTest::newRow("0:05:00") << at(2023, 7, 8, 0, 5, 0) << QStringLiteral("2023年7月8日0时5分");
        QTest::newRow("0:00:01") << at(2023, 7, 8, 0, 0, 1)
                                 << QStringLiteral("2023年7月8日0时0分1秒");
        QTest::newRow("midnight") << at(2023, 12, 31, 0, 0, 0) << QStringLiteral("2023年12月31日");
        QTest::newRow("midnight ms")
            << at(2024, 2, 29, 0, 0, 0, 999) << QStringLiteral("2024年2月29日");
        QTest::newRow("23:59:59") << at(1999, 10, 10, 23, 59, 59)
                                  << QStringLiteral("1999年10月10日23时59分59秒");
    }
    void timestampForms()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, text);
        QCOMPARE(message::timestampText(when), gbk::fromUnicode(text));
    }

    void split_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Parts>("parts");
        const QByteArray header = "|PC01|" + G(u"于2004年1月2日15时给您发送的信息：");
        QTest::newRow("well formed")
            << QByteArray(header + "\r\nhi") << Parts{"", "PC01", header.mid(6) + "\r\nhi"};
        QTest::newRow("third part ends at next |")
            << QByteArray(header + "\r\na|b") << Parts{"", "PC01", header.mid(6) + "\r\na"};
        QTest::newRow("abc|def") << QByteArray("abc|def") << Parts{"abc", "def"};
        QTest::newRow("name only") << QByteArray("|name") << Parts{"", "name"};
        QTest::newRow("lone | at end") << QByteArray("abc|") << Parts{"abc"};
        QTest::newRow("only |") << QByteArray("|") << Parts{""};
        QTest::newRow("two |") << QByteArray("||") << Parts{"", ""};
        QTest::newRow("only separators") << QByteArray("||||||") << Parts{"", "", ""};
        QTest::newRow("more than 3") << QByteArray("a|b|c|d|e") << Parts{"a", "b", "c"};
        QTest::newRow("empty") << QByteArray() << Parts{};
        QTest::newRow("no separator") << QByteArray("plain") << Parts{"plain"};
        // 0x81 0x7C is one GBK character: its trail byte is no separator.
        QTest::newRow("trail 0x7C in name")
            << QByteArray("|A\x81|B|rest") << Parts{"", "A\x81|B", "rest"};
        QTest::newRow("trail 0x7C in content") << QByteArray("x\xC4|y") << Parts{"x\xC4|y"};
        QTest::newRow("lone lead at end") << QByteArray("|ab\x81") << Parts{"", "ab\x81"};
        // 0x80 and 0xFF are single bytes, so the '|' after them still separates.
        QTest::newRow("0x80 then |") << QByteArray("|A\x80|B") << Parts{"", "A\x80", "B"};
        QTest::newRow("0xFF then |") << QByteArray("x\xFF|y") << Parts{"x\xFF", "y"};
        QTest::newRow("lead then |") << QByteArray("|\xC4\xE3|n") << Parts{"", "\xC4\xE3", "n"};
        QTest::newRow("control chars")
            << QByteArray("\x01|\r\n\t\x7F|") << Parts{"\x01", "\r\n\t\x7F"};
    }
    void split()
    {
        QFETCH(QByteArray, text);
        QFETCH(Parts, parts);
        QCOMPARE(message::split(text), parts);
    }

    // The sender is cut where the window shows the cut: glibc's code page
    // leaves A1 7C unassigned, so the decoder shows the lead byte alone and
    // the '|' after it separates; where the pair is a character (Windows
    // gives it a private-use one) both keep it whole.
    void splitCutsWhereTheDecoderDoes()
    {
        const QByteArray datagram = "|AB\xA1|CD|rest";
        Parts shown;
        for (const QString& part : gbk::toUnicode(datagram).split(u'|').first(3))
            shown << gbk::fromUnicode(part);
        QCOMPARE(message::split(datagram), shown);
#ifndef Q_OS_WIN
        QCOMPARE(message::split(datagram), (Parts{"", "AB\xA1", "CD"}));
#endif
    }

    void bytesToTextStopsAtFirstZero()
    {
        QCOMPARE(message::bytesToText(QByteArrayView("abc\0def", 7)), QByteArray("abc"));
        QCOMPARE(message::bytesToText(QByteArrayView("\0abc", 4)), QByteArray());
        QCOMPARE(message::bytesToText("no zero \xC4\xE3"), QByteArray("no zero \xC4\xE3"));
        QCOMPARE(message::bytesToText(QByteArrayView()), QByteArray());
        // A zero trail byte is still a zero byte: the text ends before it.
        QCOMPARE(message::bytesToText(QByteArrayView("|a\x81\0b", 5)), QByteArray("|a\x81"));
    }

    void portOnTheWire()
    {
        QCOMPARE(message::wirePort(message::kMessagePort), quint16(40027));
    }
};

QTEST_GUILESS_MAIN(TestMessageFormat)
#include "test_messageformat.moc"
