#pragma once
// The requests a zeph-probe helper holds until they may leave, and when each
// leaves: at RequestPacer's pace, in the machine's turn (Turn). The turn is
// taken for a run of due requests and released once the floor has passed
// after the last of them, so that the floor holds between any two requests
// on the machine, while a lone helper pays one lock per run and one read of
// the interfaces per burst of at most kMaxBurst requests, not a wait per
// request. After a burst, when another helper says it waits for the turn,
// the turn goes and this helper lets kYield pass before it takes it again.
//
// The turn is waited for with a deadline. When it cannot be had within
// kTurnDeadline, or the lock is not sound, the helper paces itself at
// kSlowFloor without the turn (never at no floor), trying the turn again
// before each request; slowed() then says so. Plain C++, the clock given by
// the caller, so that tests need no time to pass.

#include "core/ipv4.h"
#include "platform/icmp/requestpacer.h"
#include "platform/icmp/sendturn.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>

namespace zeph::probe {

struct Request {
    Ipv4Address address;
    bool arp = false; // an ARP request, else an echo request
};

// What the outbox sends through: the helper's sockets, or a test's record.
class Sender {
public:
    virtual ~Sender() = default;
    // Before the first request of a burst (and before each request sent
    // without the turn): the time to read what may have changed since, the
    // interfaces' addresses.
    virtual void beginBurst() = 0;
    // A request that cannot leave gets no reply: the program's answer window
    // for it simply runs out.
    virtual void send(const Request& request) = 0;
};

class Outbox {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    // A few hundred requests waiting at most; the program keeps one.
    static constexpr std::size_t kMaxWaiting = 512;
    // The longest wait for the turn before the helper paces itself without
    // it. Far longer than a burst, far shorter than the program waits for a
    // request to leave.
    static constexpr std::chrono::milliseconds kTurnDeadline{50};
    // How often a helper that wants the turn tries it again.
    static constexpr std::chrono::microseconds kRetry{100};
    static constexpr std::size_t kMaxBurst = 16;
    static constexpr std::chrono::microseconds kYield{500};

    Outbox(Sender& sender, Turn& turn, Now now = Clock::now);
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Queues a request; false when kMaxWaiting wait already.
    bool add(const Request& request);

    // When step() has something to do; nothing while only a new request can
    // change anything.
    std::optional<Clock::time_point> wake() const;

    // Does what is due now: drops the requests the pacer will never let
    // leave, sends the front one when it may leave, and releases the turn
    // once the floor has passed. The number of requests done with (sent or
    // dropped), each owed a "done" line.
    std::size_t step();

    // Whether the helper has paced itself at kSlowFloor; true from the
    // first such request on.
    bool slowed() const { return m_slowed; }

private:
    bool dueAt(Clock::time_point now) const;
    std::size_t sendWithTurn();
    std::size_t sendWithoutTurn(Clock::time_point now);
    void sendFront(bool withTurn);
    void want(bool wanted);

    Sender& m_sender;
    Turn& m_turn;
    Now m_now;
    RequestPacer m_pacer;
    std::deque<Request> m_waiting;
    std::optional<Clock::time_point> m_lastSend;
    bool m_lastWithoutTurn = false;
    bool m_holding = false;
    bool m_wanting = false; // said so to the other helpers
    std::size_t m_burst = 0;
    Clock::time_point m_notBefore{}; // a retry or a yield
    std::optional<Clock::time_point> m_wantedSince;
    bool m_withoutTurn = false; // the deadline passed: slowed until the turn is had
    bool m_slowed = false;
};

} // namespace zeph::probe
