#include "platform/process/childprocess.h"

#include "platform/process/spawn.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zeph::platform {
namespace {

// A child that stops reading early gives an error here, not SIGPIPE; its
// output and exit status tell the rest.
void writeAll(int fd, const QByteArray& input)
{
    qsizetype written = 0;
    while (written < input.size()) {
        const ssize_t n =
            ::send(fd, input.constData() + written, size_t(input.size() - written), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += n;
    }
}

// Reads until the end of the output or the deadline.
QByteArray readUntil(int fd, std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    QByteArray output;
    for (;;) {
        const auto remaining = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (remaining <= 0)
            return output;
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, int(remaining));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return output;
        char buf[4096];
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return output; // end of output: the child is exiting
        output.append(buf, got);
    }
}

} // namespace

ChildOutcome runChild(const ChildCommand& command, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    ChildOutcome o;
    auto in = makeSocketPair(); // ours: first; the child's stdin: second
    auto out = makePipe();
    if (!in || !out)
        return o;
    SpawnRequest request;
    request.program = command.program;
    request.arguments = command.arguments;
    request.environment = command.environment;
    request.stdinFd = in->second.get();
    request.stdoutFd = request.stderrFd = out->second.get();
    const auto pid = spawn(request);
    if (!pid)
        return o;
    o.started = true;
    in->second.reset();
    out->second.reset();

    writeAll(in->first.get(), command.input);
    in->first.reset(); // the end of its input
    o.output = readUntil(out->first.get(), deadline);
    if (const auto code = waitForExit(*pid, deadline))
        o.exitCode = *code;
    return o;
}

} // namespace zeph::platform
