// libFuzzer target: everything a received datagram goes through before it is
// shown — the cut at the first zero byte, the split at "|", and the GBK decode
// that the window applies — must accept any bytes and keep these promises.

#include "core/gbk.h"
#include "messaging/messageformat.h"

#include <cstdint>
#include <cstdlib>

using namespace zeph;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// No part holds a "|" that starts a character: that one would have cut it.
bool noSeparatorAtACharacterStart(QByteArrayView part)
{
    for (qsizetype i = 0; i < part.size(); i += gbk::charLength(part, i)) {
        if (part[i] == '|')
            return false;
    }
    return true;
}

// A separator that cut a part off must not be the second byte of the
// character that the part's last one starts (in the text, the lead byte and
// the '|' after it): a pair counts as one character when it decodes as one.
bool cutsACharacter(QByteArrayView text, qsizetype partStart, qsizetype separator)
{
    qsizetype last = -1;
    for (qsizetype i = partStart; i < separator; i += gbk::charLength(text, i))
        last = i;
    return last >= 0 && last + gbk::charLength(text, last) > separator;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView datagram(reinterpret_cast<const char*>(data),
                                  static_cast<qsizetype>(size));
    const QByteArray text = message::bytesToText(datagram);
    check(datagram.startsWith(text));
    check(!text.contains('\0'));
    check(text.size() == datagram.size() || datagram[text.size()] == '\0');

    const QList<QByteArray> parts = message::split(text);
    check(parts.size() <= 3);
    // The parts are the text's own bytes, in order, joined by the separators.
    check(text.startsWith(parts.join('|')));
    for (const QByteArray& part : parts)
        check(noSeparatorAtACharacterStart(part));
    const QByteArray joined = parts.join('|');
    const qsizetype cut = text.size() > joined.size() ? parts.size() : parts.size() - 1;
    for (qsizetype i = 0, start = 0; i < cut; start += parts[i].size() + 1, ++i)
        check(!cutsACharacter(text, start, start + parts[i].size()));
    if (parts.size() < 3 && !text.isEmpty())
        check(parts.join('|') == text || parts.join('|') + '|' == text);

    // What the window shows turns back into the very same bytes.
    check(gbk::fromUnicode(gbk::toUnicode(text)) == text);
    for (const QByteArray& part : parts)
        check(gbk::fromUnicode(gbk::toUnicode(part)) == part);
    return 0;
}
