#pragma once
// The scan's surroundings for tests: a clock that moves only when told, and a
// subnet behind a fake echo transport that answers for chosen host numbers.

#include "addresstext.h"
#include "core/ipv4.h"
#include "discovery/scanclock.h"
#include "platform/echoprobe.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

namespace zeph::test {

// Time moves only when the test moves it.
struct FakeClock : ScanClock {
    TimePoint t{std::chrono::seconds(1000)};
    std::optional<TimePoint> wake;

    TimePoint now() const override { return t; }
    void wakeAt(TimePoint when) override { wake = when; }
    void cancelWake() override { wake.reset(); }

    // Moves time on by d, waking the scan at every point it asked for.
    void advance(std::chrono::nanoseconds d)
    {
        const TimePoint end = t + d;
        while (wake && *wake <= end) {
            t = std::max(t, *wake);
            wake.reset();
            wakeUp();
        }
        t = end;
    }
    // Time passes while the event loop is busy elsewhere: no wake-up runs.
    void stall(std::chrono::nanoseconds d) { t += d; }
};

struct FakeTransport;

// A subnet: the host numbers that answer, the requests that went out.
struct FakeLan {
    FakeClock* clock = nullptr;
    QList<int> answering;
    QList<int> unsendable;  // requests that cannot leave
    bool autoAnswer = true; // answering hosts reply before the next step
    std::chrono::nanoseconds interval{0};
    QList<Ipv4Address> sent;
    QList<ScanClock::TimePoint> sentAt;
    FakeTransport* transport = nullptr; // open while a scan runs
    bool probingImpossible = false;
};

struct FakeTransport : platform::EchoTransport {
    FakeLan& lan;
    QList<Ipv4Address> arrived;
    QObject readable; // like a socket notifier: the event loop reads what arrived

    explicit FakeTransport(FakeLan& l) : lan(l) { lan.transport = this; }
    ~FakeTransport() override { lan.transport = nullptr; }

    platform::EchoMethod method() const override { return platform::EchoMethod::Raw; }
    std::chrono::nanoseconds minimumInterval() const override { return lan.interval; }
    bool send(Ipv4Address address) override
    {
        lan.sent << address;
        lan.sentAt << lan.clock->now();
        const int host = address[3];
        if (lan.unsendable.contains(host))
            return false;
        if (lan.autoAnswer && lan.answering.contains(host)) {
            arrived << address;
            QMetaObject::invokeMethod(
                &readable, [this] { readPending(); }, Qt::QueuedConnection);
        }
        return true;
    }
    void readPending() override
    {
        for (const Ipv4Address from : std::exchange(arrived, {}))
            replied(from);
    }
    // A reply that arrives now.
    void reply(Ipv4Address from) { replied(from); }
};

} // namespace zeph::test
