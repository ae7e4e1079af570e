#pragma once
// Sending through the messenger service: a pop-up message for a computer that
// runs no copy of the program. The handler blocks the UI thread while the
// delivering tool runs, at most the tool's time limit.

#include "core/ipv4.h"
#include "messaging/outgoing.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <functional>
#include <optional>

namespace zeph {

class History;
class MessageForm;
class NameLookup;

class MessengerService : public QObject {
    Q_OBJECT
public:
    // Delivers text to target; address is the one to connect to, or nothing to
    // let the service find the name itself. True only when it was delivered.
    using Sender = std::function<bool(QByteArrayView target, std::optional<Ipv4Address> address,
                                      QByteArrayView text)>;

    // Names are found through names, which must outlive the service; the
    // pop-up goes out through realSender().
    MessengerService(History& history, MessageForm& form, const NameLookup& names,
                     QObject* parent = nullptr);
    MessengerService(History& history, MessageForm& form, SendSources sources, Sender sender,
                     QObject* parent = nullptr);

    // platform::sendPopupMessage with its default options.
    static Sender realSender();

    // The text the pop-up carries: message, "——", signature; a leading '/'
    // follows a blank, so that the tool takes it as text.
    static QByteArray popupText(QByteArrayView message, QByteArrayView signature);

public Q_SLOTS:
    // The click handler of 按钮信使发送.
    void send();

private:
    History& m_history;
    MessageForm& m_form;
    Outgoing m_outgoing;
    Sender m_sender;
};

} // namespace zeph
