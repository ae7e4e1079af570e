#include "core/gbk.h"
#include "history/history.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace zeph;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void entryKindsByteForByte()
    {
        History h;
        h.initialise();
        const QByteArray banner = h.text();
        QVERIFY(!banner.endsWith("\r\n"));
        QCOMPARE(banner.count("\r\n"), 1);
        QVERIFY(banner.startsWith(G(u"★★★欢迎使用局域网即时通信系统★★★\r\n★★★作者：")));

        h.appendNotice("ok");
        h.appendError("");
        h.appendLine("");
        h.appendSeparator();
        h.appendRaw("raw");
        QCOMPARE(h.text(), banner + "\r\n\xA1\xEF\xA1\xEF\xA1\xEFok\xA1\xEF\xA1\xEF\xA1\xEF" +
                               "\r\n\xA1\xC1\xA1\xC1\xA1\xC1\xA1\xC1\xA1\xC1\xA1\xC1" + "\r\n" +
                               "\r\n" + QByteArray(56, '-') + "raw");
    }

    void appendSignalsCarryEachEntryWhole()
    {
        History h;
        QSignalSpy spy(&h, &History::appended);
        h.appendError(G(u"信息发送错误！"));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toByteArray(), "\r\n" + G(u"×××信息发送错误！×××"));
    }

    void clearWithAndWithoutScan()
    {
        History h;
        h.initialise();
        h.appendNotice("x");
        h.clear(false);
        QCOMPARE(h.text(), History::banner() + "\r\n");
        h.appendNotice("next"); // line 3 stays empty, the entry starts on line 4
        QCOMPARE(h.text().split('\n').size(), 4);

        h.clear(true);
        QCOMPARE(h.text(), History::banner() + "\r\n" + G(u"正在刷新计算机列表，请稍候……"));
    }

    void saveByteForByte()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("h.txt");
        History h;
        h.initialise();
        h.appendLine(QByteArray("\xFF\x81|\xC4", 4)); // not GBK: must come out unchanged
        const QByteArray before = h.text();
        QVERIFY(h.save(path));
        QCOMPARE(readAll(path), before);
        QVERIFY(h.text().endsWith(G(u"★★★保存文件完毕。★★★")));

        // Saving twice: the second file holds the first save's notice.
        QVERIFY(h.save(path));
        QCOMPARE(readAll(path), before + "\r\n" + G(u"★★★保存文件完毕。★★★"));
    }

    void shortHistoryOverLongerFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("h.txt");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(100000, 'x'));
        }
        History h;
        h.initialise();
        QVERIFY(h.save(path));
        QCOMPARE(readAll(path), History::banner());
    }

    void failedSaveKeepsTheOldFile()
    {
        if (geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        const QString path = dir.filePath("h.txt");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old content");
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        History h;
        h.initialise();
        QVERIFY(!h.save(path));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readAll(path), QByteArray("old content"));
        QVERIFY(h.text().endsWith(G(u"×××保存文件错误！×××")));
    }

    void saveIntoMissingFolderFails()
    {
        QTemporaryDir dir;
        History h;
        h.initialise();
        QVERIFY(!h.save(dir.filePath("no/such/folder/h.txt")));
        QVERIFY(h.text().endsWith(G(u"×××保存文件错误！×××")));
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"
