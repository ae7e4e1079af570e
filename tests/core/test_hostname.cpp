// The one rule for what counts as a computer's name: a name that reads as an
// address, or that could pass for one or for another name, is none.

#include "core/gbk.h"
#include "core/hostname.h"

#include <QTest>

using namespace zeph;

class TestHostname : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void names_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("isName");
        const auto row = [](const char* what, const QByteArray& text, bool isName) {
            QTest::newRow(what) << text << isName;
        };
        row("ASCII", "PC-B", true);
        row("blank inside", "my pc", true);
        row("Chinese", G(u"中文机"), true);
        row("full-width brackets", G(u"财务（一）"), true);
        row("CJK brackets and dash", G(u"【张三】—前台"), true);
        row("dotted quad", "10.0.0.1", false);
        row("hex", "0x0a000009", false);
        row("address then text", "10.0.0.1 x", false);
        row("trailing blank", "192.168.1.1 ", false);
        row("leading blank", " 192.168.1.1", false);
        row("blank at the end of a name", "PC-B ", false);
        row("control byte", "pc\x01", false);
        row("full-width dots", G(u"10．0．0．1"), false);
        row("ideographic full stops", G(u"10。0。0。1"), false);
        row("middle dots", G(u"10·0·0·1"), false);
        row("full-width digits", G(u"１０.0.0.1"), false);
        row("circled digit", G(u"PC①"), false);
        row("full-width letters", G(u"ＰＣ－Ｂ"), false);
        row("Cyrillic look-alike", G(u"РС-В"), false);
        row("Greek look-alike", G(u"ΑΒ"), false);
        row("accented Latin", G(u"pc-é"), false);
        row("ideographic space", G(u"中文机　"), false);
        row("no GBK character", "PC\xFF", false);
        row("a lone lead byte", "PC\xA1|", false);
        row("empty", "", false);
    }
    void names()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, isName);
        QCOMPARE(hostname::isHostName(text), isName);
    }
};

QTEST_GUILESS_MAIN(TestHostname)
#include "test_hostname.moc"
