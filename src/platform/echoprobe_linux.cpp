#include "platform/echoprobe.h"

#include "core/logging.h"
#include "platform/icmpecho.h"
#include "platform/spawn.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef ZEPH_PROBE_HELPER_INSTALLED
#define ZEPH_PROBE_HELPER_INSTALLED "/usr/local/libexec/zeph/zeph-probe"
#endif

namespace zeph::platform {
namespace {

using namespace std::chrono_literals;

// The helper keeps this much between two requests: sending faster would only
// queue them there, while their answer windows run here.
constexpr std::chrono::nanoseconds kHelperInterval = 1ms;
// Only a broken helper takes anywhere near this to say whether it can probe.
constexpr int kHelperStartMs = 3000;
constexpr qsizetype kMaxReplyLine = 64;

bool parse(QByteArrayView dotted, in_addr* dest)
{
    const QByteArray text = dotted.toByteArray();
    return icmp::parseDotted(text.constData(), dest);
}

QByteArray dottedText(in_addr address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return QByteArray(text);
}

// Our own ICMP socket, read on the event loop.
class SocketTransport : public EchoTransport {
public:
    bool open()
    {
        if (!m_socket.open(true))
            return false;
        m_notifier = std::make_unique<QSocketNotifier>(m_socket.fd(), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { readPending(); });
        return true;
    }

    EchoMethod method() const override
    {
        return m_socket.kind() == icmp::SocketKind::Raw ? EchoMethod::Raw : EchoMethod::Datagram;
    }
    // Our own socket sets no floor; the scan's own pacing is all there is.
    std::chrono::nanoseconds minimumInterval() const override { return {}; }

    bool send(QByteArrayView dotted) override
    {
        in_addr dest{};
        return parse(dotted, &dest) && m_socket.send(dest);
    }

    void readPending() override
    {
        for (const in_addr& from : m_socket.readReplies())
            replied(dottedText(from));
    }

private:
    icmp::EchoSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// The zeph-probe helper over a socket pair: requests stream out as lines,
// replies stream back as lines.
class HelperTransport : public EchoTransport {
public:
    ~HelperTransport() override { stop(); }

    bool start(const QByteArray& path)
    {
        auto pair = makeSocketPair();
        if (!pair)
            return false;
        SpawnRequest request;
        request.program = path;
        request.argv0 = "zeph-probe";
        request.emptyEnvironment = true;
        request.stdinFd = request.stdoutFd = pair->second.get();
        const auto pid = spawn(request);
        // Our copy of its end goes now, or a helper that dies leaves no EOF.
        pair->second.reset();
        if (!pid)
            return false;
        m_helper = std::move(pair->first);
        m_pid = *pid;
        const QByteArray hello = readHello();
        if (hello == "ok raw" || hello == "ok datagram") {
            m_method = hello == "ok raw" ? EchoMethod::HelperRaw : EchoMethod::HelperDatagram;
        } else {
            qCWarning(lcPlatform) << path << "cannot probe:" << hello
                                  << "(it needs: setcap cap_net_raw+ep" << path << ")";
            stop();
            return false;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_helper.get(), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { readPending(); });
        return true;
    }

    EchoMethod method() const override { return m_method; }
    std::chrono::nanoseconds minimumInterval() const override { return kHelperInterval; }

    bool send(QByteArrayView dotted) override
    {
        in_addr dest{};
        // The helper refuses these too, but silently.
        if (!m_helper || !parse(dotted, &dest) || !icmp::isProbeable(dest))
            return false;
        const QByteArray line = dottedText(dest) + '\n';
        // A line is far below the socket's buffer; a short write means it is gone.
        if (::send(m_helper.get(), line.constData(), size_t(line.size()),
                   MSG_NOSIGNAL | MSG_DONTWAIT) != line.size()) {
            qCWarning(lcPlatform) << "the probe helper has gone";
            stop();
            return false;
        }
        return true;
    }

    void readPending() override
    {
        if (!m_helper)
            return;
        for (;;) {
            char buf[1024];
            const ssize_t n = ::recv(m_helper.get(), buf, sizeof buf, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            if (n <= 0) {
                qCWarning(lcPlatform) << "the probe helper has gone";
                stop();
                break;
            }
            m_pending.append(buf, n);
        }
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            in_addr from{};
            if (parse(line, &from))
                replied(line);
        }
        if (m_pending.size() > kMaxReplyLine)
            m_pending.clear(); // not a line of ours
    }

private:
    QByteArray readHello()
    {
        QByteArray line;
        pollfd pfd{m_helper.get(), POLLIN, 0};
        while (!line.endsWith('\n') && line.size() <= kMaxReplyLine) {
            const int ready = ::poll(&pfd, 1, kHelperStartMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return {};
            // One byte at a time: nothing after the greeting may be taken here.
            char c;
            if (::recv(m_helper.get(), &c, 1, 0) != 1)
                return {};
            line.append(c);
        }
        line.chop(1);
        return line;
    }

    void stop()
    {
        if (m_notifier) {
            // This may run inside the notifier's own signal: it goes later.
            m_notifier->setEnabled(false);
            m_notifier.release()->deleteLater();
        }
        // Its input closes as well: it ends either way.
        m_helper.reset();
        if (m_pid > 0)
            terminateChild(m_pid);
        m_pid = -1;
    }

    UniqueFd m_helper;
    pid_t m_pid = -1;
    EchoMethod m_method = EchoMethod::None;
    QByteArray m_pending;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

QByteArray besideExecutable()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    QByteArray path(buf, n);
    return path.left(path.lastIndexOf('/') + 1) + "zeph-probe";
}

std::unique_ptr<EchoTransport> startHelper(const QByteArray& path)
{
    auto helper = std::make_unique<HelperTransport>();
    if (!helper->start(path))
        return nullptr;
    return helper;
}

} // namespace

std::unique_ptr<EchoTransport> openEchoTransport(const EchoOptions& options)
{
    std::unique_ptr<EchoTransport> transport;
    if (options.inProcess) {
        auto own = std::make_unique<SocketTransport>();
        if (own->open())
            transport = std::move(own);
    }
    if (!transport && !options.helperPath.isEmpty()) {
        transport = startHelper(options.helperPath);
    } else if (!transport) {
        for (const QByteArray& path : {besideExecutable(), QByteArray(ZEPH_PROBE_HELPER_INSTALLED)})
            if (!transport && !path.isEmpty() && ::access(path.constData(), X_OK) == 0)
                transport = startHelper(path);
    }
    if (!transport)
        qCWarning(lcPlatform) << "ICMP echo is not available: the computer list stays empty";
    else
        qCDebug(lcPlatform) << "ICMP echo by" << int(transport->method());
    return transport;
}

} // namespace zeph::platform
