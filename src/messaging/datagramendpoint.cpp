#include "messaging/datagramendpoint.h"

#include "core/logging.h"
#include "messaging/datagramreader.h"
#include "messaging/messageformat.h"

#include <QPointer>

namespace zeph {

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
    m_socket.reset();
    m_receiveBuffer = 0;
}

void DatagramEndpoint::open()
{
    close();
    if (!m_enabled)
        return;
    // No option is set before the bind: without address reuse a port that
    // another program holds stays its own, and the endpoint is then without a
    // socket. Not marked for broadcast: messages only ever go to one computer.
    auto socket = std::make_unique<platform::UdpSocket>();
    if (!socket->bind(message::wirePort(m_port)))
        return;
    m_socket = std::move(socket);
    m_receiveBuffer = m_socket->growReceiveBuffer(kReceiveBufferRequest);
    m_reader = std::make_unique<DatagramReader>(*m_socket, m_queue, [this] { scheduleDelivery(); });
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
    if (const qint64 lost = m_queue.takeLost())
        Q_EMIT datagramsLost(lost);
}

bool DatagramEndpoint::send(Ipv4Address address, int port, QByteArrayView data)
{
    if (!m_socket)
        return false;
    if (data.isEmpty())
        return true;
    if (data.size() > message::kMaxDatagramSize) {
        qCDebug(lcMessaging) << "datagram of" << data.size() << "bytes is too large for UDP";
        return false;
    }
    if (!m_socket->sendTo(address, message::wirePort(port), data)) {
        qCDebug(lcMessaging) << "send to" << address.toString().c_str() << "failed";
        return false;
    }
    return true;
}

} // namespace zeph
