// A burst of 10,000 back-to-back 100-byte messages from another process into a
// running copy (the whole program in-process: window, pane, history, messaging;
// offscreen unless QT_QPA_PLATFORM says otherwise) on loopback: how many reach
// the history, and how long the whole burst takes to be handled.
//
// It only ever runs inside a private network namespace with loopback alone: if
// started elsewhere it re-executes itself under `unshare --net` (root needed),
// and refuses to run if that did not give it a private namespace.
//   message_burst [COUNT]

#include "app/zephapp.h"
#include "core/gbk.h"
#include "history/history.h"
#include "messaging/messageformat.h"
#include "messaging/messenger.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace zeph;

namespace {

constexpr int kDefaultCount = 10000;
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

double secondsNow()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The sender: a plain socket in a child process, every datagram back to back.
// Reports through the pipe how many sends failed and how long sending took.
[[noreturn]] void sendBurst(const std::vector<QByteArray>& datagrams, int reportFd)
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(message::wirePort(message::kMessagePort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int failed = 0;
    const double start = secondsNow();
    for (const QByteArray& d : datagrams) {
        if (sendto(fd, d.constData(), static_cast<size_t>(d.size()), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) != d.size())
            ++failed;
    }
    const double report[2] = {static_cast<double>(failed), secondsNow() - start};
    if (write(reportFd, report, sizeof report) != static_cast<ssize_t>(sizeof report))
        _exit(1);
    _exit(0);
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
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultCount;

    // A copy of its own: its marker and autostart entry go to a temporary home.
    QTemporaryDir home;
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    ZephApp copy;
    if (!copy.start())
        return 1;
    History& history = copy.history();
    Messenger& messenger = copy.messenger();
    if (!messenger.endpoint().isOpen()) {
        std::fprintf(stderr, "message_burst: cannot open UDP port 40027\n");
        return 1;
    }

    // Well-formed messages of exactly kMessageSize bytes, each with its number.
    const QByteArray header =
        message::compose("BURST", message::timestampText(QDateTime::currentDateTime()),
                         message::directPhrase(), "", "");
    std::vector<QByteArray> datagrams;
    datagrams.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        QByteArray content = QByteArray::number(i);
        content += QByteArray(kMessageSize - header.size() - content.size(), '.');
        datagrams.push_back(message::compose("BURST",
                                             message::timestampText(QDateTime::currentDateTime()),
                                             message::directPhrase(), content, ""));
        datagrams.back().resize(kMessageSize, '.');
    }

    int arrived = 0;
    double lastArrival = 0;
    QObject::connect(&messenger.endpoint(), &DatagramEndpoint::dataArrived, [&] {
        ++arrived;
        lastArrival = secondsNow();
    });

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 1;
    const double start = secondsNow();
    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child == 0) {
        close(pipeFds[0]);
        sendBurst(datagrams, pipeFds[1]);
    }
    close(pipeFds[1]);

    // Stop when all are in, or one second after the sender ended without news.
    bool senderDone = false;
    double senderEnd = 0;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        int status = 0;
        if (!senderDone && waitpid(child, &status, WNOHANG) == child) {
            senderDone = true;
            senderEnd = secondsNow();
        }
        const double now = secondsNow();
        if (arrived >= count || (senderDone && now - std::max(senderEnd, lastArrival) > 1.0) ||
            now - start > 30.0)
            app.quit();
    });
    poll.start();
    QApplication::exec();
    if (!senderDone)
        waitpid(child, nullptr, 0);

    double report[2] = {-1, -1};
    if (read(pipeFds[0], report, sizeof report) != static_cast<ssize_t>(sizeof report))
        std::fprintf(stderr, "message_burst: no report from the sender\n");
    close(pipeFds[0]);

    const QByteArray record = "\r\n" + History::separator() + "\r\n|BURST|";
    const qsizetype inHistory = history.text().count(record);
    const double total = arrived > 0 ? lastArrival - start : 0;
    std::printf("message_burst: %d messages of %d bytes, sender in another process, euid %u\n",
                count, kMessageSize, static_cast<unsigned>(geteuid()));
    std::printf("  receive buffer granted : %d bytes\n", messenger.endpoint().receiveBufferSize());
    std::printf("  sender                 : %.0f failed sends, %.3f s to send all\n", report[0],
                report[1]);
    std::printf("  arrived in history     : %lld of %d (%lld lost)\n",
                static_cast<long long>(inHistory), count,
                static_cast<long long>(count - inHistory));
    std::printf("  whole burst handled in : %.3f s (%.2f us per message)\n", total,
                total * 1e6 / count);
    const bool met = inHistory == count && total < 2.0;
    std::printf("  target (none lost, under 2 s): %s\n", met ? "met" : "NOT met");
    return 0;
}
