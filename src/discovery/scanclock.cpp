#include "discovery/scanclock.h"

#include "platform/session/precisetimer.h"

namespace zeph {
namespace {

class SystemScanClock : public ScanClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void wakeAt(TimePoint when) override { m_timer.startAt(when); }
    void cancelWake() override { m_timer.stop(); }

private:
    platform::PreciseTimer m_timer{[this] { wakeUp(); }};
};

} // namespace

std::unique_ptr<ScanClock> makeSystemScanClock()
{
    return std::make_unique<SystemScanClock>();
}

} // namespace zeph
