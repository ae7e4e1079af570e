// Child processes start clean (signals, environment) and end within a bound;
// the program's own standard streams are never left closed.

#include "platform/process/spawn.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zeph;
using namespace zeph::platform;

namespace {

// Runs program with args, its standard output into a pipe; what it printed
// and whether it exited 0.
std::pair<QByteArray, bool> output(SpawnRequest request)
{
    auto out = makePipe();
    if (!out)
        return {};
    request.stdoutFd = out->second.get();
    const auto pid = spawn(request);
    out->second.reset();
    if (!pid)
        return {};
    QByteArray text;
    char buf[4096];
    for (ssize_t n; (n = ::read(out->first.get(), buf, sizeof buf)) > 0;)
        text.append(buf, n);
    const auto code =
        waitForExit(*pid, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    return {text, code == 0};
}

bool isDevNull(int fd)
{
    struct stat st {};
    struct stat null {};
    return ::fstat(fd, &st) == 0 && ::stat("/dev/null", &null) == 0 && S_ISCHR(st.st_mode) &&
           st.st_rdev == null.st_rdev;
}

} // namespace

class TestSpawn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void childGetsNoBlockedOrIgnoredSignal()
    {
        // What a GUI process may well have: a blocked signal and an ignored SIGPIPE.
        sigset_t block;
        sigset_t old;
        sigemptyset(&block);
        sigaddset(&block, SIGUSR1);
        QCOMPARE(::pthread_sigmask(SIG_BLOCK, &block, &old), 0);
        const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
        const auto oldInt = std::signal(SIGINT, SIG_IGN);

        SpawnRequest r;
        r.program = "/bin/grep";
        r.arguments = {"-E", "^Sig(Blk|Ign):", "/proc/self/status"};
        const auto [text, ok] = output(r);

        std::signal(SIGINT, oldInt);
        std::signal(SIGPIPE, oldPipe);
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
        QVERIFY(ok);
        const QList<QByteArray> lines = text.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QByteArray("SigBlk:\t0000000000000000"));
        // Signals 1..31; the C library keeps its own two (32, 33) ignored.
        QVERIFY(lines[1].startsWith("SigIgn:\t"));
        QCOMPARE(lines[1].mid(8).toULongLong(nullptr, 16) & 0x7FFFFFFFu, 0u);
    }

    void environmentIsOursOrExactlyTheGivenOne()
    {
        qputenv("ZEPH_SPAWN_TEST", "inherited");
        SpawnRequest r;
        r.program = "/usr/bin/env";
        QVERIFY(output(r).first.contains("ZEPH_SPAWN_TEST=inherited\n"));
        r.environment = {"A=1", "B=two words"};
        QCOMPARE(output(r).first, QByteArray("A=1\nB=two words\n"));
        r.environment.clear();
        r.emptyEnvironment = true;
        QCOMPARE(output(r), std::make_pair(QByteArray(), true));
        qunsetenv("ZEPH_SPAWN_TEST");
    }

    void onlyAnAbsolutePathIsStarted()
    {
        // A program of that name in the working folder is never the one run.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::copy(QStringLiteral("/usr/bin/true"), dir.filePath("tool")));
        const QString oldDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        SpawnRequest r;
        QList<bool> started;
        for (const QByteArray& program : {QByteArray("tool"), QByteArray("./tool")}) {
            r.program = program;
            started << spawn(r).has_value();
        }
        QVERIFY(QDir::setCurrent(oldDir));
        QCOMPARE(started, (QList<bool>{false, false}));
    }

    void childIgnoringTermIsKilledAfterTheGrace()
    {
        auto in = makePipe(); // held open: the child's read never ends by itself
        auto out = makePipe();
        QVERIFY(in && out);
        SpawnRequest r;
        r.program = "/bin/sh";
        r.arguments = {"-c", "trap '' TERM; echo ready; read x"};
        r.stdinFd = in->first.get();
        r.stdoutFd = out->second.get();
        const auto pid = spawn(r);
        QVERIFY(pid);
        out->second.reset();
        char c = 0;
        QCOMPARE(::read(out->first.get(), &c, 1), ssize_t(1)); // the trap is set

        QElapsedTimer t;
        t.start();
        terminateChild(*pid);
        QVERIFY2(t.elapsed() >= kTerminateGrace.count() - 50,
                 qPrintable(QString::number(t.elapsed())));
        QCOMPARE(::waitpid(*pid, nullptr, WNOHANG), -1); // reaped
        QCOMPARE(errno, ECHILD);
    }

    void closedStandardStreamsAreFilledWithDevNull()
    {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(STDIN_FILENO);
            ::close(STDOUT_FILENO);
            struct stat errBefore {};
            ::fstat(STDERR_FILENO, &errBefore);
            if (!fillStandardStreams())
                ::_exit(1);
            if (!isDevNull(STDIN_FILENO) || !isDevNull(STDOUT_FILENO))
                ::_exit(2);
            struct stat errAfter {};
            ::fstat(STDERR_FILENO, &errAfter);
            if (errAfter.st_ino != errBefore.st_ino) // an open one stays as it is
                ::_exit(3);
            auto p = makePipe(); // lands above the standard streams now
            ::_exit(p && p->first.get() > STDERR_FILENO ? 0 : 4);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_GUILESS_MAIN(TestSpawn)
#include "test_spawn.moc"
