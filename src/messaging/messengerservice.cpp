#include "messaging/messengerservice.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "history/history.h"
#include "messaging/messageform.h"
#include "messaging/messageformat.h"
#include "messaging/texts.h"
#include "messaging/wiretexts.h"
#include "names/namelookup.h"
#include "platform/process/popupmessage.h"

namespace zeph {

MessengerService::MessengerService(History& history, MessageForm& form, const NameLookup& names,
                                   QObject* parent)
    : QObject(parent), m_history(history), m_form(form),
      m_clock([] { return QDateTime::currentDateTime(); }),
      m_resolver([&names](QByteArrayView name) { return names.resolve(name); }),
      m_sender(realSender())
{
}

void MessengerService::setClock(Clock clock)
{
    m_clock = std::move(clock);
}
void MessengerService::setResolver(Resolver resolver)
{
    m_resolver = std::move(resolver);
}
void MessengerService::setSender(Sender sender)
{
    m_sender = std::move(sender);
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
    if (target.isEmpty()) {
        m_history.appendError(G(texts::kNoTarget));
        return;
    }
    if (m_form.content().isEmpty()) {
        m_history.appendError(G(texts::kEmptyContent));
        return;
    }

    m_form.setMessengerButtonEnabled(false);
    m_history.appendSeparator();
    m_history.appendLine(G(texts::kYouAt) + message::timestampText(m_clock()) +
                         G(texts::kSentThroughServiceTo) + target + G(texts::kMessageOf));
    m_history.appendLine(m_form.content());
    const QByteArray text = popupText(m_form.content(), m_form.signature());
    m_history.appendNotice(G(texts::kServiceSending));

    m_form.waitCursorOn();
    // A dotted target is the address itself; a name that the resolver knows is
    // given with its address, so the service need not find it over NetBIOS.
    // A target the tool cannot address as it stands (too long, '#', a control
    // byte, a broadcast form) fails like any undeliverable one, before
    // anything goes out.
    bool delivered = false;
    if (platform::popupTargetAcceptable(target)) {
        const std::optional<Ipv4Address> dotted = ipv4::parse(QByteArrayView(target));
        const std::optional<Ipv4Address> address = dotted ? dotted : m_resolver(target);
        delivered = m_sender(target, address, text);
    }
    m_form.restoreCursor();

    if (delivered) {
        m_history.appendNotice(G(texts::kServiceDelivered) + target + "|");
        m_form.setContent({});
    } else {
        qCInfo(lcMessaging) << "messenger service could not deliver to" << target;
        m_history.appendError(G(texts::kServiceFailed) + target + G(texts::kServiceFailedEnd));
    }
    m_form.setMessengerButtonEnabled(true);
}

} // namespace zeph
