#pragma once
// Sending through the messenger service: a pop-up message for a computer that
// runs no copy of the program. The handler blocks the UI thread while the
// delivering tool runs, at most the tool's time limit.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QObject>

#include <functional>

namespace zeph {

class History;
class MessageForm;

class MessengerService : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    // Dotted IPv4 text of the name's first address; empty when it does not resolve.
    using Resolver = std::function<QByteArray(QByteArrayView name)>;
    // Delivers text to target; address is the dotted IPv4 to connect to, or empty
    // to let the service find the name itself. True only when it was delivered.
    using Sender =
        std::function<bool(QByteArrayView target, QByteArrayView address, QByteArrayView text)>;

    MessengerService(History& history, MessageForm& form, QObject* parent = nullptr);

    // For tests; defaults are the local clock, platform::resolveName and
    // realSender().
    void setClock(Clock clock);
    void setResolver(Resolver resolver);
    void setSender(Sender sender);

    // platform::sendPopupMessage with its default options.
    static Sender realSender();

    // The text the pop-up carries: message, "——", signature.
    static QByteArray popupText(QByteArrayView message, QByteArrayView signature);

public Q_SLOTS:
    // The click handler of 按钮信使发送.
    void send();

private:
    History& m_history;
    MessageForm& m_form;
    Clock m_clock;
    Resolver m_resolver;
    Sender m_sender;
};

} // namespace zeph
