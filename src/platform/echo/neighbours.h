#pragma once
// The kernel's IPv4 neighbour table (ARP cache) through rtnetlink: a dump of
// it and its changes as they happen. Neither needs a capability. Plain C++;
// the parser works on bytes, so it is tested on canned netlink messages.

#include "core/ipv4.h"
#include "platform/uniquefd.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zeph::platform::neighbours {

struct Entry {
    Ipv4Address address;
    int interfaceIndex = 0;
    std::uint16_t state = 0; // NUD_* bits
    LinkAddress linkAddress{};
    bool hasLinkAddress = false;
    bool removed = false; // RTM_DELNEIGH: the entry is gone
    // How long ago the kernel last had the card's answer (NDA_CACHEINFO's
    // ndm_confirmed, in clock ticks); none when the message lacks it.
    std::optional<std::uint32_t> confirmedTicksAgo;
};

// One clock tick of NDA_CACHEINFO (USER_HZ).
std::chrono::milliseconds tick();

// The link-layer address was resolved: REACHABLE, STALE, DELAY or PROBE.
// INCOMPLETE (still asking) and FAILED (nobody answered) do not count, nor
// do PERMANENT and NOARP entries, which nobody had to answer for.
bool isResolved(std::uint16_t state);
// Still asking: the entry the kernel cannot drop until it ends.
bool isIncomplete(std::uint16_t state);

struct Batch {
    std::vector<Entry> entries; // IPv4 entries only, in message order
    bool done = false;          // the end of a dump, or an error answer to it
};

// Reads a buffer of netlink messages as the kernel sends them; stops at the
// first message that does not fit. Messages from anyone but the kernel must
// be dropped before this (see Socket::read).
Batch parse(const std::uint8_t* data, std::size_t size);

// A request for a dump of the IPv4 neighbour table, with this sequence number.
std::vector<std::uint8_t> dumpRequest(std::uint32_t sequence);

// A rtnetlink socket that receives the neighbour table's changes as they
// happen and, on request, a dump of the whole table. Non-blocking: poll fd().
class Socket {
public:
    bool open();
    int fd() const { return m_fd.get(); }

    bool requestDump();
    // Every message queued now. lost is set when the kernel dropped changes
    // for want of buffer space: ask for a dump to catch up.
    Batch read(bool* lost = nullptr);

private:
    UniqueFd m_fd;
    std::uint32_t m_sequence = 0;
};

} // namespace zeph::platform::neighbours
