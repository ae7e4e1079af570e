#include "core/hostname.h"

#include "core/gbk.h"

#include <QString>

#include <algorithm>

namespace zeph::hostname {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// One part of an inet_aton address: decimal, octal or hex digits, whatever
// their value (an overlong number is still meant as one).
bool isNumber(QByteArrayView part)
{
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        part = part.sliced(2);
        for (const char c : part) {
            if (!isHexDigit(c))
                return false;
        }
        return true; // "0x" alone reads as 0
    }
    if (part.isEmpty())
        return false;
    for (const char c : part) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

// The full-width punctuation a name may hold: ideographic comma and ditto
// mark, the CJK brackets, dashes and quotes, and the full-width forms of
// ASCII punctuation apart from the full stop (U+FF0E).
bool isFullWidthPunctuation(char16_t c)
{
    switch (c) {
    case 0x3001: // ideographic comma
    case 0x3003: // ditto mark
    case 0x2014: // em dash
    case 0x2016: // double vertical line
    case 0x2018:
    case 0x2019:
    case 0x201C:
    case 0x201D: // quotation marks
        return true;
    default:
        break;
    }
    return (c >= 0x3008 && c <= 0x3011) || (c >= 0x3014 && c <= 0x3017) || // brackets
           (c >= 0xFF01 && c <= 0xFF0D) || c == 0xFF0F ||                  // ！ to －, ／
           (c >= 0xFF1A && c <= 0xFF20) ||                                 // ： to ＠
           (c >= 0xFF3B && c <= 0xFF40) ||                                 // ［ to ｀
           (c >= 0xFF5B && c <= 0xFF5E);                                   // ｛ to ～
}

bool isCjkIdeograph(char16_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0xF900 && c <= 0xFAFF) || c == 0x3005; // and the iteration mark
}

bool isNameCharacter(char16_t c)
{
    return (c >= 0x20 && c <= 0x7E) || isCjkIdeograph(c) || isFullWidthPunctuation(c);
}

} // namespace

bool hasControlByte(QByteArrayView text)
{
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

bool readsAsAddress(QByteArrayView text)
{
    if (const qsizetype blank = text.indexOf(' '); blank >= 0)
        text.truncate(blank);
    // A resolver also takes a trailing dot, as in a fully qualified name.
    if (text.endsWith('.'))
        text.chop(1);
    int parts = 0;
    for (;;) {
        const qsizetype dot = text.indexOf('.');
        if (++parts > 4 || !isNumber(dot < 0 ? text : text.first(dot)))
            return false;
        if (dot < 0)
            return true;
        text = text.sliced(dot + 1);
    }
}

bool mayLookUp(QByteArrayView text)
{
    return !text.isEmpty() && !hasControlByte(text);
}

bool hasOnlyNameCharacters(QByteArrayView text)
{
    const QString shown = gbk::toUnicode(text);
    return std::all_of(shown.cbegin(), shown.cend(),
                       [](QChar c) { return isNameCharacter(c.unicode()); });
}

bool isHostName(QByteArrayView text)
{
    return mayLookUp(text) && !readsAsAddress(text) && !text.startsWith(' ') &&
           !text.endsWith(' ') && hasOnlyNameCharacters(text);
}

} // namespace zeph::hostname
