// zeph-probe: sends ICMP echo requests for the scan when the program itself may
// not open an ICMP socket, and ARP requests where it may open a packet socket.
// Installed with cap_net_raw in its permitted and effective sets; it opens its
// sockets first and then gives up every capability for good, so the rest of
// its life it can do nothing but use them: echo requests anywhere but
// multicast and broadcast, ARP requests only for addresses on the subnet of
// one of this host's Ethernet interfaces, with that interface's own addresses.
// It talks only over its standard input and output, in the lines of
// platform/icmp/probeprotocol.h. It holds at most a few hundred requests
// waiting for their turn, and paces them as platform/icmp/requestpacer.h says.

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
#include <linux/capability.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/prctl.h>
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

} // namespace

int main()
{
    ::signal(SIGPIPE, SIG_IGN);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM, 0, 0, 0);
    // Its floor is a wait in ppoll: without slack the wait is the floor, not
    // the floor plus up to 50 µs, a /22 after another.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);

    zeph::icmp::EchoSocket socket;
    const bool opened = socket.open(true);
    zeph::arp::Socket arp;
    const bool arpOpened = socket.kind() == zeph::icmp::SocketKind::Raw && arp.open();
    // Also when nothing could be opened: whatever we were given goes now.
    if (!dropAllCapabilities() || !opened) {
        writeAll(std::string(zeph::probe::kHelloFail) + '\n');
        return 1;
    }
    const std::string_view hello = arpOpened ? zeph::probe::kHelloRawArp
                                   : socket.kind() == zeph::icmp::SocketKind::Raw
                                       ? zeph::probe::kHelloRaw
                                       : zeph::probe::kHelloDatagram;
    if (!writeAll(std::string(hello) + '\n'))
        return 1;

    const std::string done = std::string(zeph::probe::kDone) + '\n';
    Requests requests(arpOpened);
    std::deque<Request> waiting;
    zeph::probe::RequestPacer pacer;
    for (;;) {
        std::optional<Clock::time_point> nextSend;
        if (!waiting.empty() && !(nextSend = pacer.earliest(waiting.front().address))) {
            // All it may ever send has gone; replies still go back, and every
            // request is still answered, so the program never waits for one.
            for (; !waiting.empty(); waiting.pop_front())
                if (!writeAll(done))
                    return 1;
        }
        timespec wait{};
        timespec* timeout = nullptr; // nothing waiting: sleep until something comes
        if (!waiting.empty()) {
            const auto left = std::max(Clock::duration::zero(), *nextSend - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait = {time_t(ns / 1000000000), long(ns % 1000000000)};
            timeout = &wait;
        }
        pollfd fds[3] = {{STDIN_FILENO, POLLIN, 0},
                         {socket.fd(), POLLIN, 0},
                         {arpOpened ? arp.fd() : -1, POLLIN, 0}};
        if (::ppoll(fds, 3, timeout, nullptr) < 0 && errno != EINTR)
            return 1;
        if ((fds[1].revents & POLLIN) && !reportReplies(socket))
            return 1;
        if ((fds[2].revents & POLLIN) && !reportArpReplies(arp))
            return 1;
        int refused = 0;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !requests.read(waiting, refused))
            return 0;
        for (; refused > 0; --refused)
            if (!writeAll(done))
                return 1;
        // Also a request read just now may leave at once.
        const std::optional<Clock::time_point> due =
            waiting.empty() ? std::nullopt : pacer.earliest(waiting.front().address);
        if (due && Clock::now() >= *due) {
            // A request that cannot leave gets no reply; the program's answer
            // window for it simply runs out. Echo and ARP share the pacing.
            const Request next = waiting.front();
            waiting.pop_front();
            if (next.arp)
                arp.send(next.address);
            else
                socket.send(next.address);
            pacer.sent(next.address, Clock::now());
            if (!writeAll(done))
                return 1;
        }
    }
}
