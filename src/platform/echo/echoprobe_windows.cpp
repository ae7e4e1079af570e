#include "platform/echo/echoprobe.h"

#include "core/logging.h"
#include "platform/net/winsock.h"
#include "platform/sockaddr.h"

#include <QTimer>

#include <winsock2.h>
// The completion routine's status block.
#include <winternl.h>
// After winsock2.h: the ICMP functions and their reply structures.
#include <iphlpapi.h>
// After iphlpapi.h, whose types it uses.
#include <icmpapi.h>

#include <chrono>
#include <list>
#include <memory>
#include <tuple>
#include <vector>

namespace zeph::platform {
namespace {

using namespace std::chrono_literals;

// The system waits this long for each reply; the scan closes its own answer
// window earlier and ignores what comes after it.
constexpr DWORD kSystemWaitMs = 1000;
// How often running requests are looked at: well inside an answer window.
constexpr auto kPollInterval = 5ms;

// One request's reply buffer and its completion mark. The completion routine
// holds a reference of its own, so a routine that runs after the transport
// has gone (its requests cancelled) still writes into live memory.
struct Slot {
    std::vector<char> reply;
    bool done = false;
};
using SlotRef = std::shared_ptr<Slot>;

template <typename> struct ParametersOf;
template <typename R, typename... A> struct ParametersOf<R (*)(A...)> {
    using Type = std::tuple<A...>;
};

// Runs on the requesting thread (the UI thread) in an alertable wait.
void NTAPI onReply(void* context, IO_STATUS_BLOCK* /*status*/, ULONG /*reserved*/)
{
    const std::unique_ptr<SlotRef> ref(static_cast<SlotRef*>(context));
    (*ref)->done = true;
}

// onReply as the type the header gives the routine (it differs between SDKs).
auto replyRoutine()
{
    using Routine = decltype(&IcmpSendEcho2);
    using Parameter = std::tuple_element_t<2, ParametersOf<Routine>::Type>;
    return reinterpret_cast<Parameter>(reinterpret_cast<void (*)()>(&onReply));
}

// IcmpSendEcho2 with a completion routine: every request runs by itself, and
// completes by a routine queued to this thread. (With an event instead, Wine
// frees the request's status block while the request still runs, and its
// completion then writes into freed memory.) The routines run whenever the
// thread waits alertably; the event loop looks at the requests every few
// milliseconds while any runs, and lets queued routines run first.
class IcmpTransport : public EchoTransport {
public:
    IcmpTransport()
    {
        m_poll.setTimerType(Qt::PreciseTimer);
        m_poll.setInterval(kPollInterval);
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { readPending(); });
    }

    ~IcmpTransport() override
    {
        // Cancels what still runs; each slot lives on until its routine ran.
        if (m_handle != INVALID_HANDLE_VALUE)
            IcmpCloseHandle(m_handle);
        SleepEx(0, TRUE);
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
        auto slot = std::make_shared<Slot>();
        // Room for one reply with no data, 8 bytes of ICMP error data and the
        // status block (16 bytes) that an asynchronous request needs.
        slot->reply.resize(sizeof(ICMP_ECHO_REPLY) + 8 + 16);
        auto routineRef = std::make_unique<SlotRef>(slot);
        const DWORD rc =
            IcmpSendEcho2(m_handle, nullptr, replyRoutine(), routineRef.get(), dest, nullptr, 0,
                          nullptr, slot->reply.data(), DWORD(slot->reply.size()), kSystemWaitMs);
        if (rc == 0 && GetLastError() != ERROR_IO_PENDING) {
            qCDebug(lcPlatform) << "echo request to" << address.toString().c_str()
                                << "failed, error" << GetLastError();
            return false; // no routine is queued for a request that failed at once
        }
        static_cast<void>(routineRef.release()); // the routine's now
        m_requests.push_back(Request{address, dest, std::move(slot)});
        if (!m_poll.isActive())
            m_poll.start();
        return true;
    }

    void readPending() override
    {
        SleepEx(0, TRUE); // the completion routines queued so far
        for (auto it = m_requests.begin(); it != m_requests.end();) {
            auto next = std::next(it);
            if (it->slot->done)
                complete(it);
            it = next;
        }
        if (m_requests.empty())
            m_poll.stop();
    }

private:
    struct Request {
        Ipv4Address address;
        IPAddr dest = 0;
        SlotRef slot;
    };

    void complete(std::list<Request>::iterator it)
    {
        const std::vector<char>& buffer = it->slot->reply;
        const DWORD count =
            IcmpParseReplies(const_cast<char*>(buffer.data()), DWORD(buffer.size()));
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(buffer.data());
        // Only an echo reply from the address asked counts, as on the other
        // ways out; unreachable reports and time-outs do not.
        const bool answered =
            count > 0 && reply->Status == IP_SUCCESS && reply->Address == it->dest;
        const Ipv4Address address = it->address;
        m_requests.erase(it);
        if (answered)
            replied(address);
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    std::list<Request> m_requests;
    QTimer m_poll;
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
