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

// A part that a separator cut off must not end in a lead byte: that "|" was
// the second byte of the lead byte's character and cut it in two.
bool endsInALoneLeadByte(QByteArrayView part)
{
    qsizetype last = -1;
    for (qsizetype i = 0; i < part.size(); i += gbk::charLength(part, i))
        last = i;
    return last >= 0 && gbk::charLength(part, last) == 1 &&
           gbk::isLeadByte(static_cast<unsigned char>(part[last]));
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
    for (qsizetype i = 0; i < cut; ++i)
        check(!endsInALoneLeadByte(parts[i]));
    if (parts.size() < 3 && !text.isEmpty())
        check(parts.join('|') == text || parts.join('|') + '|' == text);

    // What the window shows turns back into the very same bytes.
    check(gbk::fromUnicode(gbk::toUnicode(text)) == text);
    for (const QByteArray& part : parts)
        check(gbk::fromUnicode(gbk::toUnicode(part)) == part);
    return 0;
}
