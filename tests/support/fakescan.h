#pragma once
// The scan's surroundings for tests: a clock that moves only when told, and a
// subnet behind a fake echo transport that answers for chosen host numbers.

#include "addresstext.h"
#include "core/ipv4.h"
#include "discovery/scanclock.h"
#include "platform/echo/echoprobe.h"

#include <QByteArray>
#include <QList>
#include <QMap>
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

// A subnet: the host numbers that answer, the requests that went out. Host
// number n is network + n.
struct FakeLan {
    FakeClock* clock = nullptr;
    Ipv4Address network{10, 213, 7, 0};
    QList<int> answering;
    // Link layer: the card that answers for a host number (ARP, or the
    // kernel's neighbour entry), even when the host ignores echo.
    QMap<int, LinkAddress> cards;
    bool arp = false; // the way out sends ARP itself
    QList<Ipv4Address> arpSent;
    QList<int> unsendable;  // requests that cannot leave
    bool autoAnswer = true; // answering hosts reply before the next step
    std::chrono::nanoseconds interval{0};
    QList<Ipv4Address> sent;
    QList<ScanClock::TimePoint> sentAt;
    FakeTransport* transport = nullptr; // open while a scan runs
    bool probingImpossible = false;
    bool slowed = false; // the way out paced itself slower (a helper without its turn)
};

struct FakeTransport : platform::EchoTransport {
    FakeLan& lan;
    QList<Ipv4Address> arrived;
    QList<Ipv4Address> cardsArrived;
    QObject readable; // like a socket notifier: the event loop reads what arrived

    explicit FakeTransport(FakeLan& l) : lan(l) { lan.transport = this; }
    ~FakeTransport() override { lan.transport = nullptr; }

    platform::EchoMethod method() const override { return platform::EchoMethod::Raw; }
    std::chrono::nanoseconds minimumInterval() const override { return lan.interval; }
    bool slowed() const override { return lan.slowed; }
    int hostOf(Ipv4Address address) const
    {
        return int(address.toHostOrder() - lan.network.toHostOrder());
    }
    bool send(Ipv4Address address) override
    {
        lan.sent << address;
        lan.sentAt << lan.clock->now();
        const int host = hostOf(address);
        if (lan.unsendable.contains(host))
            return false;
        if (lan.autoAnswer && lan.answering.contains(host))
            arrive(arrived, address);
        // Without ARP of our own, the kernel asks: the neighbour table answers.
        if (lan.autoAnswer && !lan.arp && lan.cards.contains(host))
            arrive(cardsArrived, address);
        return true;
    }
    bool asksArp() const override { return lan.arp; }
    bool sendArp(Ipv4Address address) override
    {
        lan.arpSent << address;
        if (lan.unsendable.contains(hostOf(address)))
            return false;
        if (lan.autoAnswer && lan.cards.contains(hostOf(address)))
            arrive(cardsArrived, address);
        return true;
    }
    void readPending() override
    {
        for (const Ipv4Address from : std::exchange(cardsArrived, {}))
            linkAnswered(from, lan.cards.value(hostOf(from)));
        for (const Ipv4Address from : std::exchange(arrived, {}))
            replied(from);
    }
    // A reply that arrives now.
    void reply(Ipv4Address from) { replied(from); }
    // A link-layer answer that arrives now.
    void cardAnswers(Ipv4Address address, const LinkAddress& card) { linkAnswered(address, card); }

private:
    void arrive(QList<Ipv4Address>& queue, Ipv4Address address)
    {
        queue << address;
        QMetaObject::invokeMethod(
            &readable, [this] { readPending(); }, Qt::QueuedConnection);
    }

public:
};

} // namespace zeph::test
