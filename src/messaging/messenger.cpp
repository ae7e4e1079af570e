#include "messaging/messenger.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "history/history.h"
#include "messaging/messageform.h"
#include "messaging/messageformat.h"
#include "messaging/texts.h"
#include "names/namelookup.h"
#include "platform/net/names.h"

namespace zeph {

Messenger::Messenger(History& history, MessageForm& form, const NameLookup& names, QObject* parent)
    : QObject(parent), m_history(history), m_form(form), m_endpoint(DatagramEndpoint::Socket::Open),
      m_spareEndpoint(DatagramEndpoint::Socket::None),
      m_clock([] { return QDateTime::currentDateTime(); }),
      m_resolver([&names](QByteArrayView name) { return names.resolve(name); }),
      m_hostNameSource([] { return platform::ownHostName(); })
{
    connect(&m_endpoint, &DatagramEndpoint::dataArrived, this, &Messenger::receive);
    connect(&m_endpoint, &DatagramEndpoint::datagramsLost, this, [this](qint64 count) {
        m_history.appendError(QByteArray::number(count) + G(texts::kDatagramsLost));
    });
}

Messenger::~Messenger() = default;

void Messenger::setClock(Clock clock)
{
    m_clock = std::move(clock);
}
void Messenger::setResolver(Resolver resolver)
{
    m_resolver = std::move(resolver);
}
void Messenger::setHostNameSource(HostNameSource source)
{
    m_hostNameSource = std::move(source);
}

QByteArray Messenger::currentTimestamp() const
{
    return message::timestampText(m_clock());
}

std::optional<Ipv4Address> Messenger::resolve(QByteArrayView name) const
{
    return m_resolver(name);
}

void Messenger::startUp()
{
    m_messagePort = message::kMessagePort;
    m_ownHostName = m_hostNameSource();
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
    if (target.isEmpty()) {
        m_history.appendError(G(texts::kNoTarget));
        return;
    }
    if (content.isEmpty()) {
        m_history.appendError(G(texts::kEmptyContent));
        return;
    }
    // The row the user chose goes to its own host, whoever else claims the name.
    const std::optional<Ipv4Address> chosen = m_form.chosenAddress();
    const std::optional<Ipv4Address> address = chosen ? chosen : m_resolver(target);
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
    m_history.appendSeparator();
    m_history.appendLine(G(texts::kYouAt) + currentTimestamp() + G(texts::kSentTo) + target +
                         G(texts::kMessageOf));
    m_history.appendLine(content);
    m_history.appendNotice(G(texts::kSent));
    m_form.setContent({});
}

void Messenger::broadcast()
{
    const QByteArray content = m_form.content();
    if (content.isEmpty()) {
        m_history.appendError(G(texts::kEmptyContent));
        return;
    }
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
    // A text without a sender part is still shown; the target box then keeps
    // what the user had in it.
    if (parts.size() >= 2)
        m_form.setTarget(parts[1]);
    m_history.appendSeparator();
    m_history.appendLine(text);
    m_form.showMainWindow();
}

} // namespace zeph
