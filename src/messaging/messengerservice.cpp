#include "messaging/messengerservice.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "history/history.h"
#include "messaging/messageform.h"
#include "messaging/texts.h"
#include "messaging/wiretexts.h"
#include "platform/process/popupmessage.h"

namespace zeph {

MessengerService::MessengerService(History& history, MessageForm& form, const NameLookup& names,
                                   QObject* parent)
    : MessengerService(history, form, SendSources::system(names), realSender(), parent)
{
}

MessengerService::MessengerService(History& history, MessageForm& form, SendSources sources,
                                   Sender sender, QObject* parent)
    : QObject(parent), m_history(history), m_form(form),
      m_outgoing(history, form, std::move(sources)), m_sender(std::move(sender))
{
}

MessengerService::Sender MessengerService::realSender()
{
    return [](QByteArrayView target, std::optional<Ipv4Address> address, QByteArrayView text) {
        return platform::sendPopupMessage(target, address, text).delivered;
    };
}

QByteArray MessengerService::popupText(QByteArrayView message, QByteArrayView signature)
{
    return platform::popupTextAsText(message.toByteArray() + G(wire::kSignatureDash) +
                                     signature.toByteArray());
}

void MessengerService::send()
{
    const QByteArray target = m_form.target();
    if (!m_outgoing.targetGiven(target) || !m_outgoing.contentSendable(m_form.content()))
        return;

    m_form.setMessengerButtonEnabled(false);
    m_outgoing.recordSent(texts::kSentThroughServiceTo, target, m_form.content());
    const QByteArray text = popupText(m_form.content(), m_form.signature());
    m_history.appendNotice(G(texts::kServiceSending));

    m_form.waitCursorOn();
    // A dotted target is the address itself; a name that the resolver knows is
    // given with its address, so the service need not find it over NetBIOS.
    // A target the tool cannot address as it stands (too long, '#', a control
    // byte, a broadcast form) fails like any undeliverable one, before
    // anything goes out.
    // A name that several listed hosts claim is refused with its own entry.
    const bool acceptable = platform::popupTargetAcceptable(target);
    const Outgoing::Destination to =
        acceptable ? m_outgoing.destination(target) : Outgoing::Destination{};
    const bool delivered = acceptable && !to.refused && m_sender(target, to.address, text);
    m_form.restoreCursor();

    if (delivered) {
        m_history.appendNotice(G(texts::kServiceDelivered) + target + "|");
        m_form.setContent({});
    } else if (!to.refused) {
        qCInfo(lcMessaging) << "messenger service could not deliver to" << target;
        m_history.appendError(G(texts::kServiceFailed) + target + G(texts::kServiceFailedEnd));
    }
    m_form.setMessengerButtonEnabled(true);
}

} // namespace zeph
