#pragma once
// One sweep of a subnet: echo requests to host numbers 1 to the highest,
// in ascending order and paced apart, each address with its own answer
// window; reverse lookups of the answering addresses on worker threads, a
// bounded number at once. It runs as steps on the event loop and never blocks
// it. Results come out in host-number order: an address counts as settled
// when it stayed silent, or answered and its lookup ended, and nothing is
// reported past an address that is not settled yet.

#include "core/ipv4.h"
#include "discovery/lookupthreads.h"
#include "discovery/scanclock.h"

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

    // Probes network + 1 to network + highest. A null transport means probing
    // is impossible: every address is silent.
    ScanSweep(Ipv4Address network, int highest, std::unique_ptr<platform::EchoTransport> transport,
              ScanClock& clock, ReverseLookup lookup, QObject* parent = nullptr);
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
        QByteArray name;
    };
    struct Mailbox;

    Ipv4Address addressOf(int host) const;
    int hostOf(Ipv4Address address) const;
    void sendNext(ScanClock::TimePoint now);
    void replied(Ipv4Address from);
    void startLookups();
    void lookedUp(int host, const QByteArray& name);
    void advance();
    void scheduleWake();

    const Ipv4Address m_network;
    const int m_highest;
    std::unique_ptr<platform::EchoTransport> m_transport;
    ScanClock& m_clock;
    const ReverseLookup m_lookup;
    const std::chrono::nanoseconds m_interval;
    std::shared_ptr<Mailbox> m_mailbox;
    std::unique_ptr<LookupThreads> m_ownThreads;
    LookupThreads* m_threads;

    std::vector<Host> m_hosts; // by host number; [0] unused
    int m_next = 1;            // next host number to send to
    int m_frontier = 1;        // lowest host number not yet settled
    ScanClock::TimePoint m_lastSend{};
    std::deque<int> m_windows; // sent hosts whose window is open, in send order
    std::deque<int> m_lookupQueue;
    int m_lookupsRunning = 0;
    bool m_stopped = false;
};

} // namespace zeph
