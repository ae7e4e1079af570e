#include "lan/lannames.h"

#include "core/gbk.h"

#include <QString>

namespace zeph::lan {
namespace {

constexpr QByteArrayView kMdnsDomain = ".local";

bool endsWithMdnsDomain(QByteArrayView name)
{
    return name.size() > kMdnsDomain.size() &&
           name.last(kMdnsDomain.size()).compare(kMdnsDomain, Qt::CaseInsensitive) == 0;
}

// utf8 as GBK; empty when the name does not make the round trip.
QByteArray toGbk(QByteArrayView utf8)
{
    const QString text = QString::fromUtf8(utf8);
    QByteArray name = gbk::fromUnicode(text);
    if (gbk::toUnicode(name) != text || text.toUtf8() != utf8)
        return {};
    return name;
}

} // namespace

QByteArray mdnsQuestionName(QByteArrayView gbkName)
{
    const QByteArray utf8 = gbk::toUnicode(gbkName).toUtf8();
    return endsWithMdnsDomain(utf8) ? utf8 : utf8 + kMdnsDomain.toByteArray();
}

QByteArray fromLlmnrName(QByteArrayView utf8)
{
    if (utf8.isEmpty() || utf8.contains('.'))
        return {};
    return toGbk(utf8);
}

QByteArray fromMdnsName(QByteArrayView utf8)
{
    if (!endsWithMdnsDomain(utf8))
        return {};
    utf8.chop(kMdnsDomain.size());
    return toGbk(utf8);
}

} // namespace zeph::lan
