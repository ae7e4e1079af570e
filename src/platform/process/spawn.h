#pragma once
// Child programs without a shell: byte-exact arguments (a GBK name stays
// GBK), the standard streams the caller chooses, no other descriptor
// inherited.

#include "platform/uniquefd.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <optional>
#include <sys/types.h>

namespace zeph::platform {

// Close-on-exec descriptor pairs. A pipe: first reads, second writes. A
// socket pair (AF_UNIX stream) for talking both ways, or for writing to a
// child that may have gone (MSG_NOSIGNAL gives an error, not SIGPIPE).
struct FdPair {
    UniqueFd first;
    UniqueFd second;
};
std::optional<FdPair> makePipe();
std::optional<FdPair> makeSocketPair();

struct SpawnRequest {
    QByteArray program;            // an absolute path: nothing is looked up
    QList<QByteArray> arguments;   // after argv[0]
    QByteArray argv0;              // empty: the program itself
    bool emptyEnvironment = false; // nothing of ours reaches a privileged helper
    QList<QByteArray> environment; // "NAME=value": when not empty, all the child gets
    int stdinFd = -1;              // -1: inherited
    int stdoutFd = -1;
    int stderrFd = -1;
};

// The child's pid; nullopt when it could not be started (logged). The child
// starts with no signal blocked and every signal at its default action.
std::optional<pid_t> spawn(const SpawnRequest& request);

// Waits until the child exits or the deadline passes; a child still running
// then is killed. Its exit code when it exited by itself.
std::optional<int> waitForExit(pid_t pid, std::chrono::steady_clock::time_point deadline);

// Asks the child to end (SIGTERM) and reaps it; one still running after
// kTerminateGrace is killed.
inline constexpr std::chrono::milliseconds kTerminateGrace{500};
void terminateChild(pid_t pid);

// Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed, so that
// no pipe or socket opened later lands there and is written to as a stream.
// First thing in main(). False when one could not be filled.
bool fillStandardStreams();

} // namespace zeph::platform
