#include "platform/echoviasocket.h"

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
        return true;
    }

    EchoMethod method() const override
    {
        return m_socket.kind() == icmp::SocketKind::Raw ? EchoMethod::Raw : EchoMethod::Datagram;
    }
    // Our own socket sets no floor; the scan's own pacing is all there is.
    std::chrono::nanoseconds minimumInterval() const override { return {}; }

    bool send(Ipv4Address address) override { return m_socket.send(address); }

    void readPending() override
    {
        for (const Ipv4Address from : m_socket.readReplies())
            replied(from);
    }

private:
    icmp::EchoSocket m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
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
