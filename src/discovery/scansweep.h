#pragma once
// One sweep of the subnets a scan covers: a request to each address, each
// subnet paced on its own and all of them at once, each address with its own
// answer window; reverse lookups of the answering addresses on worker
// threads, a bounded number at once. It runs as steps on the event loop and
// never blocks it. Results come out in ascending address order across every
// subnet: an address counts as settled when it stayed silent, or answered and
// its lookup ended, and nothing is reported past an address that is not
// settled yet.
//
// An address answers with an echo reply, or when the link layer says a card
// answers for it during its window; a card that answers for too many
// addresses is a proxy (ProxyFilter), and an address it answers for must
// answer echo itself. On an attached subnet a way out that can send ARP asks
// by ARP instead of echo; the own address, and an address a proxy answered
// for, are asked by echo. A way out without ARP makes the kernel ask: those
// requests wait for room in the neighbour table (NeighbourBudget). A subnet
// beyond a router is asked by echo only, after the attached ones.

#include "core/ipv4.h"
#include "discovery/linkpresence.h"
#include "discovery/lookupthreads.h"
#include "discovery/neighbourbudget.h"
#include "discovery/scanclock.h"
#include "discovery/sweeprange.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zeph {

namespace platform {
class EchoTransport;
}

class ScanSweep : public QObject {
    Q_OBJECT
public:
    // Host name of an address, or empty. Called on worker threads: it must be
    // thread-safe, and may block.
    using ReverseLookup = std::function<QByteArray(Ipv4Address)>;

    static constexpr std::chrono::milliseconds kAnswerWindow{50};
    // Closer together, the requests to one subnet would reach its LAN as one
    // burst of ARP requests; a transport may ask for more.
    static constexpr std::chrono::microseconds kMinimumInterval{250};
    static constexpr int kMaxLookups = 16;

    // One subnet to sweep: the addresses; for an attached one the
    // interface's own address and prefix length (-1: unknown, so nothing is
    // on the segment). One beyond a router is asked by echo only.
    struct Subnet {
        SweepRange range;
        bool attached = true;
        Ipv4Address own;
        int prefixLength = -1;
    };

    // Sweeps the subnets, given in ascending order without overlap.
    // neighbourEntries is how many neighbour entries the sweep may hold at
    // once. A null transport means probing is impossible: every address is
    // silent.
    ScanSweep(const std::vector<Subnet>& subnets, int neighbourEntries,
              std::unique_ptr<platform::EchoTransport> transport, ScanClock& clock,
              ReverseLookup lookup, QObject* parent = nullptr);
    ~ScanSweep() override;

    // Asks the clock for the first step.
    void start();
    // The clock's wake-up.
    void step();
    // Ends the sweep at once: nothing more is sent or reported, and lookups
    // still running are left to finish on their own, their results dropped.
    void stop();

    // Runs the lookups on threads, which must outlive this sweep, instead of
    // threads of its own (which its destructor waits for). Before start().
    void setLookupThreads(LookupThreads& threads) { m_threads = &threads; }

    int lookupsRunning() const { return m_lookupsRunning; }
    // Whether the way out paced itself slower than it would (EchoTransport::slowed).
    bool slowed() const;

Q_SIGNALS:
    // A settled address with a name, in ascending address order.
    void listed(const QByteArray& name, zeph::Ipv4Address address);
    // The first count addresses are settled; only grows.
    void progressed(int count);
    // Every address is settled.
    void finished();

private:
    enum class State : quint8 { Unsent, Waiting, Answered, Settled };
    struct Host {
        Ipv4Address address;
        int lane = 0;
        State state = State::Unsent;
        ScanClock::TimePoint deadline{};
        bool echoSent = false; // asked by ARP until then
        QByteArray name;
    };
    // A subnet's own sequence of requests, paced on its own.
    struct Lane {
        Subnet subnet;
        int begin = 0; // index of its first host
        int next = 0;  // of its next host
        int end = 0;
        std::optional<ScanClock::TimePoint> lastSend;
    };
    struct Window {
        int host;
        ScanClock::TimePoint deadline;
    };
    struct Mailbox;

    int indexOf(Ipv4Address address) const;
    bool onSegment(int host) const;
    bool needsEntry(int host) const;
    bool attachedLeft() const;
    std::optional<ScanClock::TimePoint> laneReady(const Lane& lane, ScanClock::TimePoint now);
    void sendFromLanes(ScanClock::TimePoint now);
    void send(int host, ScanClock::TimePoint now);
    void sendEchoLater(ScanClock::TimePoint now);
    bool sendEcho(int host, ScanClock::TimePoint now);
    void openWindow(int host, ScanClock::TimePoint now);
    void closeWindows(ScanClock::TimePoint now);
    void replied(Ipv4Address from);
    void linkAnswered(Ipv4Address address, const LinkAddress& card);
    void answered(int host);
    void startLookups();
    void lookedUp(int host, const QByteArray& name);
    void advance();
    void scheduleWake();

    std::vector<Lane> m_lanes;
    std::unique_ptr<platform::EchoTransport> m_transport;
    bool m_slowed = false; // the transport's, kept past stop()
    ScanClock& m_clock;
    const ReverseLookup m_lookup;
    const std::chrono::nanoseconds m_transportInterval; // between any two requests
    NeighbourBudget m_budget;
    std::shared_ptr<Mailbox> m_mailbox;
    std::unique_ptr<LookupThreads> m_ownThreads;
    LookupThreads* m_threads;

    std::vector<Host> m_hosts;  // ascending
    int m_frontier = 0;         // lowest index not yet settled
    std::size_t m_nextLane = 0; // where the round of lanes starts
    std::optional<ScanClock::TimePoint> m_lastSend;
    std::deque<Window> m_windows; // open windows, in the order they opened
    ProxyFilter m_proxies;
    std::deque<int> m_echoLater; // answered only by a proxy: echo when the table allows
    std::deque<int> m_lookupQueue;
    int m_lookupsRunning = 0;
    bool m_stopped = false;
};

} // namespace zeph
