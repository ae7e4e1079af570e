#include "platform/session/precisetimer.h"

#include "core/logging.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <sys/timerfd.h>
#include <unistd.h>

namespace zeph::platform {
namespace {

// The event loop takes some tens of microseconds to get from the timer to the
// handler: the timer goes off this much early, and the handler waits out
// whatever is left of it.
constexpr std::chrono::microseconds kEarly{100};

} // namespace

PreciseTimer::PreciseTimer(std::function<void()> timeout, QObject* parent)
    : QObject(parent), m_timeout(std::move(timeout))
{
    // steady_clock is CLOCK_MONOTONIC, so its time points are timerfd's.
    m_fd.reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    if (m_fd) {
        m_notifier = new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            std::uint64_t expirations = 0;
            if (::read(m_fd.get(), &expirations, sizeof expirations) != sizeof expirations)
                return;
            while (std::chrono::steady_clock::now() < m_due) {
            }
            fire();
        });
    } else {
        qCWarning(lcPlatform) << "no timerfd: timers round up to whole milliseconds";
        m_fallback = new QTimer(this);
        m_fallback->setSingleShot(true);
        m_fallback->setTimerType(Qt::PreciseTimer);
        connect(m_fallback, &QTimer::timeout, this, [this] { fire(); });
    }
}

PreciseTimer::~PreciseTimer()
{
    delete m_notifier; // before its descriptor goes
    m_notifier = nullptr;
}

void PreciseTimer::startAt(std::chrono::steady_clock::time_point when)
{
    using namespace std::chrono;
    if (m_fallback) {
        const auto left = ceil<milliseconds>(when - steady_clock::now());
        m_fallback->start(std::max(left, milliseconds(0)));
        return;
    }
    m_due = when;
    // Zero would disarm it: a time already past fires at once anyway.
    const auto ns = std::max<std::int64_t>(
        1, duration_cast<nanoseconds>((when - kEarly).time_since_epoch()).count());
    itimerspec deadline{};
    deadline.it_value = {time_t(ns / 1000000000), long(ns % 1000000000)};
    ::timerfd_settime(m_fd.get(), TFD_TIMER_ABSTIME, &deadline, nullptr);
}

void PreciseTimer::stop()
{
    if (m_fallback) {
        m_fallback->stop();
        return;
    }
    const itimerspec off{};
    ::timerfd_settime(m_fd.get(), TFD_TIMER_ABSTIME, &off, nullptr);
    // An expiry already counted but not yet read must not fire later.
    std::uint64_t expirations = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_fd.get(), &expirations, sizeof expirations);
}

void PreciseTimer::fire()
{
    if (m_timeout)
        m_timeout();
}

} // namespace zeph::platform
