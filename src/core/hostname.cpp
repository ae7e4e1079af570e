#include "core/hostname.h"

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

bool isHostName(QByteArrayView text)
{
    return mayLookUp(text) && !readsAsAddress(text);
}

} // namespace zeph::hostname
