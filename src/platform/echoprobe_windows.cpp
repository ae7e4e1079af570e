#include "platform/echoprobe.h"

#include "core/logging.h"
#include "platform/sockaddr.h"
#include "platform/winsock.h"

#include <QWinEventNotifier>

#include <winsock2.h>
// After winsock2.h: the ICMP functions and their reply structures.
#include <iphlpapi.h>
// After iphlpapi.h, whose types it uses.
#include <icmpapi.h>

#include <list>
#include <memory>
#include <vector>

namespace zeph::platform {
namespace {

using namespace std::chrono_literals;

// The system waits this long for each reply; the scan closes its own answer
// window earlier and ignores what comes after it.
constexpr DWORD kSystemWaitMs = 1000;

// IcmpSendEcho2 with an event: every request runs by itself, its completion
// reported on the event loop through its event.
class IcmpTransport : public EchoTransport {
public:
    ~IcmpTransport() override
    {
        // Requests still running would write into their buffers: closing the
        // handle cancels them before the buffers go.
        if (m_handle != INVALID_HANDLE_VALUE)
            IcmpCloseHandle(m_handle);
        for (Request& r : m_requests)
            finish(r);
    }

    bool open()
    {
        m_handle = IcmpCreateFile();
        if (m_handle == INVALID_HANDLE_VALUE) {
            qCWarning(lcPlatform) << "IcmpCreateFile failed, error" << GetLastError();
            return false;
        }
        return true;
    }

    EchoMethod method() const override { return EchoMethod::IcmpLibrary; }
    std::chrono::nanoseconds minimumInterval() const override { return 0ns; }

    bool send(Ipv4Address address) override
    {
        const IPAddr dest = toInAddr(address).s_addr; // network order
        Request& r = m_requests.emplace_back();
        r.address = address;
        r.dest = dest;
        r.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // Room for one reply with no data, 8 bytes of ICMP error data and the
        // status block (16 bytes) that an asynchronous request needs.
        r.reply.resize(sizeof(ICMP_ECHO_REPLY) + 8 + 16);
        if (!r.event) {
            m_requests.pop_back();
            return false;
        }
        const DWORD rc =
            IcmpSendEcho2(m_handle, r.event, nullptr, nullptr, dest, nullptr, 0, nullptr,
                          r.reply.data(), DWORD(r.reply.size()), kSystemWaitMs);
        if (rc == 0 && GetLastError() != ERROR_IO_PENDING) {
            qCDebug(lcPlatform) << "echo request to" << address.toString().c_str()
                                << "failed, error" << GetLastError();
            finish(r);
            m_requests.pop_back();
            return false;
        }
        auto it = std::prev(m_requests.end());
        r.notifier = std::make_unique<QWinEventNotifier>(r.event);
        QObject::connect(r.notifier.get(), &QWinEventNotifier::activated, r.notifier.get(),
                         [this, it] { complete(it); });
        return true;
    }

    void readPending() override
    {
        for (auto it = m_requests.begin(); it != m_requests.end();) {
            auto next = std::next(it);
            if (WaitForSingleObject(it->event, 0) == WAIT_OBJECT_0)
                complete(it);
            it = next;
        }
    }

private:
    struct Request {
        Ipv4Address address;
        IPAddr dest = 0;
        HANDLE event = nullptr;
        std::vector<char> reply;
        std::unique_ptr<QWinEventNotifier> notifier;
    };

    static void finish(Request& r)
    {
        if (r.notifier)
            r.notifier->setEnabled(false);
        r.notifier.reset();
        if (r.event)
            CloseHandle(r.event);
        r.event = nullptr;
    }

    void complete(std::list<Request>::iterator it)
    {
        Request& r = *it;
        const DWORD count = IcmpParseReplies(r.reply.data(), DWORD(r.reply.size()));
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(r.reply.data());
        // Only an echo reply from the address asked counts, as on the other
        // ways out; unreachable reports and time-outs do not.
        const bool answered = count > 0 && reply->Status == IP_SUCCESS && reply->Address == r.dest;
        const Ipv4Address address = r.address;
        // The notifier may be the caller: it goes after this event is handled.
        r.notifier->setEnabled(false);
        r.notifier.release()->deleteLater();
        CloseHandle(r.event);
        r.event = nullptr;
        m_requests.erase(it);
        if (answered)
            replied(address);
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::list<Request> m_requests;
};

} // namespace

std::unique_ptr<EchoTransport> openEchoTransport(const EchoOptions& options)
{
    Q_UNUSED(options); // no helper on Windows: every user may send echo requests
    if (!win::startWinsock())
        return nullptr;
    auto transport = std::make_unique<IcmpTransport>();
    if (!transport->open()) {
        qCWarning(lcPlatform) << "ICMP echo is not available: the computer list stays empty";
        return nullptr;
    }
    return transport;
}

} // namespace zeph::platform
