#include "messaging/datagramendpoint.h"

#include "core/logging.h"
#include "messaging/messageformat.h"
#include "platform/names.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <sys/socket.h>

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
    if (m_socket == nullptr)
        return;
    // The port is free once close() returns; the object itself goes later, as a
    // data-arrived handler may be running inside its readyRead signal.
    m_socket->disconnect(this);
    m_socket->close();
    m_socket->deleteLater();
    m_socket = nullptr;
    m_receiveBuffer = 0;
}

void DatagramEndpoint::open()
{
    close();
    if (!m_enabled)
        return;
    auto* socket = new QUdpSocket(this);
    // No address sharing: a port that another program holds stays its own, and
    // the endpoint is then without a socket.
    if (!socket->bind(QHostAddress(QHostAddress::AnyIPv4), message::wirePort(m_port),
                      QAbstractSocket::DontShareAddress)) {
        qCWarning(lcMessaging) << "cannot bind UDP port" << message::wirePort(m_port) << ":"
                               << socket->errorString();
        delete socket;
        return;
    }
    m_socket = socket;
    const int fd = static_cast<int>(m_socket->socketDescriptor());
    // Qt marks UDP sockets for broadcast; messages only ever go to one computer.
    const int off = 0;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &off, sizeof off);
    m_receiveBuffer = growReceiveBuffer(fd);
    qCDebug(lcMessaging) << "listening on UDP port" << message::wirePort(m_port) << "receive buffer"
                         << m_receiveBuffer;
    connect(m_socket, &QUdpSocket::readyRead, this, &DatagramEndpoint::readPending);
}

void DatagramEndpoint::readPending()
{
    // Qt signals readyRead again only after the pending datagrams were read, so
    // every one waiting now is taken here, each sized from its own length.
    while (m_socket != nullptr && m_socket->hasPendingDatagrams()) {
        const qint64 size = m_socket->pendingDatagramSize();
        if (size < 0)
            break;
        QByteArray data(static_cast<qsizetype>(size), Qt::Uninitialized);
        const qint64 got = m_socket->readDatagram(data.data(), size);
        if (got < 0) {
            qCDebug(lcMessaging) << "receive failed:" << m_socket->errorString();
            break;
        }
        if (got == 0)
            continue; // an empty datagram carries no message
        data.truncate(static_cast<qsizetype>(got));
        // A handler may re-open or close the socket; the loop re-checks it.
        Q_EMIT dataArrived(data);
    }
}

bool DatagramEndpoint::send(QByteArrayView address, int port, QByteArrayView data)
{
    if (m_socket == nullptr)
        return false;
    if (data.isEmpty())
        return true;
    if (data.size() > message::kMaxDatagramSize) {
        qCDebug(lcMessaging) << "datagram of" << data.size() << "bytes is too large for UDP";
        return false;
    }
    const QByteArray dotted =
        platform::isDottedIPv4(address) ? address.toByteArray() : platform::resolveName(address);
    QHostAddress destination;
    if (dotted.isEmpty() || !destination.setAddress(QString::fromLatin1(dotted)))
        return false;
    const qint64 sent =
        m_socket->writeDatagram(data.data(), data.size(), destination, message::wirePort(port));
    if (sent != data.size()) {
        qCDebug(lcMessaging) << "send to" << dotted << "failed:" << m_socket->errorString();
        return false;
    }
    return true;
}

} // namespace zeph
