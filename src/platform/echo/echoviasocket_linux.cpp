#include "platform/echo/echoviasocket.h"

#include "platform/icmp/arp.h"
#include "platform/icmp/icmpecho.h"

#include <QSocketNotifier>

#include <algorithm>
#include <sys/socket.h>
#include <vector>

namespace zeph::platform {
namespace {

// A request to an address without a neighbour entry waits in its socket's
// send buffer until ARP settles (up to 3 s): one socket holds about 250. A
// sweep wider than a /24 spreads its requests over a few.
constexpr int kSpareSockets = 3;

// Our own ICMP sockets, read on the event loop.
class SocketTransport : public EchoTransport {
public:
    bool open()
    {
        if (!m_socket.open(true))
            return false;
        m_notifier = std::make_unique<QSocketNotifier>(m_socket.fd(), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { readPending(); });
        for (int i = 0; i < kSpareSockets; ++i) {
            auto spare = std::make_unique<icmp::EchoSocket>();
            if (!spare->open(m_socket.kind() == icmp::SocketKind::Raw) ||
                spare->kind() != m_socket.kind())
                break;
            auto notifier = std::make_unique<QSocketNotifier>(spare->fd(), QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                             [this] { readPending(); });
            m_spares.push_back(std::move(spare));
            m_spareNotifiers.push_back(std::move(notifier));
        }
        // Whoever may open a raw ICMP socket may send ARP as well.
        if (m_socket.kind() == icmp::SocketKind::Raw && m_arp.open()) {
            m_arpNotifier = std::make_unique<QSocketNotifier>(m_arp.fd(), QSocketNotifier::Read);
            QObject::connect(m_arpNotifier.get(), &QSocketNotifier::activated, m_arpNotifier.get(),
                             [this] { readPending(); });
        }
        return true;
    }

    EchoMethod method() const override
    {
        return m_socket.kind() == icmp::SocketKind::Raw ? EchoMethod::Raw : EchoMethod::Datagram;
    }
    // Our own socket sets no floor; the scan's own pacing is all there is.
    std::chrono::nanoseconds minimumInterval() const override { return {}; }

    bool send(Ipv4Address address) override
    {
        const std::size_t pick = m_sent++ % (m_spares.size() + 1);
        return pick == 0 ? m_socket.send(address) : m_spares[pick - 1]->send(address);
    }

    bool asksArp() const override { return m_arp.isOpen(); }
    int maxUnresolved() const override
    {
        int buffer = 0;
        socklen_t length = sizeof buffer;
        // About 1 KiB of buffer per request that waits.
        if (::getsockopt(m_socket.fd(), SOL_SOCKET, SO_SNDBUF, &buffer, &length) != 0)
            return kDefaultMaxUnresolved;
        return std::max(16, buffer / 1024 - 16) * int(m_spares.size() + 1);
    }
    bool sendArp(Ipv4Address address) override { return m_arp.send(address); }

    void readPending() override
    {
        for (const arp::Reply& r : m_arp.readReplies())
            linkAnswered(r.sender, r.linkAddress);
        for (const Ipv4Address from : m_socket.readReplies())
            replied(from);
        for (const auto& spare : m_spares)
            for (const Ipv4Address from : spare->readReplies())
                replied(from);
    }

private:
    icmp::EchoSocket m_socket;
    std::vector<std::unique_ptr<icmp::EchoSocket>> m_spares;
    std::size_t m_sent = 0;
    arp::Socket m_arp;
    std::vector<std::unique_ptr<QSocketNotifier>> m_spareNotifiers;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QSocketNotifier> m_arpNotifier;
};

} // namespace

std::unique_ptr<EchoTransport> openEchoViaSocket()
{
    auto transport = std::make_unique<SocketTransport>();
    if (!transport->open())
        return nullptr;
    return transport;
}

} // namespace zeph::platform
