// zeph-probe: sends ICMP echo requests for the scan when the program itself may
// not open an ICMP socket, and ARP requests where it may open a packet socket.
// Installed with cap_net_raw in its permitted and effective sets; it opens its
// sockets first and then gives up every capability for good, so the rest of
// its life it can do nothing but use them: echo requests anywhere but
// multicast and broadcast, ARP requests only for addresses on the subnet of
// one of this host's Ethernet interfaces, with that interface's own addresses.
// It talks only over its standard input and output, in the lines of
// platform/icmp/probeprotocol.h (framed by platform/icmp/probeio.h). The
// requests wait in platform/icmp/outbox.h, which paces them as
// platform/icmp/requestpacer.h says and sends them in the machine's turn
// (platform/icmp/sendturn.h), a lock every helper shares. This file keeps the
// start: the sockets, the privilege drop, and the loop that serves them.

#include "platform/icmp/arp.h"
#include "platform/icmp/icmpecho.h"
#include "platform/icmp/outbox.h"
#include "platform/icmp/probeio.h"
#include "platform/icmp/probeprotocol.h"
#include "platform/icmp/sendturn.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <linux/capability.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using zeph::Ipv4Address;
using zeph::probe::writeAll;

bool dropAllCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capset, &header, data) != 0)
        return false;
    // No exec from here on can bring a capability back.
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool say(std::string_view line)
{
    return writeAll(STDOUT_FILENO, std::string(line) + '\n');
}

struct Sockets : zeph::probe::Sender {
    zeph::icmp::EchoSocket echo;
    zeph::arp::Socket arp;
    bool arpOpened = false;
    std::vector<zeph::arp::Link> links; // read once per burst

    void beginBurst() override
    {
        // An interface whose address changed (DHCP, roaming) is never claimed
        // past the burst that read it.
        if (arpOpened)
            links = zeph::arp::currentLinks();
    }
    void send(const zeph::probe::Request& request) override
    {
        if (request.arp)
            arp.send(request.address, links);
        else
            echo.send(request.address);
    }
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

bool reportReplies(Sockets& s, const pollfd (&fds)[3])
{
    std::string out;
    if (fds[1].revents & POLLIN)
        for (const Ipv4Address from : s.echo.readReplies())
            out += zeph::probe::line(from);
    if (fds[2].revents & POLLIN)
        for (const zeph::arp::Reply& r : s.arp.readReplies())
            out += zeph::probe::arpReplyLine(r.sender, r.linkAddress);
    return out.empty() || writeAll(STDOUT_FILENO, out);
}

timespec until(Clock::time_point at)
{
    const auto left = std::max(Clock::duration::zero(), at - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return {time_t(ns / 1000000000), long(ns % 1000000000)};
}

// Serves requests until the input closes (0) or output fails (1).
int serve(Sockets& s)
{
    zeph::probe::SendTurn turn;
    zeph::probe::Outbox out(s, turn);
    zeph::probe::LineReader lines;
    bool slowTold = false;
    for (;;) {
        const std::optional<Clock::time_point> wake = out.wake();
        timespec wait = wake ? until(*wake) : timespec{};
        pollfd fds[3] = {{STDIN_FILENO, POLLIN, 0},
                         {s.echo.fd(), POLLIN, 0},
                         {s.arpOpened ? s.arp.fd() : -1, POLLIN, 0}};
        // Nothing waiting: sleep until something comes.
        if (::ppoll(fds, 3, wake ? &wait : nullptr, nullptr) < 0 && errno != EINTR)
            return 1;
        if (!reportReplies(s, fds))
            return 1;
        std::size_t done = 0;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[512];
            ssize_t n;
            do
                n = ::read(STDIN_FILENO, buf, sizeof buf);
            while (n < 0 && errno == EINTR);
            if (n <= 0)
                return 0;
            lines.feed(std::string_view(buf, std::size_t(n)),
                       [&](std::optional<std::string_view> line) {
                           const auto request =
                               line ? zeph::probe::requestOf(*line, s.arpOpened) : std::nullopt;
                           if (!request || !out.add(*request))
                               ++done; // refused
                       });
        }
        // Also a request read just now may leave at once.
        done += out.step();
        if (out.slowed() && !slowTold) {
            if (!say(zeph::probe::kSlowed))
                return 1;
            slowTold = true; // once: the program needs to hear it only once
        }
        for (; done > 0; --done)
            if (!say(zeph::probe::kDone))
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
        say(zeph::probe::kHelloFail);
        return 1;
    }
    if (!say(*hello))
        return 1;
    return serve(sockets);
}
