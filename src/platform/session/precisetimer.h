#pragma once
// A one-shot timer on the event loop of the thread that made it, to well
// under a millisecond (Qt's timers count whole milliseconds): the scan paces
// its echo requests a quarter of a millisecond apart.

#include "platform/uniquefd.h"

#include <QObject>

#include <chrono>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace zeph::platform {

class PreciseTimer : public QObject {
public:
    explicit PreciseTimer(std::function<void()> timeout, QObject* parent = nullptr);
    ~PreciseTimer() override;

    // Fires once at when (at once if it has passed); replaces a pending start.
    void startAt(std::chrono::steady_clock::time_point when);
    void stop();

private:
    void fire();

    std::function<void()> m_timeout;
    std::chrono::steady_clock::time_point m_due;
#ifndef Q_OS_WIN // a timerfd; Windows' timers are fine enough without one
    UniqueFd m_fd;
    QSocketNotifier* m_notifier = nullptr;
#endif
    QTimer* m_fallback = nullptr; // where no timerfd can be had
};

} // namespace zeph::platform
