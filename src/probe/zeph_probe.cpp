// zeph-probe: sends ICMP echo requests for the scan when the program itself may
// not open an ICMP socket. Installed with cap_net_raw in its permitted and
// effective sets; it opens its one socket first and then gives up every
// capability for good, so the rest of its life it can do nothing but use that
// socket. It talks only over its standard input and output, one line each way:
//
//   at start it writes   "ok datagram" | "ok raw" | "fail"
//   request              "<dotted IPv4 address> <timeout ms>\n"
//   answer               "<round-trip ms>\n", or "-1\n" (no reply, bad request)
//
// It refuses unicast-looking texts that are not a dotted quad, multicast and
// broadcast destinations, clamps the timeout to 10 s, keeps at least 1 ms
// between two requests, and ends when its input closes.

#include "platform/icmpecho.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kMaxTimeoutMs = 10000;

bool dropAllCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capset, &header, data) != 0)
        return false;
    // No exec from here on can bring a capability back.
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool writeAll(const char* text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, text, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text += n;
        left -= std::size_t(n);
    }
    return true;
}

// One line from stdin without stdio buffering; a line too long for the buffer
// comes back empty, which is not a valid request.
int readLine(char* line, std::size_t size)
{
    std::size_t used = 0;
    bool tooLong = false;
    for (;;) {
        char c;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        if (c == '\n') {
            line[tooLong ? 0 : used] = '\0';
            return tooLong ? 0 : int(used);
        }
        if (used + 1 < size)
            line[used++] = c;
        else
            tooLong = true;
    }
}

int answer(zeph::icmp::EchoSocket& socket, char* line)
{
    char* space = std::strchr(line, ' ');
    if (!space)
        return -1;
    *space = '\0';
    in_addr dest{};
    if (!zeph::icmp::parseDotted(line, &dest) || !zeph::icmp::isProbeable(dest))
        return -1;
    char* end = nullptr;
    errno = 0;
    const long timeout = std::strtol(space + 1, &end, 10);
    if (errno != 0 || end == space + 1 || *end != '\0' || timeout < 0)
        return -1;
    return socket.probe(dest, timeout > kMaxTimeoutMs ? kMaxTimeoutMs : int(timeout));
}

} // namespace

int main()
{
    ::signal(SIGPIPE, SIG_IGN);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM, 0, 0, 0);

    zeph::icmp::EchoSocket socket;
    const bool opened = socket.open(true);
    // Also when nothing could be opened: whatever we were given goes now.
    if (!dropAllCapabilities()) {
        writeAll("fail\n");
        return 1;
    }
    if (!opened) {
        writeAll("fail\n");
        return 1;
    }
    if (!writeAll(socket.kind() == zeph::icmp::SocketKind::Raw ? "ok raw\n" : "ok datagram\n"))
        return 1;

    char line[64];
    // At most one request a millisecond, whoever runs us.
    constexpr auto kFloor = std::chrono::milliseconds(1);
    auto last = std::chrono::steady_clock::time_point{};
    while (readLine(line, sizeof line) >= 0) {
        const auto since = std::chrono::steady_clock::now() - last;
        if (since < kFloor)
            std::this_thread::sleep_for(kFloor - since);
        last = std::chrono::steady_clock::now();
        char reply[16];
        std::snprintf(reply, sizeof reply, "%d\n", answer(socket, line));
        if (!writeAll(reply))
            return 1;
    }
    return 0;
}
