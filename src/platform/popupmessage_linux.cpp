#include "platform/popupmessage.h"

#include "core/gbk.h"
#include "core/logging.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zeph::platform {
namespace {

// smbclient reads the message in its "unix charset" and converts it to the
// "dos charset" in chunks of 127 bytes. With both set to code page 936 our GBK
// bytes go through untouched; a UTF-8 stream would be cut inside characters at
// the chunk borders and arrive garbled. The target name goes on the command line
// in the same charset, as raw GBK bytes, which is why the tool is started with
// posix_spawn (byte arguments) rather than QProcess (UTF-8 arguments).
constexpr const char* kUnixCharset = "--option=unix charset=CP936";
constexpr const char* kDosCharset = "--option=dos charset=CP936";

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// smbclient turns every LF into CR LF itself; CR LF from us would arrive as
// CR CR LF.
QByteArray toToolLineBreaks(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out.append(text[i]);
    }
    return out;
}

struct Outcome {
    bool started = false;
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
};

// Runs program with args (raw bytes), input on its standard input, standard
// output and error merged into one pipe; ends it once the deadline passes.
Outcome run(const QByteArray& program, const QList<QByteArray>& args, const QByteArray& input,
            QDeadlineTimer deadline)
{
    Outcome o;
    int inPair[2];
    int outPipe[2];
    // A socket for the input: writing to a tool that already exited gives an
    // error (MSG_NOSIGNAL) instead of killing us with SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inPair) != 0)
        return o;
    Fd inOurs(inPair[0]), inTheirs(inPair[1]);
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return o;
    Fd outOurs(outPipe[0]), outTheirs(outPipe[1]);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.constData()));
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inTheirs.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outTheirs.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outTheirs.get(), STDERR_FILENO);
    pid_t pid = -1;
    const int rc =
        ::posix_spawnp(&pid, program.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        qCWarning(lcPlatform, "cannot start %s: %s", program.constData(), std::strerror(rc));
        return o;
    }
    o.started = true;
    inTheirs.reset();
    outTheirs.reset();

    qsizetype written = 0;
    while (written < input.size()) {
        const ssize_t n = ::send(inOurs.get(), input.constData() + written,
                                 size_t(input.size() - written), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // the tool stopped reading; its output and exit status tell the rest
        written += n;
    }
    inOurs.reset(); // end of the message

    for (;;) {
        pollfd p{outOurs.get(), POLLIN, 0};
        const int remaining = int(deadline.remainingTime());
        if (remaining == 0)
            break;
        const int n = ::poll(&p, 1, remaining);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        char buf[4096];
        const ssize_t got = ::read(outOurs.get(), buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // end of output: the tool is exiting
        o.output.append(buf, got);
    }

    int status = 0;
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            o.finished = WIFEXITED(status);
            o.exitCode = o.finished ? WEXITSTATUS(status) : -1;
            break;
        }
        if (w < 0 && errno != EINTR)
            break;
        if (deadline.hasExpired()) {
            qCWarning(lcPlatform, "%s did not finish in time; ending it", program.constData());
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        if (w == 0)
            QThread::msleep(5);
    }
    return o;
}

} // namespace

bool popupMessageAvailable()
{
    return !QStandardPaths::findExecutable(PopupOptions{}.program).isEmpty();
}

bool popupOutputReportsError(QByteArrayView output)
{
    static const QByteArray status = "NT_STATUS_";
    for (qsizetype at = output.indexOf(status); at >= 0; at = output.indexOf(status, at + 1)) {
        const QByteArrayView rest = output.sliced(at + status.size());
        const bool ok =
            rest.startsWith("OK") &&
            (rest.size() == 2 || !(QChar::isLetterOrNumber(uchar(rest[2])) || rest[2] == '_'));
        if (!ok)
            return true;
    }
    const QByteArray mark = G(u"错");
    for (qsizetype i = 0; i < output.size(); i += gbk::charLength(output, i)) {
        if (output.sliced(i).startsWith(mark))
            return true;
    }
    return false;
}

PopupResult sendPopupMessage(QByteArrayView target, QByteArrayView address, QByteArrayView text,
                             const PopupOptions& options)
{
    PopupResult result;
    if (target.isEmpty() || target.contains('\0') || address.contains('\0') ||
        text.contains('\0')) {
        qCWarning(lcPlatform, "pop-up message refused: empty target or a zero byte");
        return result;
    }
    const QByteArray input = toToolLineBreaks(text);
    if (input.size() + input.count('\n') > kMaxPopupTextBytes) {
        qCWarning(lcPlatform, "pop-up message refused: %lld bytes, the tool passes at most %lld",
                  qlonglong(input.size() + input.count('\n')), qlonglong(kMaxPopupTextBytes));
        return result;
    }

    QList<QByteArray> args;
    for (const QString& extra : options.extraArguments)
        args.append(QFile::encodeName(extra));
    args.append(kUnixCharset);
    args.append(kDosCharset);
    // One argument each: a target that begins with "-" stays a name.
    args.append("--message=" + target.toByteArray());
    if (!address.isEmpty())
        args.append("--ip-address=" + address.toByteArray());

    const Outcome o =
        run(QFile::encodeName(options.program), args, input, QDeadlineTimer(options.timeoutMs));
    result.output = o.output;
    result.delivered = o.started && o.finished && o.exitCode == 0 && !o.output.isEmpty() &&
                       !popupOutputReportsError(o.output);
    if (!result.delivered)
        qCInfo(lcPlatform) << "pop-up message to" << target << "not delivered; exit" << o.exitCode
                           << "output" << o.output;
    return result;
}

} // namespace zeph::platform
