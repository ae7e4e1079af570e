#include "platform/spawn.h"

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
    const QByteArray& argv0 = request.argv0.isEmpty() ? request.program : request.argv0;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(argv0.constData()));
    for (const QByteArray& a : request.arguments)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    char* noEnvironment[] = {nullptr};

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
    char** envp = request.emptyEnvironment ? noEnvironment : environ;
    const int rc = request.searchPath ? ::posix_spawnp(&pid, request.program.constData(), &actions,
                                                       nullptr, argv.data(), envp)
                                      : ::posix_spawn(&pid, request.program.constData(), &actions,
                                                      nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
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
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace zeph::platform
