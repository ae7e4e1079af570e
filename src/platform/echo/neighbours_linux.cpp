#include "platform/echo/neighbours.h"

#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zeph::platform::neighbours {
namespace {

// Reads per call: a flood must not hold the event loop; the rest waits for
// the next wake-up.
constexpr int kMaxReadsPerCall = 64;

constexpr std::size_t align(std::size_t n)
{
    return (n + NLMSG_ALIGNTO - 1) & ~std::size_t(NLMSG_ALIGNTO - 1);
}

template <typename T> T readAt(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The attributes of one neighbour message, after its ndmsg.
void readAttributes(const std::uint8_t* p, std::size_t size, Entry& entry, bool& hasAddress)
{
    while (size >= sizeof(rtattr)) {
        const auto attr = readAt<rtattr>(p);
        if (attr.rta_len < sizeof(rtattr) || attr.rta_len > size)
            return;
        const std::uint8_t* payload = p + RTA_LENGTH(0);
        const std::size_t length = attr.rta_len - RTA_LENGTH(0);
        if (attr.rta_type == NDA_DST && length == 4) {
            entry.address = Ipv4Address(payload[0], payload[1], payload[2], payload[3]);
            hasAddress = true;
        } else if (attr.rta_type == NDA_LLADDR && length == entry.linkAddress.size()) {
            std::memcpy(entry.linkAddress.data(), payload, length);
            entry.hasLinkAddress = true;
        } else if (attr.rta_type == NDA_CACHEINFO && length >= sizeof(nda_cacheinfo)) {
            entry.confirmedTicksAgo = readAt<nda_cacheinfo>(payload).ndm_confirmed;
        }
        const std::size_t step = RTA_ALIGN(attr.rta_len);
        if (step >= size)
            return;
        p += step;
        size -= step;
    }
}

} // namespace

std::chrono::milliseconds tick()
{
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    return std::chrono::milliseconds(perSecond > 0 ? 1000 / perSecond : 10);
}

bool isResolved(std::uint16_t state)
{
    return (state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) != 0;
}

bool isIncomplete(std::uint16_t state)
{
    return (state & NUD_INCOMPLETE) != 0;
}

Batch parse(const std::uint8_t* data, std::size_t size)
{
    Batch batch;
    while (size >= sizeof(nlmsghdr)) {
        const auto header = readAt<nlmsghdr>(data);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size)
            break;
        const std::uint8_t* body = data + NLMSG_HDRLEN;
        const std::size_t bodySize = header.nlmsg_len - NLMSG_HDRLEN;
        if (header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR) {
            batch.done = true;
        } else if ((header.nlmsg_type == RTM_NEWNEIGH || header.nlmsg_type == RTM_DELNEIGH) &&
                   bodySize >= sizeof(ndmsg)) {
            const auto nd = readAt<ndmsg>(body);
            Entry entry;
            bool hasAddress = false;
            entry.interfaceIndex = nd.ndm_ifindex;
            entry.state = nd.ndm_state;
            entry.removed = header.nlmsg_type == RTM_DELNEIGH;
            const std::size_t skip = NLMSG_ALIGN(sizeof(ndmsg));
            if (bodySize > skip)
                readAttributes(body + skip, bodySize - skip, entry, hasAddress);
            if (nd.ndm_family == AF_INET && hasAddress)
                batch.entries.push_back(entry);
        }
        const std::size_t step = align(header.nlmsg_len);
        if (step >= size)
            break;
        data += step;
        size -= step;
    }
    return batch;
}

std::vector<std::uint8_t> dumpRequest(std::uint32_t sequence)
{
    struct {
        nlmsghdr header;
        ndmsg body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.body.ndm_family = AF_INET;
    const auto* p = reinterpret_cast<const std::uint8_t*>(&request);
    return {p, p + request.header.nlmsg_len};
}

bool Socket::open()
{
    m_fd.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!m_fd)
        return false;
    // A sweep changes hundreds of entries within a second.
    const int buffer = 1024 * 1024;
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_NEIGH;
    if (::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        m_fd.reset();
        return false;
    }
    return true;
}

bool Socket::requestDump()
{
    if (!m_fd)
        return false;
    const std::vector<std::uint8_t> request = dumpRequest(++m_sequence);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(m_fd.get(), request.data(), request.size(), 0,
                    reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) == ssize_t(request.size());
}

Batch Socket::read(bool* lost)
{
    Batch all;
    if (!m_fd)
        return all;
    alignas(nlmsghdr) std::uint8_t buf[32 * 1024];
    for (int reads = 0; reads < kMaxReadsPerCall; ++reads) {
        sockaddr_nl from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_fd.get(), buf, sizeof buf, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0 && errno == ENOBUFS) {
            if (lost)
                *lost = true;
            continue;
        }
        if (n <= 0)
            return all;
        // Only the kernel speaks for the table: any process may send to us.
        if (from.nl_pid != 0)
            continue;
        Batch batch = parse(buf, std::size_t(n));
        all.done = all.done || batch.done;
        all.entries.insert(all.entries.end(), batch.entries.begin(), batch.entries.end());
    }
    return all;
}

} // namespace zeph::platform::neighbours
