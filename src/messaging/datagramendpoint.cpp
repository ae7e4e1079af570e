#include "messaging/datagramendpoint.h"

#include "core/logging.h"
#include "messaging/datagramreader.h"
#include "messaging/messageformat.h"
#include "platform/sockaddr.h"

#include <QPointer>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zeph {
namespace {

int growReceiveBuffer(int fd)
{
    // SO_RCVBUFFORCE passes net.core.rmem_max but needs CAP_NET_ADMIN; without
    // it SO_RCVBUF takes what the limit allows.
    const int want = DatagramEndpoint::kReceiveBufferRequest;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof want) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof want);
    int got = 0;
    socklen_t len = sizeof got;
    if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &got, &len) != 0)
        return 0;
    return got;
}

} // namespace

DatagramEndpoint::DatagramEndpoint(QObject* parent) : DatagramEndpoint(Socket::Open, parent) {}

DatagramEndpoint::DatagramEndpoint(Socket socket, QObject* parent)
    : QObject(parent), m_enabled(socket == Socket::Open)
{
    open();
}

DatagramEndpoint::~DatagramEndpoint()
{
    // The reader is joined before the queue and the socket go; a delivery it
    // posted dies with this object.
    close();
}

void DatagramEndpoint::setPort(int port)
{
    port = std::max(port, 1);
    if (port == m_port)
        return;
    m_port = port;
    open();
}

void DatagramEndpoint::close()
{
    m_reader.reset();
    m_fd.reset();
    m_receiveBuffer = 0;
}

void DatagramEndpoint::open()
{
    close();
    if (!m_enabled)
        return;
    platform::UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        qCWarning(lcMessaging) << "cannot create a UDP socket:" << strerror(errno);
        return;
    }
    // No option is set before the bind: without address reuse a port that
    // another program holds stays its own, and the endpoint is then without a
    // socket. Not marked for broadcast: messages only ever go to one computer.
    const sockaddr_in any = platform::toSockaddr(Ipv4Address(), message::wirePort(m_port));
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        qCWarning(lcMessaging) << "cannot bind UDP port" << message::wirePort(m_port) << ":"
                               << strerror(errno);
        return;
    }
    m_fd = std::move(fd);
    m_receiveBuffer = growReceiveBuffer(m_fd.get());
    m_reader =
        std::make_unique<DatagramReader>(m_fd.get(), m_queue, [this] { scheduleDelivery(); });
    if (!m_reader->running()) {
        close();
        return;
    }
    qCDebug(lcMessaging) << "listening on UDP port" << message::wirePort(m_port) << "receive buffer"
                         << m_receiveBuffer;
}

void DatagramEndpoint::scheduleDelivery()
{
    // Runs on the reader thread as well: a posted call is the one safe way in.
    QMetaObject::invokeMethod(this, &DatagramEndpoint::deliver, Qt::QueuedConnection);
}

void DatagramEndpoint::deliver()
{
    // One slice: datagrams in arrival order until the queue is empty or the slice
    // is used up; then the rest waits for the next pass of the event loop, after
    // the input and timers that came in meanwhile.
    const auto until = std::chrono::steady_clock::now() + kDeliverySlice;
    const QPointer<DatagramEndpoint> alive(this);
    while (std::optional<QByteArray> datagram = m_queue.take()) {
        Q_EMIT dataArrived(*datagram);
        if (alive.isNull())
            return; // a handler destroyed the endpoint
        if (std::chrono::steady_clock::now() >= until) {
            scheduleDelivery();
            return;
        }
    }
}

bool DatagramEndpoint::send(Ipv4Address address, int port, QByteArrayView data)
{
    if (!m_fd)
        return false;
    if (data.isEmpty())
        return true;
    if (data.size() > message::kMaxDatagramSize) {
        qCDebug(lcMessaging) << "datagram of" << data.size() << "bytes is too large for UDP";
        return false;
    }
    const sockaddr_in to = platform::toSockaddr(address, message::wirePort(port));
    ssize_t sent = 0;
    do {
        sent = sendto(m_fd.get(), data.data(), static_cast<size_t>(data.size()), 0,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent != data.size()) {
        qCDebug(lcMessaging) << "send to" << address.toString().c_str()
                             << "failed:" << strerror(errno);
        return false;
    }
    return true;
}

} // namespace zeph
