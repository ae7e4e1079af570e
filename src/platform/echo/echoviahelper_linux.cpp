#include "platform/echo/echoviahelper.h"

#include "core/logging.h"
#include "platform/icmp/icmpecho.h"
#include "platform/icmp/probeprotocol.h"
#include "platform/process/spawn.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <string>
#include <sys/socket.h>

namespace zeph::platform {
namespace {

// Only a broken helper takes anywhere near this to say whether it can probe.
constexpr int kHelperStartMs = 3000;
constexpr qsizetype kMaxLine = qsizetype(probe::kMaxLine);
constexpr std::chrono::milliseconds kDoneTimeout{100};

bool isLine(const QByteArray& line, std::string_view expected)
{
    return QByteArrayView(line) == QByteArrayView(expected.data(), qsizetype(expected.size()));
}

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
        if (isLine(hello, probe::kHelloRaw) || isLine(hello, probe::kHelloRawArp)) {
            m_method = EchoMethod::HelperRaw;
            m_arp = isLine(hello, probe::kHelloRawArp);
        } else if (isLine(hello, probe::kHelloDatagram)) {
            m_method = EchoMethod::HelperDatagram;
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
    // The helper keeps its floor between two requests, counted from when it
    // woke to send the last: a loaded machine makes it slower than the floor,
    // and requests sent at the floor would queue there (on a /22, for
    // seconds) while their answer windows run here.
    std::chrono::nanoseconds minimumInterval() const override { return probe::kFloor; }
    // One request waits there at most; a "done" lost would stall the scan,
    // so a request older than this counts as gone.
    bool busy() const override
    {
        return m_inFlight > 0 && std::chrono::steady_clock::now() - m_lastWrite < kDoneTimeout;
    }

    bool slowed() const override { return m_slowed; }

    bool send(Ipv4Address address) override
    {
        // The helper refuses these too, but silently.
        return icmp::isProbeable(address) && sendLine(probe::line(address));
    }

    bool asksArp() const override { return m_arp; }
    bool sendArp(Ipv4Address address) override
    {
        return m_arp && sendLine(probe::arpRequestLine(address));
    }

    bool sendLine(const std::string& line)
    {
        if (!m_helper)
            return false;
        // A line is far below the socket's buffer; a short write means it is gone.
        if (::send(m_helper.get(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
            ssize_t(line.size())) {
            qCWarning(lcPlatform) << "the probe helper has gone";
            stop();
            return false;
        }
        ++m_inFlight;
        m_lastWrite = std::chrono::steady_clock::now();
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
            const std::string_view text(line.constData(), std::size_t(line.size()));
            if (text == probe::kDone)
                m_inFlight = std::max(0, m_inFlight - 1);
            else if (text == probe::kSlowed)
                m_slowed = true;
            else if (const auto from = probe::parseLine(text))
                replied(*from);
            else if (const auto arp = m_arp ? probe::parseArpReplyLine(text) : std::nullopt)
                linkAnswered(arp->address, arp->card);
        }
        if (m_pending.size() > kMaxLine)
            m_pending.clear(); // not a line of ours
    }

private:
    QByteArray readHello()
    {
        QByteArray line;
        pollfd pfd{m_helper.get(), POLLIN, 0};
        while (!line.endsWith('\n') && line.size() <= kMaxLine) {
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
    bool m_arp = false;
    int m_inFlight = 0; // request lines written, not yet done
    bool m_slowed = false;
    std::chrono::steady_clock::time_point m_lastWrite;
    QByteArray m_pending;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace

std::unique_ptr<EchoTransport> startEchoViaHelper(const QByteArray& path)
{
    auto helper = std::make_unique<HelperTransport>();
    if (!helper->start(path))
        return nullptr;
    return helper;
}

} // namespace zeph::platform
