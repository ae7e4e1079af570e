#include "platform/icmp/outbox.h"

#include <algorithm>
#include <utility>

namespace zeph::probe {

Outbox::Outbox(Sender& sender, Turn& turn, Now now)
    : m_sender(sender), m_turn(turn), m_now(std::move(now))
{
}

Outbox::~Outbox()
{
    if (m_holding)
        m_turn.release();
    want(false);
}

bool Outbox::add(const Request& request)
{
    if (m_waiting.size() >= kMaxWaiting)
        return false;
    m_waiting.push_back(request);
    return true;
}

bool Outbox::dueAt(Clock::time_point now) const
{
    if (m_waiting.empty())
        return false;
    const std::optional<Clock::time_point> at = m_pacer.earliest(m_waiting.front().address);
    return at && *at <= now && !(m_lastWithoutTurn && now < *m_lastSend + kSlowFloor);
}

std::optional<Outbox::Clock::time_point> Outbox::wake() const
{
    if (m_holding)
        return *m_lastSend + kFloor; // the next of the burst, or the release
    if (m_waiting.empty())
        return std::nullopt;
    const std::optional<Clock::time_point> at = m_pacer.earliest(m_waiting.front().address);
    if (!at)
        return Clock::time_point{}; // to be dropped at once
    Clock::time_point due = std::max(*at, m_notBefore);
    if (m_lastWithoutTurn)
        due = std::max(due, *m_lastSend + kSlowFloor);
    return due;
}

std::size_t Outbox::step()
{
    std::size_t done = 0;
    // All it may ever send has gone: every request is still answered, so
    // that the program never waits for one.
    for (; !m_waiting.empty() && !m_pacer.earliest(m_waiting.front().address); ++done)
        m_waiting.pop_front();
    const Clock::time_point now = m_now();
    if (m_holding) {
        if (now < *m_lastSend + kFloor)
            return done;
        if (dueAt(now) && m_burst >= kMaxBurst && !m_turn.othersWant()) {
            m_burst = 0; // nobody waits: a burst of its own, in the same turn
            m_sender.beginBurst();
        }
        if (dueAt(now) && m_burst < kMaxBurst)
            return done + sendWithTurn();
        // The floor has passed since the last request: any helper may send.
        m_turn.release();
        m_holding = false;
        if (m_burst >= kMaxBurst)
            m_notBefore = now + kYield;
        return done;
    }
    if (!dueAt(now) || now < m_notBefore)
        return done;
    if (m_turn.sound() && m_turn.tryTake()) {
        want(false);
        m_holding = true;
        m_burst = 0;
        m_wantedSince.reset();
        m_withoutTurn = false;
        m_sender.beginBurst();
        return done + sendWithTurn();
    }
    if (!m_wantedSince)
        m_wantedSince = now;
    if (m_turn.sound() && !m_withoutTurn && now - *m_wantedSince < kTurnDeadline) {
        want(true);
        m_notBefore = now + kRetry; // another helper's turn
        return done;
    }
    want(false);
    m_withoutTurn = true;
    return done + sendWithoutTurn(now);
}

void Outbox::want(bool wanted)
{
    if (wanted != m_wanting)
        m_turn.want(wanted);
    m_wanting = wanted;
}

std::size_t Outbox::sendWithTurn()
{
    sendFront(true);
    ++m_burst;
    return 1;
}

std::size_t Outbox::sendWithoutTurn(Clock::time_point now)
{
    // The slower floor since whatever this helper sent last.
    if (m_lastSend && now < *m_lastSend + kSlowFloor) {
        m_notBefore = *m_lastSend + kSlowFloor;
        return 0;
    }
    m_slowed = true;
    m_sender.beginBurst();
    sendFront(false);
    return 1;
}

void Outbox::sendFront(bool withTurn)
{
    const Request next = m_waiting.front();
    m_waiting.pop_front();
    m_sender.send(next);
    // Counted from when it left: the floor holds between the packets.
    const Clock::time_point sentAt = m_now();
    m_pacer.sent(next.address, sentAt);
    m_lastSend = sentAt;
    m_lastWithoutTurn = !withTurn;
}

} // namespace zeph::probe
