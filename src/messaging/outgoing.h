#pragma once
// What every way of sending shares: where the time, the addresses and the own
// host name come from, the checks that run before anything leaves, and the
// record a sent message leaves in the history.

#include "core/ipv4.h"
#include "names/namelookup.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QStringView>

#include <functional>
#include <optional>

namespace zeph {

class History;
class MessageForm;

struct SendSources {
    using Clock = std::function<QDateTime()>;
    // The name's address, or the listed hosts that claim it when the lookup
    // cannot tell which of them is meant.
    using Resolver = std::function<NameLookup::Answer(QByteArrayView name)>;
    using HostNameSource = std::function<QByteArray()>;

    Clock clock;
    Resolver resolver;
    HostNameSource hostName;

    // The local clock, the lookup order of names (which must outlive every
    // user of the sources) and platform::ownHostName.
    static SendSources system(const NameLookup& names);
};

class Outgoing {
public:
    Outgoing(History& history, const MessageForm& form, SendSources sources);

    // Each check appends its ××× entry and answers false when the send must stop.
    bool targetGiven(QByteArrayView target) const;
    // Not empty, and every character of the send box and the signature is one
    // GBK carries: a text that would leave with '?' in it does not leave at all.
    bool contentSendable(QByteArrayView content) const;

    QByteArray timestamp() const; // the time-stamp text of the clock's reading now
    // Where a send to target goes: the row the user chose while its name
    // stands, else the lookup's answer (nothing when the name is unknown). A
    // name that several listed hosts claim and the resolver does not settle
    // is refused with its ××× entry, naming their addresses.
    struct Destination {
        std::optional<Ipv4Address> address;
        bool refused = false;
    };
    Destination destination(QByteArrayView target) const;
    QByteArray ownHostName() const;

    // The separator, "您于<time><sentTo><target>|的信息：" and the content.
    void recordSent(QStringView sentTo, QByteArrayView target, QByteArrayView content) const;

    // "U+1F600 U+AC00", at most kNamedCharacters of them, then "等" for the rest.
    static QByteArray namedCharacters(const QList<char32_t>& characters);
    static constexpr qsizetype kNamedCharacters = 8;

private:
    History& m_history;
    const MessageForm& m_form;
    SendSources m_sources;
};

} // namespace zeph
