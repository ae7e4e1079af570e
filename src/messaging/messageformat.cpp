#include "messaging/messageformat.h"

#include "core/gbk.h"
#include "messaging/wiretexts.h"

namespace zeph::message {
namespace {
QByteArray number(int value)
{
    return QByteArray::number(value);
}
} // namespace

QByteArray timestampText(const QDateTime& when)
{
    static const QByteArray year = G(wire::kYear), month = G(wire::kMonth), day = G(wire::kDay),
                            hour = G(wire::kHour), minute = G(wire::kMinute),
                            second = G(wire::kSecond);
    const QDate d = when.date();
    const QTime t = when.time();
    QByteArray out = number(d.year()) + year + number(d.month()) + month + number(d.day()) + day;
    if (t.second() != 0)
        out += number(t.hour()) + hour + number(t.minute()) + minute + number(t.second()) + second;
    else if (t.minute() != 0)
        out += number(t.hour()) + hour + number(t.minute()) + minute;
    else if (t.hour() != 0)
        out += number(t.hour()) + hour;
    return out;
}

QByteArray directPhrase()
{
    static const QByteArray p = G(wire::kDirectPhrase);
    return p;
}

QByteArray broadcastPhrase()
{
    static const QByteArray p = G(wire::kBroadcastPhrase);
    return p;
}

QByteArray compose(QByteArrayView ownHostName, QByteArrayView timestamp, QByteArrayView phrase,
                   QByteArrayView content, QByteArrayView signature)
{
    static const QByteArray at = G(wire::kSenderAt), dash = G(wire::kSignatureDash);
    QByteArray out;
    out.reserve(1 + ownHostName.size() + at.size() + timestamp.size() + phrase.size() + 2 +
                content.size() + dash.size() + signature.size());
    out.append('|').append(ownHostName).append(at).append(timestamp).append(phrase);
    out.append("\r\n").append(content).append(dash).append(signature);
    return out;
}

QList<QByteArray> split(QByteArrayView text)
{
    QList<QByteArray> parts;
    qsizetype start = 0;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        if (text[pos] == '|') {
            parts.append(text.sliced(start, pos - start).toByteArray());
            start = pos + 1;
            if (parts.size() == 3)
                return parts;
            pos = start;
        } else {
            pos += gbk::charLength(text, pos);
        }
    }
    if (start < n)
        parts.append(text.sliced(start).toByteArray());
    return parts;
}

QByteArray bytesToText(QByteArrayView datagram)
{
    const qsizetype zero = datagram.indexOf('\0');
    return (zero < 0 ? datagram : datagram.first(zero)).toByteArray();
}

QByteArray firstContentLine(QByteArrayView text)
{
    const qsizetype headerEnd = text.indexOf("\r\n");
    const QByteArrayView rest = headerEnd < 0 ? text : text.sliced(headerEnd + 2);
    const qsizetype end = rest.indexOf("\r\n");
    return (end < 0 ? rest : rest.first(end)).toByteArray();
}

} // namespace zeph::message
