#pragma once
// The neighbour table's entries and changes, reported on the event loop of
// the thread that made the watch: first every entry the table holds, then
// each change as it happens. No capability needed.

#include "platform/echo/neighbours.h"

#include <functional>
#include <memory>

class QSocketNotifier;

namespace zeph::platform {

class NeighbourWatch {
public:
    using Changed = std::function<void(const neighbours::Entry&)>;

    NeighbourWatch();
    ~NeighbourWatch();
    NeighbourWatch(const NeighbourWatch&) = delete;
    NeighbourWatch& operator=(const NeighbourWatch&) = delete;

    // False when the table cannot be read here; nothing is reported then.
    bool start(Changed changed);
    // Reports what arrived and was not reported yet, now.
    void readPending();

private:
    neighbours::Socket m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    Changed m_changed;
};

// The table's hard limit on this system (net.ipv4.neigh.default.gc_thresh3):
// past it the kernel refuses new entries and sends fail with ENOBUFS.
int neighbourTableLimit();

} // namespace zeph::platform
