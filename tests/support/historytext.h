#pragma once
// The GBK bytes a history entry appends, built independently of History so
// that tests compare against the expected wire of the pane, not its code.

#include "core/gbk.h"

#include <QByteArray>
#include <QStringView>

namespace zeph::test {

inline const QByteArray kCrLf = "\r\n";

inline QByteArray line(QByteArrayView gbk)
{
    return kCrLf + gbk.toByteArray();
}
inline QByteArray notice(QByteArrayView gbk)
{
    return kCrLf + G(u"★★★") + gbk.toByteArray() + G(u"★★★");
}
inline QByteArray notice(QStringView text)
{
    return notice(G(text));
}
inline QByteArray error(QByteArrayView gbk)
{
    return kCrLf + G(u"×××") + gbk.toByteArray() + G(u"×××");
}
inline QByteArray error(QStringView text)
{
    return error(G(text));
}
// The separator line: 56 hyphens.
inline QByteArray dashes()
{
    return line(QByteArray(56, '-'));
}

} // namespace zeph::test
