#pragma once
// ICMP echo for the subnet scan: requests sent ahead without waiting, replies
// reported as they come, on the thread that opened the transport.

#include "core/ipv4.h"

#include <QByteArray>

#include <chrono>
#include <functional>
#include <memory>

namespace zeph::platform {

// IcmpLibrary: Windows' own ICMP echo functions (iphlpapi), no privilege needed.
enum class EchoMethod { None, Datagram, Raw, HelperDatagram, HelperRaw, IcmpLibrary };

class EchoTransport {
public:
    virtual ~EchoTransport() = default;

    virtual EchoMethod method() const = 0;

    // The least time this way out allows between two requests.
    virtual std::chrono::nanoseconds minimumInterval() const = 0;

    // Sends one echo request without data to address. False when it could not
    // leave; that address then gets no reply.
    virtual bool send(Ipv4Address address) = 0;

    // Reports replies already received but not yet reported, now. Replies are
    // also reported by themselves from the event loop.
    virtual void readPending() = 0;

    // Called with the source of every reply that answers a request of ours
    // (identifier, sequence number and source match), once per request.
    void setReplyHandler(std::function<void(Ipv4Address)> handler)
    {
        m_replied = std::move(handler);
    }

protected:
    void replied(Ipv4Address from)
    {
        if (m_replied)
            m_replied(from);
    }

private:
    std::function<void(Ipv4Address)> m_replied;
};

struct EchoOptions {
    // Replaces the usual places of the zeph-probe helper (beside the
    // executable, then the installed one).
    QByteArray helperPath;
    // False sends every request through the helper.
    bool inProcess = true;
};

// The way out: an ICMP datagram socket where net.ipv4.ping_group_range allows
// one, else a raw socket when this process may open one, else the zeph-probe
// helper (installed with cap_net_raw), one process for the transport's life.
// Null when none works: probing is impossible here.
std::unique_ptr<EchoTransport> openEchoTransport(const EchoOptions& options = {});

} // namespace zeph::platform
