#include "platform/echoviasocket.h"

#include "platform/icmp/arp.h"
#include "platform/icmp/icmpecho.h"

#include <QSocketNotifier>

namespace zeph::platform {
namespace {

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

    bool send(Ipv4Address address) override { return m_socket.send(address); }

    bool asksArp() const override { return m_arp.isOpen(); }
    bool sendArp(Ipv4Address address) override { return m_arp.send(address); }

    void readPending() override
    {
        for (const arp::Reply& r : m_arp.readReplies())
            linkAnswered(r.sender, r.linkAddress);
        for (const Ipv4Address from : m_socket.readReplies())
            replied(from);
    }

private:
    icmp::EchoSocket m_socket;
    arp::Socket m_arp;
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
