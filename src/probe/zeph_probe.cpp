// zeph-probe: sends ICMP echo requests for the scan when the program itself may
// not open an ICMP socket, and ARP requests where it may open a packet socket.
// Installed with cap_net_raw in its permitted and effective sets; it opens its
// sockets first and then gives up every capability for good, so the rest of
// its life it can do nothing but use them: echo requests anywhere but
// multicast and broadcast, ARP requests only for addresses on the subnet of
// one of this host's Ethernet interfaces, with that interface's own addresses.
// It talks only over its standard input and output, in the lines of
// platform/icmp/probeprotocol.h. It holds at most a few hundred requests
// waiting for their turn, paces them as platform/icmp/requestpacer.h says, and
// sends each in the machine's turn, a lock every helper shares (SendTurn).

#include "platform/icmp/arp.h"
#include "platform/icmp/icmpecho.h"
#include "platform/icmp/probeprotocol.h"
#include "platform/icmp/requestpacer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <linux/capability.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using zeph::Ipv4Address;
constexpr std::size_t kMaxWaiting = 512;

struct Request {
    Ipv4Address address;
    bool arp = false;
};

bool dropAllCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capset, &header, data) != 0)
        return false;
    // No exec from here on can bring a capability back.
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool writeAll(std::string_view text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

// Splits what came in into requests; a line too long is dropped whole.
class Requests {
public:
    explicit Requests(bool arp) : m_arp(arp) {}

    // False at end of input. refused counts the lines not taken.
    bool read(std::deque<Request>& waiting, int& refused)
    {
        char buf[512];
        ssize_t n;
        do
            n = ::read(STDIN_FILENO, buf, sizeof buf);
        while (n < 0 && errno == EINTR);
        if (n <= 0)
            return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] != '\n') {
                if (m_line.size() < zeph::probe::kMaxLine)
                    m_line.push_back(buf[i]);
                else
                    m_tooLong = true;
                continue;
            }
            const auto dest = zeph::probe::parseLine(m_line);
            const auto arpDest = m_arp ? zeph::probe::parseArpRequestLine(m_line) : std::nullopt;
            if (!m_tooLong && dest && zeph::icmp::isProbeable(*dest) &&
                waiting.size() < kMaxWaiting)
                waiting.push_back({*dest, false});
            else if (!m_tooLong && arpDest && waiting.size() < kMaxWaiting)
                waiting.push_back({*arpDest, true});
            else
                ++refused;
            m_line.clear();
            m_tooLong = false;
        }
        return true;
    }

private:
    const bool m_arp;
    std::string m_line;
    bool m_tooLong = false;
};

// The machine's turn to send: every helper holds one lock while it sends and
// for the floor after, so the floor holds for all helpers together, however
// many any user starts. The lock is a file in /run/lock (else the temporary
// folder) that anyone may open for reading, which is all flock needs.
class SendTurn {
public:
    SendTurn()
    {
        for (const char* path : {"/run/lock/zeph-probe.lock", "/tmp/zeph-probe.lock"}) {
            m_fd = openLock(path);
            if (m_fd >= 0)
                return;
        }
    }

    // False while another helper holds the turn; true without a lock file,
    // as this helper's own pacing is then all there is.
    bool take() const { return m_fd < 0 || ::flock(m_fd, LOCK_EX | LOCK_NB) == 0; }
    // After a request: the floor passes before any helper sends again.
    void passOn() const
    {
        if (m_fd < 0)
            return;
        const timespec floor{0, std::chrono::nanoseconds(zeph::probe::kFloor).count()};
        ::clock_nanosleep(CLOCK_MONOTONIC, 0, &floor, nullptr);
        ::flock(m_fd, LOCK_UN);
    }

private:
    // Another user's file is opened as it is (a sticky folder refuses to
    // create over it); only a regular file counts, never a link.
    static int openLock(const char* path)
    {
        int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            fd = ::open(path, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0444);
        if (fd < 0 && errno == EEXIST)
            fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    int m_fd = -1; // open for the helper's life
};

bool reportReplies(zeph::icmp::EchoSocket& socket)
{
    std::string out;
    for (const Ipv4Address from : socket.readReplies())
        out += zeph::probe::line(from);
    return out.empty() || writeAll(out);
}

bool reportArpReplies(zeph::arp::Socket& socket)
{
    std::string out;
    for (const zeph::arp::Reply& r : socket.readReplies())
        out += zeph::probe::arpReplyLine(r.sender, r.linkAddress);
    return out.empty() || writeAll(out);
}

struct Sockets {
    zeph::icmp::EchoSocket echo;
    zeph::arp::Socket arp;
    bool arpOpened = false;
};

// Opens the sockets, then gives up every capability (also when nothing could
// be opened); the hello line, or nothing when the helper must end.
std::optional<std::string_view> openAndDrop(Sockets& s)
{
    const bool opened = s.echo.open(true);
    s.arpOpened = s.echo.kind() == zeph::icmp::SocketKind::Raw && s.arp.open();
    if (!dropAllCapabilities() || !opened)
        return std::nullopt;
    if (s.arpOpened)
        return zeph::probe::kHelloRawArp;
    return s.echo.kind() == zeph::icmp::SocketKind::Raw ? zeph::probe::kHelloRaw
                                                        : zeph::probe::kHelloDatagram;
}

// The requests waiting, and when the next may leave.
class Outbox {
public:
    explicit Outbox(Sockets& s) : m_s(s) {}

    std::deque<Request> waiting;

    // When the front request may leave; nothing when none waits or the helper
    // has sent all it ever may.
    std::optional<Clock::time_point> due() const
    {
        if (waiting.empty())
            return std::nullopt;
        std::optional<Clock::time_point> at = m_pacer.earliest(waiting.front().address);
        return at ? std::max(*at, m_notBefore) : at;
    }
    bool exhausted() const
    {
        return !waiting.empty() && !m_pacer.earliest(waiting.front().address);
    }

    // Sends the front request when it is due and the machine's turn is ours;
    // false when nothing left.
    bool sendIfDue()
    {
        const std::optional<Clock::time_point> at = due();
        if (!at || Clock::now() < *at)
            return false;
        if (!m_turn.take()) {
            m_notBefore = Clock::now() + zeph::probe::kFloor; // another helper's turn
            return false;
        }
        // A request that cannot leave gets no reply; the program's answer
        // window for it simply runs out. Echo and ARP share the pacing.
        const Request next = waiting.front();
        waiting.pop_front();
        if (next.arp)
            m_s.arp.send(next.address);
        else
            m_s.echo.send(next.address);
        m_pacer.sent(next.address, Clock::now());
        m_turn.passOn();
        return true;
    }

private:
    Sockets& m_s;
    zeph::probe::RequestPacer m_pacer;
    const SendTurn m_turn;
    Clock::time_point m_notBefore{};
};

timespec until(std::optional<Clock::time_point> at)
{
    const auto left = std::max(Clock::duration::zero(), *at - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return {time_t(ns / 1000000000), long(ns % 1000000000)};
}

// Serves requests until the input closes (0) or output fails (1).
int serve(Sockets& s)
{
    const std::string done = std::string(zeph::probe::kDone) + '\n';
    Requests requests(s.arpOpened);
    Outbox out(s);
    for (;;) {
        // All it may ever send has gone: replies still go back, and every
        // request is still answered, so the program never waits for one.
        for (; out.exhausted(); out.waiting.pop_front())
            if (!writeAll(done))
                return 1;
        const std::optional<Clock::time_point> due = out.due();
        timespec wait = due ? until(due) : timespec{};
        pollfd fds[3] = {{STDIN_FILENO, POLLIN, 0},
                         {s.echo.fd(), POLLIN, 0},
                         {s.arpOpened ? s.arp.fd() : -1, POLLIN, 0}};
        // Nothing waiting: sleep until something comes.
        if (::ppoll(fds, 3, due ? &wait : nullptr, nullptr) < 0 && errno != EINTR)
            return 1;
        if ((fds[1].revents & POLLIN) && !reportReplies(s.echo))
            return 1;
        if ((fds[2].revents & POLLIN) && !reportArpReplies(s.arp))
            return 1;
        int refused = 0;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !requests.read(out.waiting, refused))
            return 0;
        for (; refused > 0; --refused)
            if (!writeAll(done))
                return 1;
        // Also a request read just now may leave at once.
        if (out.sendIfDue() && !writeAll(done))
            return 1;
    }
}

} // namespace

int main()
{
    ::signal(SIGPIPE, SIG_IGN);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM, 0, 0, 0);
    // Its floor is a wait in ppoll: without slack the wait is the floor, not
    // the floor plus up to 50 µs, a /22 after another.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    Sockets sockets;
    const std::optional<std::string_view> hello = openAndDrop(sockets);
    if (!hello) {
        writeAll(std::string(zeph::probe::kHelloFail) + '\n');
        return 1;
    }
    if (!writeAll(std::string(*hello) + '\n'))
        return 1;
    return serve(sockets);
}
