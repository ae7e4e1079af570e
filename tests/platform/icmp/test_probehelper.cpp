// The probe helper's parts, without a network or a clock: its line framing,
// the machine's turn (the lock file every helper shares), and the outbox that
// decides when each request leaves and in whose turn.

#include "platform/icmp/outbox.h"
#include "platform/icmp/probeio.h"
#include "platform/icmp/sendturn.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zeph;
using namespace std::chrono_literals;
using probe::Outbox;
using probe::Request;

namespace {

struct FakeTurn : probe::Turn {
    bool isSound = true;
    bool othersHold = false;
    bool othersWait = false;
    bool wanting = false;
    bool held = false;
    int takes = 0;
    int tries = 0;
    int releases = 0;
    bool sound() const override { return isSound; }
    bool tryTake() override
    {
        ++tries;
        if (!isSound || othersHold || held)
            return false;
        held = true;
        ++takes;
        return true;
    }
    void release() override
    {
        held = false;
        ++releases;
    }
    void want(bool wanted) override { wanting = wanted; }
    bool othersWant() const override { return othersWait; }
};

struct Sent {
    Ipv4Address to;
    Outbox::Clock::time_point at;
    bool inTurn = false;
};

struct FakeSender : probe::Sender {
    const Outbox::Clock::time_point& now;
    const FakeTurn& turn;
    std::vector<Sent> sent;
    int bursts = 0;
    FakeSender(const Outbox::Clock::time_point& clock, const FakeTurn& t) : now(clock), turn(t) {}
    void beginBurst() override { ++bursts; }
    void send(const Request& r) override { sent.push_back({r.address, now, turn.held}); }
};

// An outbox on a clock that moves only when the test says so.
struct Rig {
    Outbox::Clock::time_point t{1s};
    FakeTurn turn;
    FakeSender sender{t, turn};
    Outbox box{sender, turn, [this] { return t; }};

    void add(int count, int from = 1)
    {
        for (int i = 0; i < count; ++i)
            QVERIFY(box.add({Ipv4Address(10, 0, 0, std::uint8_t(from + i)), false}));
    }
    // Runs the outbox as the helper does, up to until: wakes when it asks to.
    std::size_t runUntil(Outbox::Clock::time_point until)
    {
        std::size_t done = 0;
        for (int guard = 0; guard < 100000; ++guard) {
            const auto wake = box.wake();
            if (!wake || *wake > until)
                break;
            t = std::max(t, *wake);
            done += box.step();
        }
        return done;
    }
};

void checkGaps(const std::vector<Sent>& sent, Outbox::Clock::duration least)
{
    for (std::size_t i = 1; i < sent.size(); ++i)
        QVERIFY2(sent[i].at - sent[i - 1].at >= least, QByteArray::number(qulonglong(i)));
}

} // namespace

class TestProbeHelper : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesAndRequests()
    {
        probe::LineReader reader;
        std::vector<std::optional<std::string>> lines;
        const auto take = [&lines](std::optional<std::string_view> line) {
            lines.push_back(line ? std::optional(std::string(*line)) : std::nullopt);
        };
        reader.feed("10.0.0.1\narp 10.0", take);
        reader.feed(".0.2\n" + std::string(100, 'x') + "\n\n", take);
        QCOMPARE(lines.size(), std::size_t(4));
        QCOMPARE(lines[0], std::optional<std::string>("10.0.0.1"));
        QCOMPARE(lines[1], std::optional<std::string>("arp 10.0.0.2"));
        QCOMPARE(lines[2], std::nullopt); // too long: once, still answered
        QCOMPARE(lines[3], std::optional<std::string>(""));

        QCOMPARE(probe::requestOf("10.0.0.1", false)->address, Ipv4Address(10, 0, 0, 1));
        QVERIFY(!probe::requestOf("10.0.0.1", false)->arp);
        QVERIFY(probe::requestOf("arp 10.0.0.2", true)->arp);
        QVERIFY(!probe::requestOf("arp 10.0.0.2", false)); // no ARP socket: refused
        QVERIFY(!probe::requestOf("224.0.0.1", false));    // multicast
        QVERIFY(!probe::requestOf("255.255.255.255", false));
        QVERIFY(!probe::requestOf("10.0.0.1 ", false));
    }

    // Only a regular file of root's counts, opened without blocking and
    // without following a link; one holder at a time.
    void theLockIsRootsRegularFile()
    {
        if (geteuid() != 0)
            QSKIP("making root's and another user's files needs root");
        QTemporaryDir dir;
        const auto at = [&dir](const char* name) {
            return QFile::encodeName(dir.filePath(QString::fromLatin1(name)));
        };
        QFile sound(dir.filePath(QStringLiteral("sound")));
        QVERIFY(sound.open(QIODevice::WriteOnly));
        sound.close();
        QVERIFY(probe::SendTurn(at("sound").constData()).sound());
        QCOMPARE(mkfifo(at("fifo").constData(), 0444), 0);
        QVERIFY(!probe::SendTurn(at("fifo").constData()).sound()); // and it did not block
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QVERIFY(!probe::SendTurn(at("folder").constData()).sound());
        QCOMPARE(symlink(at("sound").constData(), at("link").constData()), 0);
        QVERIFY(!probe::SendTurn(at("link").constData()).sound());
        QFile theirs(dir.filePath(QStringLiteral("theirs")));
        QVERIFY(theirs.open(QIODevice::WriteOnly));
        theirs.close();
        QCOMPARE(chown(at("theirs").constData(), 65534, 65534), 0);
        QVERIFY(!probe::SendTurn(at("theirs").constData()).sound());
        QVERIFY(!probe::SendTurn(at("missing").constData()).sound());

        probe::SendTurn first(at("sound").constData());
        probe::SendTurn second(at("sound").constData());
        QVERIFY(first.tryTake());
        QVERIFY(!second.tryTake());
        first.release();
        QVERIFY(second.tryTake());

        // Another helper (a process of its own) says it waits, until it ends.
        int ready[2];
        int release[2];
        QCOMPARE(pipe(ready), 0);
        QCOMPARE(pipe(release), 0);
        const QByteArray path = at("sound");
        const pid_t waiter = fork();
        if (waiter == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            probe::SendTurn turn(path.constData());
            turn.want(true);
            char c = 'w';
            (void)!write(ready[1], &c, 1);
            (void)!read(release[0], &c, 1); // until the test closes its end
            _exit(0);
        }
        QVERIFY(waiter > 0);
        ::close(ready[1]);
        ::close(release[0]);
        char c = 0;
        const bool said = read(ready[0], &c, 1) == 1;
        const bool seen = second.othersWant();
        ::close(release[1]);
        ::close(ready[0]);
        QCOMPARE(waitpid(waiter, nullptr, 0), waiter);
        QVERIFY(said && seen);
        QVERIFY(!second.othersWant());
    }

    // Requests due one after another go in one turn, a floor apart, with one
    // read of the interfaces; the turn goes once the floor has passed after
    // the last.
    void aBurstTakesTheTurnOnce()
    {
        Rig r;
        r.add(3);
        QCOMPARE(r.runUntil(r.t + 1s), std::size_t(3));
        QCOMPARE(r.sender.sent.size(), std::size_t(3));
        checkGaps(r.sender.sent, probe::kFloor);
        QCOMPARE(r.turn.takes, 1);
        QCOMPARE(r.sender.bursts, 1);
        QCOMPARE(r.turn.releases, 1);
        QVERIFY(!r.turn.held);
        QVERIFY(r.t >= r.sender.sent.back().at + probe::kFloor); // released after the floor
        QVERIFY(!r.box.slowed());
    }

    // A long run of requests is read in bursts of kMaxBurst, each with its
    // own read of the interfaces; the turn stays while nobody else waits for
    // it. When another helper waits, the turn goes after the burst and this
    // helper lets kYield pass before it takes it again.
    void longRunsGoInBursts()
    {
        const std::size_t count = Outbox::kMaxBurst + 4;
        Rig alone;
        alone.add(int(count));
        alone.runUntil(alone.t + 1s);
        QCOMPARE(alone.sender.sent.size(), count);
        QCOMPARE(alone.turn.takes, 1);
        QCOMPARE(alone.sender.bursts, 2);
        checkGaps(alone.sender.sent, probe::kFloor);
        QVERIFY(alone.sender.sent[Outbox::kMaxBurst].at -
                    alone.sender.sent[Outbox::kMaxBurst - 1].at <
                Outbox::kYield + probe::kFloor);

        Rig shared;
        shared.turn.othersWait = true;
        shared.add(int(count));
        shared.runUntil(shared.t + 1s);
        QCOMPARE(shared.sender.sent.size(), count);
        QCOMPARE(shared.turn.takes, 2);
        QVERIFY(shared.sender.sent[Outbox::kMaxBurst].at -
                    shared.sender.sent[Outbox::kMaxBurst - 1].at >=
                probe::kFloor + Outbox::kYield);
    }

    // Held by another past the deadline: the helper sends without the turn,
    // at the slower floor, and says it was slowed; once the turn is free
    // again the usual floor is back.
    void aTurnHeldPastTheDeadlineSlowsTheHelper()
    {
        Rig r;
        r.turn.othersHold = true;
        const auto start = r.t;
        r.add(4);
        r.runUntil(start + Outbox::kTurnDeadline - 1ms);
        QVERIFY(r.sender.sent.empty()); // waiting for its turn, and saying so
        QVERIFY(r.turn.tries > 1);
        QVERIFY(r.turn.wanting);
        r.runUntil(start + 200ms);
        QCOMPARE(r.sender.sent.size(), std::size_t(4));
        QVERIFY(r.sender.sent.front().at >= start + Outbox::kTurnDeadline);
        checkGaps(r.sender.sent, probe::kSlowFloor);
        QVERIFY(r.box.slowed());
        QVERIFY(!r.sender.sent.front().inTurn);
        QVERIFY(!r.turn.wanting);

        r.turn.othersHold = false;
        r.sender.sent.clear();
        r.add(3, 100);
        r.runUntil(r.t + 1s);
        QCOMPARE(r.sender.sent.size(), std::size_t(3));
        QVERIFY(r.sender.sent.front().inTurn);
        QVERIFY(r.sender.sent[2].at - r.sender.sent[1].at < probe::kSlowFloor);
    }

    // Without a sound lock no turn can be had: the slower floor from the
    // first request, never none.
    void anUnsoundLockSlowsTheHelper()
    {
        Rig r;
        r.turn.isSound = false;
        r.add(5);
        r.runUntil(r.t + 1s);
        QCOMPARE(r.sender.sent.size(), std::size_t(5));
        checkGaps(r.sender.sent, probe::kSlowFloor);
        QVERIFY(r.box.slowed());
        QCOMPARE(r.turn.takes, 0);
    }

    // A full outbox refuses; all the pacer ever allows gone, every request is
    // still done with, so that the program never waits for one.
    void refusedAndExhausted()
    {
        Rig r;
        std::uint32_t next = Ipv4Address(10, 0, 0, 1).toHostOrder();
        while (r.sender.sent.size() < probe::RequestPacer::kMaxRequests) {
            std::size_t added = 0;
            while (r.box.add({Ipv4Address(next++), false}))
                ++added;
            QCOMPARE(added, Outbox::kMaxWaiting); // then refused
            QCOMPARE(r.runUntil(r.t + 1s), added);
        }
        QCOMPARE(r.sender.sent.size(), probe::RequestPacer::kMaxRequests);
        r.add(3);
        QCOMPARE(r.runUntil(r.t + 1s), std::size_t(3));
        QCOMPARE(r.sender.sent.size(), probe::RequestPacer::kMaxRequests);
    }
};

QTEST_GUILESS_MAIN(TestProbeHelper)
#include "test_probehelper.moc"
