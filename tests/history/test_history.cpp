#include "core/gbk.h"
#include "history/history.h"
#include "peers.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <linux/magic.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

using namespace zeph;
using zeph::test::SpillPeer;

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Takes the effective user id of "nobody" while it lives (only as root).
struct AsOrdinaryUser {
    uid_t was = geteuid();
    AsOrdinaryUser()
    {
        if (was == 0 && seteuid(65534) != 0)
            qFatal("seteuid failed");
    }
    ~AsOrdinaryUser()
    {
        if (was == 0 && seteuid(0) != 0)
            qFatal("seteuid back failed");
    }
};

// Files written while it lives cannot grow past the limit.
struct FileSizeLimit {
    rlimit was{};
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        getrlimit(RLIMIT_FSIZE, &was);
        const rlimit limit{bytes, was.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &was); }
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A tmpfs of size bytes on folder, in this process's own mount namespace.
bool mountTmpfs(const QString& folder, qint64 size)
{
    const QByteArray options = "size=" + QByteArray::number(size) + ",mode=0700";
    return mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) ==
           0;
}

// Sets an environment variable while it lives.
struct Env {
    const char* name;
    QByteArray was;
    Env(const char* n, const QString& value) : name(n), was(qgetenv(n))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~Env() { qputenv(name, was); }
};

// Appends numbered entries of about 1 KiB up to bytes; whole gets each one.
void flood(History& h, QByteArray& whole, qsizetype bytes)
{
    for (int i = 0; whole.size() < bytes; ++i) {
        const QByteArray entry =
            QByteArray::number(i).rightJustified(8, '0') + QByteArray(1000, 'x');
        h.appendLine(entry);
        whole += "\r\n" + entry;
        QVERIFY(h.text().size() <= 64 * 1024 + 2048);
    }
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
        // An unwritable folder. Root writes anywhere, so the test takes the
        // rights of an ordinary user for the save itself.
        QTemporaryDir dir;
        const QString path = dir.filePath("h.txt");
        writeFile(path, "old content");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                              QFile::ExeOther);
        History h;
        h.initialise();
        bool saved = true;
        {
            const AsOrdinaryUser user;
            saved = h.save(path);
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!saved);
        QCOMPARE(readAll(path), QByteArray("old content"));
        QVERIFY(h.text().endsWith(G(u"×××保存文件错误！×××")));
    }

    void saveFailingPartWayKeepsTheOldFile()
    {
        // The disk fills up in the middle of the write: a file-size limit makes
        // the write fail after its first kilobyte, for root as for anyone.
        QTemporaryDir dir;
        const QString path = dir.filePath("h.txt");
        const QByteArray old(5000, 'o');
        writeFile(path, old);
        History h;
        h.initialise();
        h.appendLine(QByteArray(20000, 'x'));
        bool saved = true;
        {
            const FileSizeLimit limit(1024);
            saved = h.save(path);
        }
        QVERIFY(!saved);
        QCOMPARE(readAll(path), old);
        QVERIFY(h.text().endsWith(G(u"×××保存文件错误！×××")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"h.txt"});
    }

    void olderEntriesMoveToAPrivateFileAndAreSavedInOrder()
    {
        constexpr qsizetype kLimit = 4096;
        QTemporaryDir dir;
        const QString path = dir.filePath("h.txt");
        History h;
        h.setHeldLimit(kLimit);
        h.initialise();
        QByteArray whole = h.text();
        for (int i = 0; i < 2000; ++i) {
            const QByteArray entry = "entry " + QByteArray::number(i);
            h.appendLine(entry);
            whole += "\r\n" + entry;
            QVERIFY(h.text().size() <= kLimit);
        }
        QVERIFY(h.spilledSize() > 0);
        QVERIFY(h.text().startsWith("\r\nentry ")); // cut where an entry starts
        QCOMPARE(h.spilledSize() + h.text().size(), whole.size());

        // Owner only, and no name anywhere: gone with the process.
        struct stat st {};
        QCOMPARE(fstat(SpillPeer::descriptor(h.spill()), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
        QCOMPARE(st.st_nlink, nlink_t(0));
        QCOMPARE(st.st_uid, geteuid());

        QVERIFY(h.save(path));
        QCOMPARE(readAll(path), whole);

        // Clearing empties the file as well.
        h.clear(false);
        QCOMPARE(h.spilledSize(), 0);
        QCOMPARE(fstat(SpillPeer::descriptor(h.spill()), &st), 0);
        QCOMPARE(st.st_size, off_t(0));
        QVERIFY(h.save(path));
        QCOMPARE(readAll(path), History::banner() + "\r\n");
    }

    // A flood on a machine whose temporary folder is a small tmpfs: the spill
    // goes to the cache folder instead, stays within its bound, and when the
    // bound is reached, or the file cannot be written, the oldest text goes
    // at once with one entry that says how much; memory stays bounded and a
    // save holds every entry that was kept, in order.
    void floodOnASmallMemoryTempFolder()
    {
        if (geteuid() != 0)
            QSKIP("needs root for a mount namespace");
        QVERIFY(unshare(CLONE_NEWNS) == 0);
        QVERIFY(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
        QTemporaryDir mounts;
        const QString temp = mounts.filePath("tmp"), smallCache = mounts.filePath("cache");
        QVERIFY(QDir().mkpath(temp) && QDir().mkpath(smallCache));
        QVERIFY(mountTmpfs(temp, 4 << 20) && mountTmpfs(smallCache, 4 << 20));
        const Env tmpdir("TMPDIR", temp);
        QTemporaryDir diskCache(qEnvironmentVariable("ZEPH_BINARY_DIR") + "/spill-XXXXXX");
        struct statfs fs {};
        QVERIFY(statfs(QFile::encodeName(diskCache.path()).constData(), &fs) == 0);
        QVERIFY2(fs.f_type != TMPFS_MAGIC, "the build folder is in memory");
        {
            const Env cache("XDG_CACHE_HOME", diskCache.path());
            History h;
            h.setHeldLimit(64 * 1024);
            h.initialise();
            QByteArray whole = h.text();
            flood(h, whole, 1 << 20);
            struct stat file {
            }, folder{};
            QCOMPARE(fstat(SpillPeer::descriptor(h.spill()), &file), 0);
            QCOMPARE(stat(QFile::encodeName(diskCache.path()).constData(), &folder), 0);
            QCOMPARE(file.st_dev, folder.st_dev); // not in memory
            QCOMPARE(file.st_size, off_t(h.spilledSize()));
        }
        const QString saved = diskCache.filePath("h.txt");
        {
            // The cache is a 4 MiB tmpfs too: the bound is a quarter, 1 MiB.
            const Env cache("XDG_CACHE_HOME", smallCache);
            History h;
            h.setHeldLimit(64 * 1024);
            h.initialise();
            QByteArray whole = h.text();
            flood(h, whole, (1 << 20) + 256 * 1024);
            QCOMPARE(h.spill().bound(), qint64(1 << 20));
            QVERIFY(h.spilledSize() <= h.spill().bound());
            QVERIFY(h.save(saved));
            QByteArray file = readAll(saved);
            const QByteArray head = "\r\n" + G(u"×××信息历史过多，已删除最早的");
            const QByteArray tail = G(u"字节：暂存文件已达上限。×××");
            const qsizetype at = file.indexOf(head);
            const qsizetype end = file.indexOf(tail, at);
            QVERIFY2(at > 0 && end > at, file.right(200));
            QCOMPARE(file.count(G(u"已删除最早的")), 1);
            const qsizetype dropped =
                file.mid(at + head.size(), end - at - head.size()).toLongLong();
            QVERIFY(dropped > 900 * 1024);
            file.remove(at, end + tail.size() - at);
            QCOMPARE(file, whole.mid(dropped));

            // The disk fills up: the file is dropped and not tried again,
            // and memory alone stays bounded.
            const FileSizeLimit limit(rlim_t(h.spilledSize()) + 4096);
            flood(h, whole, whole.size() + 256 * 1024);
            QVERIFY(h.text().contains(G(u"字节：无法写入暂存文件。×××")));
            QCOMPARE(h.spilledSize(), 0);
        }
        QCOMPARE(umount(QFile::encodeName(temp).constData()), 0);
        QCOMPARE(umount(QFile::encodeName(smallCache).constData()), 0);
    }

    void saveIntoMissingFolderFails()
    {
        QTemporaryDir dir;
        History h;
        h.initialise();
        QVERIFY(!h.save(dir.filePath("no/such/folder/h.txt")));
        QVERIFY(h.text().endsWith(G(u"×××保存文件错误！×××")));
    }

    // A link that another user planted in a sticky folder everyone may write
    // (a /tmp), pointing at one of this user's files: saving to it is refused
    // and the file stays as it was. A link of the user's own there is
    // followed, as before.
    void saveRefusesALinkAnotherUserPlanted()
    {
        if (geteuid() != 0)
            QSKIP("planting a link as another user needs root");
        QTemporaryDir home;
        const QString own = home.filePath("bashrc");
        writeFile(own, "export PATH\n");
        QTemporaryDir shared;
        QCOMPARE(chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
        const QString planted = shared.filePath("log.txt");
        QVERIFY(QFile::link(own, planted));
        QCOMPARE(lchown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        History h;
        h.initialise();
        QVERIFY(!h.save(planted));
        QCOMPARE(readAll(own), QByteArray("export PATH\n"));
        QVERIFY(h.text().endsWith(G(u"×××保存文件错误！×××")));

        const QString mine = shared.filePath("mine.txt");
        QVERIFY(QFile::link(own, mine));
        QVERIFY(h.save(mine));
        QVERIFY(readAll(own).startsWith(History::banner()));
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"
