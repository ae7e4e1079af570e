#pragma once
// One sweep of a subnet: a request to each of host numbers 1 to the highest,
// in ascending order and paced apart, each address with its own answer
// window; reverse lookups of the answering addresses on worker threads, a
// bounded number at once. It runs as steps on the event loop and never blocks
// it. Results come out in host-number order: an address counts as settled
// when it stayed silent, or answered and its lookup ended, and nothing is
// reported past an address that is not settled yet.
//
// An address answers with an echo reply, or when the link layer says a card
// answers for it during its window (see LinkPresence for the cards that
// answer for too many). On the local segment a way out that can send ARP asks
// by ARP instead of echo; the own address, and an address whose only answer
// came from a proxy, are asked by echo. A way out without ARP makes the kernel
// ask (one neighbour entry per address, open for seconds): those requests are
// paced to keep the neighbour table well below its limit.

#include "core/ipv4.h"
#include "discovery/linkpresence.h"
#include "discovery/lookupthreads.h"
#include "discovery/scanclock.h"
#include "discovery/sweeprange.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
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
    // Closer together, the requests of a /24 would reach the LAN as one burst
    // of ARP requests; a transport may ask for more.
    static constexpr std::chrono::microseconds kMinimumInterval{250};
    static constexpr int kMaxLookups = 16;
    // How long a neighbour entry our request made cannot be dropped: while
    // the kernel asks for an address nobody holds (three ARP requests a
    // second apart; then it fails and may go), or while it stays REACHABLE
    // once resolved (up to 1.5 times base_reachable_time, 30 s); with a margin.
    static constexpr std::chrono::milliseconds kUnresolvedLifetime{3500};
    static constexpr std::chrono::milliseconds kResolvedLifetime{46000};

    // The directly attached subnet: own address and prefix length (-1 when
    // unknown: nothing counts as on the segment), and how many neighbour
    // entries a sweep may leave open at once.
    // Entries resolved through a proxy (the addresses it answers for) stay
    // for most of a minute: a quarter of the budget at most; past it, the
    // addresses a proxy answers for go unasked.
    struct Segment {
        Ipv4Address own;
        int prefixLength = -1;
        int neighbourBudget = 512;
    };

    // Probes network + 1 to network + highest. A null transport means probing
    // is impossible: every address is silent.
    ScanSweep(Ipv4Address network, int highest, std::unique_ptr<platform::EchoTransport> transport,
              ScanClock& clock, ReverseLookup lookup, QObject* parent = nullptr);
    ScanSweep(Ipv4Address network, int highest, Segment segment,
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

Q_SIGNALS:
    // A settled address with a name, in host-number order.
    void listed(const QByteArray& name, zeph::Ipv4Address address);
    // Every address up to host is settled; only grows.
    void progressed(int host);
    // Every address is settled.
    void finished();

private:
    enum class State : quint8 { Unsent, Waiting, Answered, Settled };
    struct Host {
        State state = State::Unsent;
        ScanClock::TimePoint deadline{};
        bool echoSent = false; // asked by ARP until then
        QByteArray name;
    };
    struct Window {
        int host;
        ScanClock::TimePoint deadline;
    };
    struct Mailbox;

    Ipv4Address addressOf(int host) const;
    int hostOf(Ipv4Address address) const;
    bool onSegment(Ipv4Address address) const;
    bool mayAddNeighbour(ScanClock::TimePoint now);
    bool mayPinProxied() const;
    void settle(int host);
    void sendNext(ScanClock::TimePoint now);
    void sendEchoLater(ScanClock::TimePoint now);
    bool sendEcho(int host, ScanClock::TimePoint now, std::chrono::milliseconds entryLifetime);
    void openWindow(int host, ScanClock::TimePoint now);
    void replied(Ipv4Address from);
    void linkAnswered(Ipv4Address address, const LinkAddress& card);
    void answered(int host);
    void startLookups();
    void lookedUp(int host, const QByteArray& name);
    void advance();
    void scheduleWake();

    const Ipv4Address m_network;
    const int m_highest;
    const Segment m_segment;
    std::unique_ptr<platform::EchoTransport> m_transport;
    ScanClock& m_clock;
    const ReverseLookup m_lookup;
    const std::chrono::nanoseconds m_interval;
    const int m_budget; // neighbour entries a sweep may hold open at once
    std::shared_ptr<Mailbox> m_mailbox;
    std::unique_ptr<LookupThreads> m_ownThreads;
    LookupThreads* m_threads;

    std::vector<Host> m_hosts; // by host number; [0] unused
    int m_next = 1;            // next host number to send to
    int m_frontier = 1;        // lowest host number not yet settled
    ScanClock::TimePoint m_lastSend{};
    std::deque<Window> m_windows; // open windows, in the order they opened
    ProxyFilter m_proxies;
    // When the neighbour entries our echoes made may be dropped again.
    std::deque<ScanClock::TimePoint> m_entriesPinnedUntil;
    int m_proxiedEntries = 0;    // resolved through a proxy: pinned for the whole sweep
    std::deque<int> m_echoLater; // answered only by a proxy: echo when the table allows
    std::deque<int> m_lookupQueue;
    int m_lookupsRunning = 0;
    bool m_stopped = false;
};

} // namespace zeph
