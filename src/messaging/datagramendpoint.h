#pragma once
// A UDP endpoint bound on 0.0.0.0: sends whole datagrams and raises dataArrived
// once per received datagram, in arrival order, on the thread that owns it (the
// UI thread, serviced by the Qt event loop).

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

class QUdpSocket;

namespace zeph {

class DatagramEndpoint : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultPort = 19730;
    // Asked of the kernel for the receive queue, so that a burst of a few thousand
    // short datagrams waits there while the UI thread is busy. Without the
    // privilege to force it, the kernel caps it at net.core.rmem_max.
    static constexpr int kReceiveBufferRequest = 8 * 1024 * 1024;

    enum class Socket { Open, None };

    // Socket::Open binds at once on the default port; Socket::None never opens a
    // socket (an endpoint that takes no part in messaging).
    explicit DatagramEndpoint(QObject* parent = nullptr);
    explicit DatagramEndpoint(Socket socket, QObject* parent = nullptr);
    ~DatagramEndpoint() override;

    int port() const { return m_port; }
    // Below 1 becomes 1; an unchanged value does nothing; otherwise the socket is
    // re-opened on the low 16 bits of the new value.
    void setPort(int port);

    bool isOpen() const { return m_socket != nullptr; }
    // The receive buffer the kernel granted (bytes, as getsockopt reports it); 0 without a socket.
    int receiveBufferSize() const { return m_receiveBuffer; }

    // Sends data as one datagram to the low 16 bits of port at address (dotted
    // IPv4, else looked up as a host name). True only when the whole datagram left;
    // empty data succeeds without sending; false without a socket.
    bool send(QByteArrayView address, int port, QByteArrayView data);

Q_SIGNALS:
    void dataArrived(const QByteArray& data);

private:
    void open();
    void close();
    void readPending();

    const bool m_enabled;
    int m_port = kDefaultPort;
    QUdpSocket* m_socket = nullptr;
    int m_receiveBuffer = 0;
};

} // namespace zeph
