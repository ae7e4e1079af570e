#pragma once
// A UDP endpoint bound on 0.0.0.0: sends whole datagrams and raises dataArrived
// once per received datagram, in arrival order, on the thread that owns it (the
// UI thread, serviced by the Qt event loop).
//
// Datagrams are read off the socket by a thread of their own into a queue, so a
// flood waits in memory rather than overflowing the kernel while the UI is busy.
// The owner's thread takes them from the queue in slices of about
// kDeliverySlice, each slice one pass of the event loop, so that input and
// repaints keep their turn during a flood.

#include "core/ipv4.h"
#include "messaging/datagramqueue.h"
#include "platform/net/udpsocket.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <chrono>
#include <memory>

namespace zeph {

class DatagramReader;

class DatagramEndpoint : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultPort = 19730;
    // Asked of the kernel for the receive queue, so that a burst waits there while
    // the reader thread is descheduled. Without the privilege to force it, the
    // kernel caps it at net.core.rmem_max.
    static constexpr int kReceiveBufferRequest = 8 * 1024 * 1024;
    // Received but not yet delivered datagrams are kept up to this many bytes;
    // beyond it the reader waits and the kernel holds (or drops) the rest.
    static constexpr qsizetype kQueueByteLimit = qsizetype{32} * 1024 * 1024;
    // How long one pass of the event loop may spend delivering datagrams. Showing
    // what was delivered costs about as much again in the next pass, and both
    // must leave room for input within a few tens of milliseconds on a busy machine.
    static constexpr std::chrono::milliseconds kDeliverySlice{5};

    enum class Socket { Open, None };

    // Socket::Open binds at once on the default port; Socket::None never opens a
    // socket (an endpoint that takes no part in messaging).
    explicit DatagramEndpoint(QObject* parent = nullptr);
    explicit DatagramEndpoint(Socket socket, QObject* parent = nullptr);
    ~DatagramEndpoint() override;

    int port() const { return m_port; }
    // Below 1 becomes 1; an unchanged value does nothing; otherwise the socket is
    // re-opened on the low 16 bits of the new value. Datagrams already received
    // on the old port are still delivered.
    void setPort(int port);

    bool isOpen() const { return m_socket != nullptr; }
    // The receive buffer the kernel granted (bytes, as getsockopt reports it); 0 without a socket.
    int receiveBufferSize() const { return m_receiveBuffer; }
    // Received datagrams not yet delivered.
    qsizetype queued() const { return m_queue.size(); }

    // Sends data as one datagram to the low 16 bits of port at address, on the
    // caller's thread. True only when the whole datagram left; empty data
    // succeeds without sending; false without a socket.
    bool send(Ipv4Address address, int port, QByteArrayView data);

Q_SIGNALS:
    void dataArrived(const QByteArray& data);
    // The system dropped count datagrams that came faster than they were read;
    // raised once the datagrams that did arrive meanwhile are delivered.
    void datagramsLost(qint64 count);

private:
    void open();
    void close();
    void scheduleDelivery();
    void deliver();

    const bool m_enabled;
    int m_port = kDefaultPort;
    std::unique_ptr<platform::UdpSocket> m_socket; // bound, or none
    int m_receiveBuffer = 0;
    DatagramQueue m_queue{kQueueByteLimit};
    std::unique_ptr<DatagramReader> m_reader;
};

} // namespace zeph
