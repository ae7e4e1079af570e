#include "messaging/messenger.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "history/history.h"
#include "messaging/messageform.h"
#include "messaging/messageformat.h"
#include "messaging/texts.h"

namespace zeph {

Messenger::Messenger(History& history, MessageForm& form, const NameLookup& names, QObject* parent)
    : Messenger(history, form, SendSources::system(names), parent)
{
}

Messenger::Messenger(History& history, MessageForm& form, SendSources sources, QObject* parent)
    : QObject(parent), m_history(history), m_form(form),
      m_outgoing(history, form, std::move(sources)), m_endpoint(DatagramEndpoint::Socket::Open),
      m_spareEndpoint(DatagramEndpoint::Socket::None)
{
    connect(&m_endpoint, &DatagramEndpoint::dataArrived, this, &Messenger::receive);
    connect(&m_endpoint, &DatagramEndpoint::datagramsLost, this, [this](qint64 count) {
        m_history.appendError(QByteArray::number(count) + G(texts::kDatagramsLost));
    });
}

Messenger::~Messenger() = default;

QByteArray Messenger::currentTimestamp() const
{
    return m_outgoing.timestamp();
}

void Messenger::startUp()
{
    m_messagePort = message::kMessagePort;
    m_ownHostName = m_outgoing.ownHostName();
    m_endpoint.setPort(m_messagePort);
    m_portProblemReported = false;
}

void Messenger::reportStartUpProblems()
{
    if (m_endpoint.isOpen() || m_portProblemReported)
        return;
    m_portProblemReported = true;
    const QByteArray port = QByteArray::number(message::wirePort(m_messagePort));
    m_history.appendError(G(texts::kPortClosedBefore) + port + G(texts::kPortClosedAfter));
}

void Messenger::sendMessage()
{
    const QByteArray target = m_form.target();
    const QByteArray content = m_form.content();
    if (!m_outgoing.targetGiven(target) || !m_outgoing.contentSendable(content))
        return;
    const Outgoing::Destination to = m_outgoing.destination(target);
    if (to.refused)
        return;
    const std::optional<Ipv4Address> address = to.address;
    if (!address) {
        m_history.appendError(G(texts::kTargetNotFound) + target + G(texts::kTargetNotFoundEnd));
        return;
    }
    const QByteArray datagram = message::compose(
        m_ownHostName, currentTimestamp(), message::directPhrase(), content, m_form.signature());
    if (!m_endpoint.send(*address, m_messagePort, datagram)) {
        m_history.appendError(G(texts::kSendFailed));
        return;
    }
    m_outgoing.recordSent(texts::kSentTo, target, content);
    m_history.appendNotice(G(texts::kSent));
    m_form.setContent({});
}

void Messenger::broadcast()
{
    const QByteArray content = m_form.content();
    if (!m_outgoing.contentSendable(content))
        return;
    // Composed once: every recipient gets the same bytes and the same time stamp.
    const QByteArray datagram = message::compose(
        m_ownHostName, currentTimestamp(), message::broadcastPhrase(), content, m_form.signature());
    QByteArray reached("|");
    // Each row to the host that answered for it: a name two hosts share
    // reaches both, and an impostor's row only the impostor.
    const QList<MessageForm::Listed> computers = m_form.computers();
    for (const MessageForm::Listed& row : computers) {
        if (m_endpoint.send(row.address, m_messagePort, datagram))
            reached.append(row.name).append('|');
    }
    m_history.appendNotice(G(texts::kBroadcastReached) + reached);
    m_form.setContent({});
}

void Messenger::receive(const QByteArray& datagram)
{
    const QByteArray text = message::bytesToText(datagram);
    const QList<QByteArray> parts = message::split(text);
    const QByteArray sender = parts.size() >= 2 ? parts[1] : QByteArray();
    // A text without a sender part is still shown; the target box then keeps
    // what the user had in it. So does a reply being written: it goes to the
    // one it was written for, whoever writes meanwhile.
    if (parts.size() >= 2 && m_form.content().isEmpty())
        m_form.setTarget(sender);
    m_history.appendSeparator();
    m_history.appendLine(text);
    m_form.showArrival(sender, message::firstContentLine(text));
}

} // namespace zeph
