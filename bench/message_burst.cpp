// Datagram floods from another process into a running copy (the whole program
// in-process: window, pane, history, messaging; offscreen unless QT_QPA_PLATFORM
// says otherwise) on loopback, 100-byte messages:
//   burst : COUNT (10,000) back to back: how many reach the history, how long
//           the whole burst takes to be handled and to be shown in the pane,
//           how many insertions the pane took, and the UI thread's CPU time;
//   paced : 100,000 sent at 100,000 per second: how many are lost;
//   flood : 10 s at the sender's full speed while an input event arrives every
//           50 ms, by the two ways input reaches the window: a posted event and
//           a readable descriptor (as the display connection is); their delays,
//           p50, p99 and the maximum, until the backlog has been shown, and
//           how long after the flood's end the backlog was gone.
// Each scenario runs in a fresh copy of its own.
//
// It only ever runs inside a private network namespace with loopback alone: if
// started elsewhere it re-executes itself under `unshare --net` (root needed),
// and refuses to run if that did not give it a private namespace.
//   message_burst [burst|paced|flood|all] [COUNT]

#include "app/zephapp.h"
#include "core/gbk.h"
#include "history/history.h"
#include "messaging/messageformat.h"
#include "messaging/messenger.h"
#include "ui/mainwindow.h"
#include "ui/windowdef.h"

#include <QApplication>
#include <QFile>
#include <QInputDevice>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zeph;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBurstCount = 10000;
constexpr int kPacedCount = 100000;
constexpr int kPacedRate = 100000; // per second
constexpr std::chrono::seconds kFloodLength{10};
constexpr std::chrono::milliseconds kInputInterval{50};
constexpr int kMessageSize = 100;
constexpr const char* kReexecMark = "ZEPH_BURST_IN_NETNS";

bool onlyLoopbackUp()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool only = true;
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if ((i->ifa_flags & IFF_UP) && !(i->ifa_flags & IFF_LOOPBACK))
            only = false;
    }
    freeifaddrs(list);
    return only;
}

void ensurePrivateNamespace(char** argv)
{
    if (onlyLoopbackUp())
        return;
    if (std::getenv(kReexecMark) != nullptr) {
        std::fprintf(stderr, "message_burst: interfaces other than loopback are up; refusing "
                             "to send. Start it as root, or under `unshare --net`.\n");
        std::exit(2);
    }
    setenv(kReexecMark, "1", 1);
    std::vector<char*> args = {
        const_cast<char*>("unshare"), const_cast<char*>("--net"),
        const_cast<char*>("--"),      const_cast<char*>("sh"),
        const_cast<char*>("-c"),      const_cast<char*>("ip link set lo up && exec \"$0\" \"$@\"")};
    for (char** a = argv; *a != nullptr; ++a)
        args.push_back(*a);
    args.push_back(nullptr);
    execvp("unshare", args.data());
    std::fprintf(stderr, "message_burst: cannot run unshare: %s\n", std::strerror(errno));
    std::exit(2);
}

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Well-formed messages of exactly kMessageSize bytes, each with its number.
QByteArray numberedMessage(int i)
{
    static const QByteArray stamp = message::timestampText(QDateTime::currentDateTime());
    QByteArray d =
        message::compose("BURST", stamp, message::directPhrase(), QByteArray::number(i) + ' ', "");
    d.resize(kMessageSize, '.');
    return d;
}

// What the sender child reports through its pipe.
struct SenderReport {
    double sent = 0;
    double failed = 0;
    double seconds = 0;
};

// The sender: a plain socket in a child process. With a rate, datagram i leaves
// at i / rate seconds; without one, back to back; with a length, it goes on
// sending (numbers wrapping) until that much time has passed.
[[noreturn]] void sendFrom(const std::vector<QByteArray>& datagrams, int rate,
                           std::chrono::seconds length, int reportFd)
{
    // Only system calls here: the parent has threads, and one of them may have
    // held the allocator's lock when it forked.
    const long count = static_cast<long>(datagrams.size());
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(message::wirePort(message::kMessagePort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SenderReport report;
    const auto start = Clock::now();
    for (long i = 0;; ++i) {
        if (length.count() > 0 ? Clock::now() - start >= length : i >= count)
            break;
        if (rate > 0) {
            const auto due = start + std::chrono::nanoseconds(i * 1'000'000'000L / rate);
            while (Clock::now() < due) {
            }
        }
        const QByteArray& d = datagrams[static_cast<size_t>(i % count)];
        ++report.sent;
        if (sendto(fd, d.constData(), static_cast<size_t>(d.size()), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) != d.size())
            ++report.failed;
    }
    report.seconds = since(start);
    if (write(reportFd, &report, sizeof report) != static_cast<ssize_t>(sizeof report))
        _exit(1);
    _exit(0);
}

// A copy of its own: its marker and autostart entry go to a temporary home.
struct Copy {
    QTemporaryDir home;
    std::unique_ptr<ZephApp> app;

    bool start()
    {
        qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        app = std::make_unique<ZephApp>();
        if (!app->start() || !app->messenger().endpoint().isOpen()) {
            std::fprintf(stderr, "message_burst: cannot start a copy on UDP port 40027\n");
            return false;
        }
        return true;
    }
    // Counted in the whole history, the part moved out of memory included.
    qsizetype inHistory()
    {
        const QString path = home.filePath(QStringLiteral("saved.txt"));
        if (!app->history().save(path))
            return -1;
        QFile saved(path);
        if (!saved.open(QIODevice::ReadOnly))
            return -1;
        return saved.readAll().count("\r\n" + History::separator() + "\r\n|BURST|");
    }
};

// Runs the sender in a child process and the event loop until every datagram
// it sent has been shown, or one second after the last arrival once the
// sender is done and nothing is queued.
struct Run {
    SenderReport sender;
    int arrived = 0;
    double lastArrival = 0; // seconds after the start
    double senderDone = 0;
    double lastShown = 0; // the pane's last insertion, seconds after the start
    int paneInsertions = 0;
    double uiCpu = 0; // seconds of the UI thread
    qsizetype peakQueued = 0;
};

double threadCpuSeconds()
{
    rusage r{};
    getrusage(RUSAGE_THREAD, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

Run runSender(Copy& copy, int count, int rate, std::chrono::seconds length)
{
    Run run;
    std::vector<QByteArray> datagrams;
    for (int i = 0; i < count; ++i)
        datagrams.push_back(numberedMessage(i));
    DatagramEndpoint& endpoint = copy.app->messenger().endpoint();
    const auto start = Clock::now();
    const double cpuAtStart = threadCpuSeconds();
    const QMetaObject::Connection counting =
        QObject::connect(&endpoint, &DatagramEndpoint::dataArrived, [&] {
            ++run.arrived;
            run.lastArrival = since(start);
        });
    QTextDocument* pane =
        copy.app->window().control<QPlainTextEdit>(ui::name::kHistoryBox)->document();
    const QMetaObject::Connection showing =
        QObject::connect(pane, &QTextDocument::contentsChange, [&] {
            ++run.paneInsertions;
            run.lastShown = since(start);
        });
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        std::exit(1);
    const pid_t child = fork();
    if (child < 0)
        std::exit(1);
    if (child == 0) {
        close(pipeFds[0]);
        sendFrom(datagrams, rate, length, pipeFds[1]);
    }
    close(pipeFds[1]);

    bool done = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        run.peakQueued = std::max(run.peakQueued, endpoint.queued());
        if (!done && waitpid(child, nullptr, WNOHANG) == child) {
            done = true;
            run.senderDone = since(start);
        }
        const double now = since(start);
        const bool allIn = done && length.count() == 0 && run.arrived >= count;
        const bool quiet =
            done && endpoint.queued() == 0 && now - std::max(run.senderDone, run.lastArrival) > 1.0;
        if (allIn || quiet || now > 120.0)
            QCoreApplication::quit();
    });
    poll.start();
    QApplication::exec();
    if (!done)
        waitpid(child, nullptr, 0);
    if (read(pipeFds[0], &run.sender, sizeof run.sender) != static_cast<ssize_t>(sizeof run.sender))
        std::fprintf(stderr, "message_burst: no report from the sender\n");
    close(pipeFds[0]);
    QObject::disconnect(counting);
    QObject::disconnect(showing);
    run.uiCpu = threadCpuSeconds() - cpuAtStart;
    return run;
}

void burst(int count)
{
    Copy copy;
    if (!copy.start())
        return;
    const Run run = runSender(copy, count, 0, std::chrono::seconds(0));
    const qsizetype shown = copy.inHistory();
    std::printf("burst: %d messages of %d bytes back to back, sender in another process\n", count,
                kMessageSize);
    std::printf("  receive buffer granted : %d bytes\n",
                copy.app->messenger().endpoint().receiveBufferSize());
    std::printf("  sender                 : %.0f failed sends, %.3f s to send all\n",
                run.sender.failed, run.sender.seconds);
    std::printf("  arrived in history     : %lld of %d (%lld lost), peak queued %lld\n",
                static_cast<long long>(shown), count, static_cast<long long>(count - shown),
                static_cast<long long>(run.peakQueued));
    std::printf("  whole burst handled in : %.3f s (%.2f us per message)\n", run.lastArrival,
                run.lastArrival * 1e6 / count);
    std::printf("  whole burst shown in   : %.3f s, %.3f s after the sender was done; "
                "%d pane insertions\n",
                run.lastShown, run.lastShown - run.senderDone, run.paneInsertions);
    std::printf("  UI thread CPU          : %.3f s (%.2f us per message)\n", run.uiCpu,
                run.uiCpu * 1e6 / count);
    std::printf("  target (none lost, shown within 0.3 s): %s\n",
                shown == count && run.lastShown <= 0.3 ? "met" : "NOT met");
}

void paced()
{
    Copy copy;
    if (!copy.start())
        return;
    const Run run = runSender(copy, kPacedCount, kPacedRate, std::chrono::seconds(0));
    const qsizetype shown = copy.inHistory();
    std::printf("paced: %d messages of %d bytes at %d per second\n", kPacedCount, kMessageSize,
                kPacedRate);
    std::printf("  sender                 : %.0f failed sends, %.3f s to send all (%.0f per s)\n",
                run.sender.failed, run.sender.seconds, run.sender.sent / run.sender.seconds);
    std::printf("  arrived in history     : %lld of %d (%lld lost), peak queued %lld\n",
                static_cast<long long>(shown), kPacedCount,
                static_cast<long long>(kPacedCount - shown),
                static_cast<long long>(run.peakQueued));
    std::printf("  all shown after        : %.3f s\n", run.lastArrival);
    std::printf("  target (none lost): %s\n", shown == kPacedCount ? "met" : "NOT met");
}

// Delays of input events, in milliseconds.
struct Delays {
    std::vector<double> ms;
    void print(const char* what) const
    {
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        auto at = [&s](double q) {
            return s.empty() ? 0.0 : s[std::min(s.size() - 1, static_cast<size_t>(q * s.size()))];
        };
        std::printf("  %-22s : %zu events, p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", what, s.size(),
                    at(0.5), at(0.99), s.empty() ? 0.0 : s.back());
    }
    bool met() const
    {
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        return !s.empty() &&
               s[std::min(s.size() - 1, static_cast<size_t>(0.99 * s.size()))] <= 50.0 &&
               s.back() <= 100.0;
    }
};

// A key event that carries the moment it was posted.
class StampedKey : public QKeyEvent {
public:
    explicit StampedKey(Clock::time_point at)
        : QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier), posted(at)
    {
    }
    const Clock::time_point posted;
};

class KeyWatch : public QObject {
public:
    Delays delays;
    bool measuring = true;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (auto* key = dynamic_cast<StampedKey*>(event)) {
            if (measuring)
                delays.ms.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - key->posted).count());
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

void flood()
{
    Copy copy;
    if (!copy.start())
        return;
    ui::MainWindow& window = copy.app->window();

    // Input from outside the UI thread, every 50 ms: a posted key event, and a
    // time stamp written to a pipe that a socket notifier reads.
    KeyWatch posted;
    window.installEventFilter(&posted);
    Delays readable;
    int input[2];
    if (pipe(input) != 0)
        return;
    QSocketNotifier notifier(input[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        Clock::rep stamp = 0;
        if (read(input[0], &stamp, sizeof stamp) == static_cast<ssize_t>(sizeof stamp) &&
            posted.measuring)
            readable.ms.push_back(std::chrono::duration<double, std::milli>(
                                      Clock::now() - Clock::time_point(Clock::duration(stamp)))
                                      .count());
    });
    QInputDevice::primaryKeyboard(); // made here, on the thread that owns the application
    std::atomic<bool> typing = true;
    std::thread typist([&] {
        auto next = Clock::now();
        while (typing) {
            next += kInputInterval;
            std::this_thread::sleep_until(next);
            const auto now = Clock::now();
            QCoreApplication::postEvent(&window, new StampedKey(now));
            const Clock::rep stamp = now.time_since_epoch().count();
            if (write(input[1], &stamp, sizeof stamp) != static_cast<ssize_t>(sizeof stamp))
                break;
        }
    });

    const Run run = runSender(copy, 1000, 0, kFloodLength);
    typing = false;
    typist.join();
    posted.measuring = false;
    QCoreApplication::processEvents();
    close(input[0]);
    close(input[1]);

    std::printf("flood: %lld s at the sender's full speed, %d-byte messages, input every %lld ms\n",
                static_cast<long long>(kFloodLength.count()), kMessageSize,
                static_cast<long long>(kInputInterval.count()));
    std::printf("  sender                 : %.0f sent (%.0f per s), %.0f failed\n", run.sender.sent,
                run.sender.sent / run.sender.seconds, run.sender.failed);
    std::printf("  shown                  : %d (%.0f per s), peak queued %lld, last shown "
                "%.3f s after the start\n",
                run.arrived, run.arrived / run.lastArrival, static_cast<long long>(run.peakQueued),
                run.lastArrival);
    std::printf("  dropped by the kernel  : %.0f (the queue's bound holds the rest back)\n",
                run.sender.sent - run.sender.failed - run.arrived);
    const double backlog = std::max(0.0, run.lastShown - run.senderDone);
    std::printf("  backlog gone           : %.3f s after the flood's end; %d pane insertions; "
                "UI thread CPU %.3f s\n",
                backlog, run.paneInsertions, run.uiCpu);
    posted.delays.print("posted key event");
    readable.print("readable descriptor");
    std::printf("  target (p99 <= 50 ms, max <= 100 ms): %s\n",
                posted.delays.met() && readable.met() ? "met" : "NOT met");
    std::printf("  target (backlog gone within 5 s): %s\n", backlog <= 5.0 ? "met" : "NOT met");
}

} // namespace

int main(int argc, char** argv)
{
    ensurePrivateNamespace(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform warns at every raise() of the window.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg || !text.contains(QStringLiteral("does not support")))
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const std::string which = argc > 1 ? argv[1] : "all";
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : kBurstCount;
    std::printf("message_burst: euid %u\n", static_cast<unsigned>(geteuid()));
    if (which == "burst" || which == "all")
        burst(count);
    if (which == "paced" || which == "all")
        paced();
    if (which == "flood" || which == "all")
        flood();
    std::fflush(stdout);
    return 0;
}
