#include "platform/echoprobe.h"

#include "core/logging.h"
#include "platform/icmpecho.h"
#include "platform/spawn.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef ZEPH_PROBE_HELPER_INSTALLED
#define ZEPH_PROBE_HELPER_INSTALLED "/usr/local/libexec/zeph/zeph-probe"
#endif

namespace zeph::platform {
namespace {

// How long a helper may take beyond the probe's own timeout before it counts
// as hung; only a broken helper ever gets near it.
constexpr int kHelperGraceMs = 1000;
constexpr int kHelperStartMs = 3000;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Prober {
public:
    ~Prober() { stopHelper(); }

    int probe(QByteArrayView address, int timeoutMs)
    {
        std::lock_guard lock(m_mutex);
        in_addr dest{};
        if (!resolve(address, &dest))
            return -1;
        choose();
        switch (m_method) {
        case EchoMethod::Datagram:
        case EchoMethod::Raw:
            return m_socket.probe(dest, timeoutMs);
        case EchoMethod::HelperDatagram:
        case EchoMethod::HelperRaw:
            return askHelper(dest, timeoutMs);
        case EchoMethod::None:
            break;
        }
        return -1;
    }

    EchoMethod method()
    {
        std::lock_guard lock(m_mutex);
        choose();
        return m_method;
    }

    void reset(const QByteArray& helperPath, bool inProcess)
    {
        std::lock_guard lock(m_mutex);
        stopHelper();
        m_socket.close();
        m_chosen = false;
        m_method = EchoMethod::None;
        m_helperPath = helperPath;
        m_inProcess = inProcess;
    }

private:
    static bool resolve(QByteArrayView address, in_addr* dest)
    {
        const QByteArray text = address.toByteArray();
        if (icmp::parseDotted(text.constData(), dest))
            return true;
        addrinfo hints{};
        hints.ai_family = AF_INET;
        addrinfo* list = nullptr;
        if (text.isEmpty() || getaddrinfo(text.constData(), nullptr, &hints, &list) != 0)
            return false;
        *dest = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
        freeaddrinfo(list);
        return true;
    }

    void choose()
    {
        if (m_chosen)
            return;
        m_chosen = true;
        if (m_inProcess && m_socket.open(true)) {
            m_method =
                m_socket.kind() == icmp::SocketKind::Raw ? EchoMethod::Raw : EchoMethod::Datagram;
        } else if (!m_helperPath.isEmpty()) {
            startHelper(m_helperPath);
        } else {
            for (const QByteArray& path :
                 {besideExecutable(), QByteArray(ZEPH_PROBE_HELPER_INSTALLED)})
                if (m_method == EchoMethod::None && !path.isEmpty() &&
                    access(path.constData(), X_OK) == 0)
                    startHelper(path);
        }
        if (m_method == EchoMethod::None)
            qCWarning(lcPlatform) << "ICMP echo is not available: the computer list stays empty";
        else
            qCDebug(lcPlatform) << "ICMP echo by" << int(m_method);
    }

    static QByteArray besideExecutable()
    {
        char buf[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return {};
        QByteArray path(buf, n);
        return path.left(path.lastIndexOf('/') + 1) + "zeph-probe";
    }

    void startHelper(const QByteArray& path)
    {
        auto pair = makeSocketPair();
        if (!pair)
            return;
        SpawnRequest request;
        request.program = path;
        request.argv0 = "zeph-probe";
        request.emptyEnvironment = true;
        request.stdinFd = request.stdoutFd = pair->second.get();
        const auto pid = spawn(request);
        if (!pid)
            return;
        m_helper = std::move(pair->first);
        m_helperPid = *pid;
        const QByteArray hello = readLine(nowMs() + kHelperStartMs);
        if (hello == "ok raw" || hello == "ok datagram") {
            m_method = hello == "ok raw" ? EchoMethod::HelperRaw : EchoMethod::HelperDatagram;
        } else {
            qCWarning(lcPlatform) << path << "cannot probe:" << hello
                                  << "(it needs: setcap cap_net_raw+ep" << path << ")";
            stopHelper();
        }
    }

    void stopHelper()
    {
        // Its input is closed: it ends after the probe in hand, if any.
        m_helper.reset();
        terminateChild(m_helperPid);
        m_helperPid = -1;
        m_method = EchoMethod::None;
    }

    // One line from the helper, without its line break; empty on timeout or EOF.
    QByteArray readLine(std::int64_t deadline)
    {
        QByteArray line;
        for (;;) {
            const std::int64_t left = deadline - nowMs();
            if (left <= 0)
                return {};
            pollfd pfd{m_helper.get(), POLLIN, 0};
            const int ready = poll(&pfd, 1, int(left));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return {};
            char buf[32];
            const ssize_t n = recv(m_helper.get(), buf, sizeof buf, 0);
            if (n <= 0)
                return {};
            line.append(buf, n);
            // One request is in flight at a time, so a line is all there is.
            if (line.endsWith('\n')) {
                line.chop(1);
                return line;
            }
            if (line.size() > 64)
                return {};
        }
    }

    int askHelper(in_addr dest, int timeoutMs)
    {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &dest, text, sizeof text);
        const QByteArray request = QByteArray(text) + ' ' + QByteArray::number(timeoutMs) + '\n';
        if (send(m_helper.get(), request.constData(), size_t(request.size()), MSG_NOSIGNAL) !=
            request.size()) {
            qCWarning(lcPlatform) << "the probe helper has gone";
            stopHelper();
            return -1;
        }
        const QByteArray reply = readLine(nowMs() + timeoutMs + kHelperGraceMs);
        bool ok = false;
        const int ms = reply.toInt(&ok);
        if (!ok || ms < -1) {
            qCWarning(lcPlatform) << "the probe helper does not answer; probing stops";
            stopHelper();
            return -1;
        }
        return ms;
    }

    std::mutex m_mutex;
    bool m_chosen = false;
    bool m_inProcess = true;
    EchoMethod m_method = EchoMethod::None;
    QByteArray m_helperPath;
    icmp::EchoSocket m_socket;
    UniqueFd m_helper;
    pid_t m_helperPid = -1;
};

Prober& prober()
{
    static Prober p;
    return p;
}

} // namespace

int echoProbe(QByteArrayView address, int timeoutMs)
{
    return prober().probe(address, timeoutMs);
}

EchoMethod echoMethod()
{
    return prober().method();
}

void resetEchoProbe(const QByteArray& helperPath, bool inProcess)
{
    prober().reset(helperPath, inProcess);
}

} // namespace zeph::platform
