#include "platform/session/precisetimer.h"

#include <QTimer>

#include <algorithm>

namespace zeph::platform {

// Windows has no timer descriptor for the event loop; Qt's precise timer
// (a multimedia timer, whole milliseconds) wakes the loop just before the due
// time, and the handler waits out the rest.
PreciseTimer::PreciseTimer(std::function<void()> timeout, QObject* parent)
    : QObject(parent), m_timeout(std::move(timeout)), m_fallback(new QTimer(this))
{
    m_fallback->setSingleShot(true);
    m_fallback->setTimerType(Qt::PreciseTimer);
    connect(m_fallback, &QTimer::timeout, this, [this] {
        while (std::chrono::steady_clock::now() < m_due) {
        }
        fire();
    });
}

PreciseTimer::~PreciseTimer() = default;

void PreciseTimer::startAt(std::chrono::steady_clock::time_point when)
{
    using namespace std::chrono;
    m_due = when;
    const auto left = floor<milliseconds>(when - steady_clock::now());
    m_fallback->start(std::max(left, milliseconds(0)));
}

void PreciseTimer::stop()
{
    m_fallback->stop();
}

void PreciseTimer::fire()
{
    if (m_timeout)
        m_timeout();
}

} // namespace zeph::platform
