#pragma once
// GBK (code page 936) text. Inside the program every text is GBK bytes; QString
// exists only where a widget shows or takes text. The conversion is lossless:
// a byte that does not start a valid GBK character becomes one private-use
// character (kRawByteBase + byte) and turns back into the same byte, so any
// datagram survives a trip through a widget and into a saved file.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

namespace zeph::gbk {

// U+F780..U+F7FF carry the raw bytes 0x80..0xFF that are not valid GBK.
inline constexpr char16_t kRawByteBase = 0xF700;

// Each call decodes its own text; nothing is carried over between calls.
QString toUnicode(QByteArrayView bytes);

// Characters GBK cannot hold become '?'.
QByteArray fromUnicode(QStringView text);

// The characters of text that fromUnicode would turn into '?', each once, in
// the order they first appear (a surrogate pair counts as its one character).
QList<char32_t> uncarried(QStringView text);

// 0x80 and 0xFF stand alone; only 0x81..0xFE start a two-byte character.
// Every byte-level test asks here, so that a scanner and the decoder never
// disagree about where a character ends.
inline constexpr bool isLeadByte(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}

// Length of the character that starts at bytes[pos]: 2 when a lead byte and
// the byte after it are one character, else 1. The one rule for where a
// character ends, which the decoder follows too: a pair counts as one
// character only when it decodes as one, so a lead byte before a byte it makes
// no character with (glibc's code page leaves A1 7C unassigned) stands alone
// and the byte after it, '|' among them, starts a character of its own.
// Byte-level scanners use it so that they never disagree with what is shown.
qsizetype charLength(QByteArrayView bytes, qsizetype pos);

// The core's line breaks are CR LF; widgets and the pop-up tool use LF alone.
// Safe on GBK bytes: CR and LF are never the trail byte of a character.
QByteArray crLfToLf(QByteArrayView text);
QByteArray lfToCrLf(QByteArrayView text); // every LF, as a multi-line box gives them

} // namespace zeph::gbk

// GBK bytes of a literal written in the source's Unicode, e.g. zeph::G(u"发送").
namespace zeph {
inline QByteArray G(QStringView text)
{
    return gbk::fromUnicode(text);
}
} // namespace zeph
