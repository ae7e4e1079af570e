#pragma once
// ICMP echo for the subnet scan: requests sent ahead without waiting, replies
// reported as they come, on the thread that opened the transport.

#include "core/ipv4.h"

#include <QByteArray>

#include <array>
#include <chrono>
#include <cstdint>
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

    // True while the way out still holds an earlier request: one sent now
    // would wait there while its answer window runs here.
    virtual bool busy() const { return false; }

    // True once the way out has paced itself slower than it would (the probe
    // helper could not share the machine's turn with the other helpers).
    virtual bool slowed() const { return false; }

    // How many requests may wait for the kernel's ARP at once: each waits in
    // the socket's send buffer, and a full buffer refuses the next.
    virtual int maxUnresolved() const { return kDefaultMaxUnresolved; }
    // An ICMP socket with the default send buffer (212,992 bytes) holds about
    // 250 requests; with a margin.
    static constexpr int kDefaultMaxUnresolved = 192;

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

    // True when this way out sends ARP requests itself (raw access): an
    // address on the local segment is then asked by ARP, not by echo.
    virtual bool asksArp() const { return false; }
    // Sends one ARP request for address out of the interface whose subnet
    // holds it. False when it could not leave.
    virtual bool sendArp(Ipv4Address) { return false; }

    // Called when the link layer says a card answers for address: an ARP
    // reply to our request, or the kernel's neighbour entry for it confirmed
    // after our request went there.
    using LinkAnswer = std::function<void(Ipv4Address, const LinkAddress&)>;
    void setLinkAnswerHandler(LinkAnswer handler) { m_linkAnswered = std::move(handler); }

protected:
    void replied(Ipv4Address from)
    {
        if (m_replied)
            m_replied(from);
    }
    void linkAnswered(Ipv4Address address, const LinkAddress& card)
    {
        if (m_linkAnswered)
            m_linkAnswered(address, card);
    }

private:
    std::function<void(Ipv4Address)> m_replied;
    LinkAnswer m_linkAnswered;
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
// Where this process (root) or the helper may send ARP, the transport does;
// elsewhere it reports the kernel's neighbour table. Null when none works:
// probing is impossible here.
std::unique_ptr<EchoTransport> openEchoTransport(const EchoOptions& options = {});

} // namespace zeph::platform
