#include "messaging/messengerservice.h"

#include "core/gbk.h"
#include "core/logging.h"
#include "core/texts.h"
#include "history/history.h"
#include "messaging/messageform.h"
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
    return platform::popupTextAsText(message.toByteArray() + G(texts::kSignatureDash) +
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
    m_history.appendNotice(G(u"正在通过信使服务发送信息，请稍候……"));

    m_form.waitCursorOn();
    // A dotted target is the address itself; a name that the resolver knows is
    // given with its address, so the service need not find it over NetBIOS.
    // A target the tool cannot address as it stands (too long, '#', a control
    // byte, a broadcast form) fails like any undeliverable one, before
    // anything goes out.
    bool delivered = false;
    if (platform::popupTargetAcceptable(target)) {
        const std::optional<Ipv4Address> dotted = ipv4::parse(QByteArrayView(target));
        const std::optional<Ipv4Address> address = dotted ? dotted : m_outgoing.resolve(target);
        delivered = m_sender(target, address, text);
    }
    m_form.restoreCursor();

    if (delivered) {
        m_history.appendNotice(G(u"信息已成功发送到计算机|") + target + "|");
        m_form.setContent({});
    } else {
        qCInfo(lcMessaging) << "messenger service could not deliver to" << target;
        m_history.appendError(G(u"使用信使服务发送信息到计算机|") + target + G(u"|失败！"));
    }
    m_form.setMessengerButtonEnabled(true);
}

} // namespace zeph
