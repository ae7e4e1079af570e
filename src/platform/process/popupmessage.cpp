#include "platform/process/popupmessage.h"

#include "core/gbk.h"

#include <QChar>

namespace zeph::platform {
namespace {
// Not a text of ours: the word with which a Chinese Windows' net send reports
// a failure.
constexpr QStringView kErrorWord = u"错";
} // namespace

bool popupTargetAcceptable(QByteArrayView target)
{
    if (target.isEmpty() || target.size() > kMaxPopupTargetBytes || target.startsWith('/') ||
        target.startsWith('\\'))
        return false;
    for (const char c : target) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '#' || c == '*')
            return false;
    }
    return true;
}

bool popupTextAcceptable(QByteArrayView text)
{
    return !text.contains('\0') && !text.startsWith('/');
}

QByteArray popupTextAsText(QByteArrayView text)
{
    return text.startsWith('/') ? ' ' + text.toByteArray() : text.toByteArray();
}

bool popupOutputReportsError(QByteArrayView output)
{
    static const QByteArray status = "NT_STATUS_";
    for (qsizetype at = output.indexOf(status); at >= 0; at = output.indexOf(status, at + 1)) {
        const QByteArrayView rest = output.sliced(at + status.size());
        const bool ok =
            rest.startsWith("OK") &&
            (rest.size() == 2 || !(QChar::isLetterOrNumber(uchar(rest[2])) || rest[2] == '_'));
        if (!ok)
            return true;
    }
    const QByteArray mark = G(kErrorWord);
    for (qsizetype i = 0; i < output.size(); i += gbk::charLength(output, i)) {
        if (output.sliced(i).startsWith(mark))
            return true;
    }
    return false;
}

} // namespace zeph::platform
