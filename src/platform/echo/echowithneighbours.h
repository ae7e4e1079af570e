#pragma once
// A way out that cannot send ARP itself, with the kernel's neighbour table
// beside it: every request to an address on the segment makes the kernel ask
// by ARP, and the table says which addresses a card answered for.

#include "platform/echo/echoprobe.h"

#include <memory>

namespace zeph::platform {

// Reports a card answering for an address (linkAnswered) when the kernel
// confirms its entry after our request to it went out, or the entry is
// REACHABLE when the request goes; an entry STALE, DELAY or PROBE from before
// (STALE stays for minutes, and any host can make one by asking us) is no
// answer by itself. The inner transport unchanged where the table cannot be
// read.
std::unique_ptr<EchoTransport> withNeighbourTable(std::unique_ptr<EchoTransport> inner);

} // namespace zeph::platform
