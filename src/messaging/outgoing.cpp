#include "messaging/outgoing.h"

#include "core/gbk.h"
#include "history/history.h"
#include "messaging/messageform.h"
#include "messaging/messageformat.h"
#include "messaging/texts.h"
#include "platform/net/names.h"

namespace zeph {

SendSources SendSources::system(const NameLookup& names)
{
    return {[] { return QDateTime::currentDateTime(); },
            [&names](QByteArrayView name) { return names.lookUp(name); },
            [] { return platform::ownHostName(); }};
}

Outgoing::Outgoing(History& history, const MessageForm& form, SendSources sources)
    : m_history(history), m_form(form), m_sources(std::move(sources))
{
}

bool Outgoing::targetGiven(QByteArrayView target) const
{
    if (!target.isEmpty())
        return true;
    m_history.appendError(G(texts::kNoTarget));
    return false;
}

bool Outgoing::contentSendable(QByteArrayView content) const
{
    if (content.isEmpty()) {
        m_history.appendError(G(texts::kEmptyContent));
        return false;
    }
    const QList<char32_t> lost = m_form.uncarried();
    if (lost.isEmpty())
        return true;
    m_history.appendError(G(texts::kNotInGbk) + namedCharacters(lost));
    return false;
}

QByteArray Outgoing::timestamp() const
{
    return message::timestampText(m_sources.clock());
}

Outgoing::Destination Outgoing::destination(QByteArrayView target) const
{
    if (const std::optional<Ipv4Address> chosen = m_form.chosenAddress())
        return {chosen, false};
    const NameLookup::Answer answer = m_sources.resolver(target);
    if (answer.claimants.isEmpty())
        return {answer.address, false};
    QByteArray claimants;
    for (const Ipv4Address& a : answer.claimants) {
        if (!claimants.isEmpty())
            claimants += G(texts::kNameClaimedSeparator);
        claimants += QByteArray::fromStdString(a.toString());
    }
    m_history.appendError(G(texts::kNameClaimed) + target.toByteArray() + G(texts::kNameClaimedBy) +
                          claimants + G(texts::kNameClaimedEnd));
    return {std::nullopt, true};
}

QByteArray Outgoing::ownHostName() const
{
    return m_sources.hostName();
}

void Outgoing::recordSent(QStringView sentTo, QByteArrayView target, QByteArrayView content) const
{
    m_history.appendSeparator();
    m_history.appendLine(G(texts::kYouAt) + timestamp() + G(sentTo) + target.toByteArray() +
                         G(texts::kMessageOf));
    m_history.appendLine(content);
}

QByteArray Outgoing::namedCharacters(const QList<char32_t>& characters)
{
    QByteArray named;
    for (qsizetype i = 0; i < characters.size() && i < kNamedCharacters; ++i) {
        if (i > 0)
            named.append(' ');
        named.append("U+").append(QByteArray::number(static_cast<uint>(characters[i]), 16)
                                      .toUpper()
                                      .rightJustified(4, '0'));
    }
    if (characters.size() > kNamedCharacters)
        named.append(G(texts::kMoreCharacters));
    return named;
}

} // namespace zeph
