#include "platform/process/spawn.h"

#include "core/logging.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zeph::platform {

std::optional<FdPair> makePipe()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    return FdPair{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::optional<FdPair> makeSocketPair()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return std::nullopt;
    return FdPair{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::optional<pid_t> spawn(const SpawnRequest& request)
{
    // A relative path would name whatever sits in the working folder.
    if (!request.program.startsWith('/')) {
        qCWarning(lcPlatform, "not started: %s is no absolute path", request.program.constData());
        return std::nullopt;
    }
    const QByteArray& argv0 = request.argv0.isEmpty() ? request.program : request.argv0;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(argv0.constData()));
    for (const QByteArray& a : request.arguments)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    std::vector<char*> envp; // ours, the given entries, or none
    if (!request.emptyEnvironment) {
        for (char** e = environ; request.environment.isEmpty() && *e; ++e)
            envp.push_back(*e);
        for (const QByteArray& e : request.environment)
            envp.push_back(const_cast<char*>(e.constData()));
    }
    envp.push_back(nullptr);

    // A blocked or ignored signal (SIGPIPE, say) survives exec; the child gets
    // none of ours.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int streams[] = {request.stdinFd, request.stdoutFd, request.stderrFd};
    for (int target = 0; target < 3; ++target) {
        if (streams[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, streams[target], target);
    }
    // Whatever else is open here (the display, the message socket) is not the child's.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    pid_t pid = -1;
    const int rc =
        ::posix_spawn(&pid, request.program.constData(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        qCWarning(lcPlatform, "cannot start %s: %s", request.program.constData(),
                  std::strerror(rc));
        return std::nullopt;
    }
    return pid;
}

std::optional<int> waitForExit(pid_t pid, std::chrono::steady_clock::time_point deadline)
{
    int status = 0;
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid)
            return WIFEXITED(status) ? std::optional(WEXITSTATUS(status)) : std::nullopt;
        if (w < 0 && errno != EINTR)
            return std::nullopt;
        if (std::chrono::steady_clock::now() >= deadline) {
            qCWarning(lcPlatform, "child %d did not finish in time; ending it", int(pid));
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return std::nullopt;
        }
        if (w == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void terminateChild(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    waitForExit(pid, std::chrono::steady_clock::now() + kTerminateGrace);
}

bool fillStandardStreams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free descriptor is this one: the lower ones are open.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0)
                ::close(opened);
            return false;
        }
    }
    return true;
}

} // namespace zeph::platform
