#pragma once
// The clock and the one wake-up call the scan runs on; tests replace it with a
// clock they move by hand.

#include <chrono>
#include <functional>
#include <memory>

namespace zeph {

class ScanClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~ScanClock() = default;
    virtual TimePoint now() const = 0;
    // Calls the wake-up function once, from the event loop, at when or soon
    // after; replaces a wake-up still pending.
    virtual void wakeAt(TimePoint when) = 0;
    virtual void cancelWake() = 0;

    void setWakeUp(std::function<void()> wakeUp) { m_wakeUp = std::move(wakeUp); }

protected:
    void wakeUp()
    {
        if (m_wakeUp)
            m_wakeUp();
    }

private:
    std::function<void()> m_wakeUp;
};

// steady_clock with a sub-millisecond timer on this thread's event loop.
std::unique_ptr<ScanClock> makeSystemScanClock();

} // namespace zeph
