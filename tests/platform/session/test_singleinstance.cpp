// The single-instance marker's folder when the session gives no runtime folder:
// a folder in /tmp that another user made first is never used. Runs as root in
// a private mount namespace with a /tmp of its own, so the machine's /tmp and
// other runs are untouched.

#include "platform/session/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using zeph::platform::SingleInstance;

namespace {

constexpr unsigned kNobody = 65534;

bool makeFolder(const QString& path, mode_t mode, unsigned owner)
{
    const QByteArray p = QFile::encodeName(path);
    return ::mkdir(p.constData(), mode) == 0 && ::chmod(p.constData(), mode) == 0 &&
           ::chown(p.constData(), owner, owner) == 0;
}

// Another local user, as a process of its own: makes folder (world-writable)
// and a marker file in it, holds a lock on the file and keeps it until
// release() or destruction.
class OtherUser {
public:
    OtherUser(const QString& folder, const QString& file)
    {
        int ready[2];
        int done[2];
        if (pipe(ready) != 0 || pipe(done) != 0)
            return;
        const QByteArray dir = QFile::encodeName(folder);
        const QByteArray lock = QFile::encodeName(folder + u'/' + file);
        m_pid = fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(done[1]);
            if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(1);
            umask(0);
            if (::mkdir(dir.constData(), 0777) != 0)
                _exit(2);
            const int fd = ::open(lock.constData(), O_RDWR | O_CREAT, 0666);
            if (fd < 0 || flock(fd, LOCK_EX) != 0)
                _exit(3);
            const char ok = 1;
            if (write(ready[1], &ok, 1) != 1)
                _exit(4);
            char c;
            while (read(done[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        ::close(ready[1]);
        ::close(done[0]);
        m_done = done[1];
        char ok = 0;
        m_ready = m_pid > 0 && read(ready[0], &ok, 1) == 1 && ok == 1;
        ::close(ready[0]);
    }
    ~OtherUser() { release(); }
    bool ready() const { return m_ready; }
    void release()
    {
        if (m_done >= 0)
            ::close(m_done);
        m_done = -1;
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_done = -1;
    bool m_ready = false;
};

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
    QString m_ownTmpFolder;
    QString m_markerName;
    std::unique_ptr<QTemporaryDir> m_home;

private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("needs root: a private /tmp and files owned by another user");
        QCOMPARE(unshare(CLONE_NEWNS), 0);
        QCOMPARE(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        QCOMPARE(mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777"), 0);
        m_ownTmpFolder = QStringLiteral("/tmp/zeph-%1").arg(getuid());
        m_home = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/home-XXXXXX"));
        QVERIFY(m_home->isValid());
        qputenv("HOME", m_home->path().toUtf8());
        qunsetenv("XDG_CACHE_HOME");
        qputenv("DISPLAY", ":7");
        qunsetenv("WAYLAND_DISPLAY");
        // The marker's own name does not depend on its folder.
        qputenv("XDG_RUNTIME_DIR", m_home->path().toUtf8());
        m_markerName = QFileInfo(SingleInstance(QStringLiteral("zeph")).path()).fileName();
        QVERIFY(!m_markerName.isEmpty());
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void init() { QDir(m_ownTmpFolder).removeRecursively(); }

    void whatCountsAsPrivate()
    {
        QTemporaryDir base;
        const unsigned me = getuid();
        const QString mine = base.filePath(QStringLiteral("mine"));
        QVERIFY(makeFolder(mine, 0700, me));
        QVERIFY(SingleInstance::isPrivateFolder(mine, me));
        QVERIFY(!SingleInstance::isPrivateFolder(mine, kNobody));
        QCOMPARE(::chmod(QFile::encodeName(mine).constData(), 0755), 0);
        QVERIFY(SingleInstance::isPrivateFolder(mine, me)); // readable is fine
        for (mode_t lax : {0770, 0707, 0777, 01777}) {
            QCOMPARE(::chmod(QFile::encodeName(mine).constData(), lax), 0);
            QVERIFY2(!SingleInstance::isPrivateFolder(mine, me),
                     qPrintable(QString::number(lax, 8)));
        }
        const QString theirs = base.filePath(QStringLiteral("theirs"));
        QVERIFY(makeFolder(theirs, 0700, kNobody));
        QVERIFY(!SingleInstance::isPrivateFolder(theirs, me));
        QVERIFY(SingleInstance::isPrivateFolder(theirs, kNobody));

        QCOMPARE(::chmod(QFile::encodeName(mine).constData(), 0700), 0);
        const QString link = base.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(mine, link));
        QVERIFY(!SingleInstance::isPrivateFolder(link, me)); // a link, though to a private folder
        const QString file = base.filePath(QStringLiteral("file"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(!SingleInstance::isPrivateFolder(file, me));
        QVERIFY(!SingleInstance::isPrivateFolder(base.filePath(QStringLiteral("none")), me));
    }

    void madePrivateWhenMissingAndReused()
    {
        SingleInstance first(QStringLiteral("zeph"));
        QVERIFY(first.acquire());
        QCOMPARE(first.path(), m_ownTmpFolder + u'/' + m_markerName);
        QVERIFY(SingleInstance::isPrivateFolder(m_ownTmpFolder, getuid()));
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(m_ownTmpFolder).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
        SingleInstance second(QStringLiteral("zeph"));
        QVERIFY(!second.acquire());
    }

    void aFolderAnotherUserMadeFirstBlocksNothing()
    {
        // Made first by another user, world-writable, the marker file in it held.
        OtherUser other(m_ownTmpFolder, m_markerName);
        QVERIFY(other.ready());
        QCOMPARE(QFileInfo(m_ownTmpFolder).ownerId(), kNobody);

        SingleInstance first(QStringLiteral("zeph"));
        QVERIFY(first.acquire());
        QVERIFY(first.held());
        const QString cacheFolder = m_home->path() + QStringLiteral("/.cache/zeph");
        QCOMPARE(first.path(), cacheFolder + u'/' + m_markerName);
        QVERIFY(SingleInstance::isPrivateFolder(cacheFolder, getuid()));
        // The guard still works there.
        SingleInstance second(QStringLiteral("zeph"));
        QVERIFY(!second.acquire());
        first.release();
        QVERIFY(second.acquire());
    }

    void runtimeFolderIsUsedOnlyWhenPrivate()
    {
        QTemporaryDir base(QStringLiteral("/tmp/runtime-XXXXXX"));
        QVERIFY(base.isValid());
        const QString good = base.filePath(QStringLiteral("good"));
        QVERIFY(makeFolder(good, 0700, getuid()));
        const QString open = base.filePath(QStringLiteral("open"));
        QVERIFY(makeFolder(open, 0777, getuid()));
        const QString theirs = base.filePath(QStringLiteral("theirs"));
        QVERIFY(makeFolder(theirs, 0700, kNobody));
        const QString link = base.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(good, link));

        // The link first: the file made through it would be good's.
        const QList<std::pair<QString, bool>> cases = {
            {link, false}, {open, false}, {theirs, false}, {good, true}};
        for (const auto& [dir, used] : cases) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
            SingleInstance m(QStringLiteral("zeph"));
            QVERIFY(m.acquire());
            QVERIFY(m.held());
            QCOMPARE(m.path(), (used ? dir : m_ownTmpFolder) + u'/' + m_markerName);
            QCOMPARE(QFile::exists(dir + u'/' + m_markerName), used);
        }
        qunsetenv("XDG_RUNTIME_DIR");
    }

    void ownButOpenToOthersIsNotUsedEither()
    {
        QVERIFY(makeFolder(m_ownTmpFolder, 0777, getuid()));
        SingleInstance m(QStringLiteral("zeph"));
        QVERIFY(m.acquire());
        QVERIFY(!m.path().startsWith(m_ownTmpFolder));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
