#pragma once
// Sending, receiving and broadcasting messages: the messaging handlers of the
// main window, kept free of widgets. The window reaches them through
// MessageForm; everything runs on the UI thread.

#include "core/ipv4.h"
#include "messaging/datagramendpoint.h"
#include "messaging/outgoing.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <optional>

namespace zeph {

class History;
class MessageForm;
class NameLookup;

class Messenger : public QObject {
    Q_OBJECT
public:
    // Creates both endpoints: 数据报 opens its socket on the default port,
    // 数据报1 opens none. Names are found through names, which must outlive
    // the messenger.
    Messenger(History& history, MessageForm& form, const NameLookup& names,
              QObject* parent = nullptr);
    Messenger(History& history, MessageForm& form, SendSources sources, QObject* parent = nullptr);
    ~Messenger() override;

    // Start-up initialisation, in order: message port, own host name, 数据报
    // re-opened on the message port.
    void startUp();
    // Run after the welcome banner is written: tells once when the message port
    // could not be opened, as nothing can be received then.
    void reportStartUpProblems();

    // The send button and Ctrl+Enter in the send box.
    void sendMessage();
    // The broadcast button: one message to every listed computer.
    void broadcast();

    DatagramEndpoint& endpoint() { return m_endpoint; }           // 数据报
    DatagramEndpoint& spareEndpoint() { return m_spareEndpoint; } // 数据报1
    const QByteArray& ownHostName() const { return m_ownHostName; }
    int messagePort() const { return m_messagePort; }

public Q_SLOTS:
    // One received datagram (connected to 数据报's dataArrived).
    void receive(const QByteArray& datagram);

private:
    // The time-stamp text of the clock's current reading.
    QByteArray currentTimestamp() const;

    History& m_history;
    MessageForm& m_form;
    Outgoing m_outgoing;
    DatagramEndpoint m_endpoint;
    DatagramEndpoint m_spareEndpoint;
    int m_messagePort = DatagramEndpoint::kDefaultPort;
    QByteArray m_ownHostName;
    bool m_portProblemReported = false;
};

} // namespace zeph
