#include "core/gbk.h"

#include "core/gbkcodepage.h"
#include "core/logging.h"

#include <array>
#include <cstring>
#include <memory>

namespace zeph::gbk {
namespace {

// Code page 936 as the operating system knows it, turned into two flat tables
// once. Only codes whose character turns back into the same code are kept, so
// that decode followed by encode is the identity on every byte string.
struct Tables {
    std::array<char16_t, 0x10000> toUni{};  // index lead << 8 | trail; 0 = not a character
    std::array<quint16, 0x10000> fromUni{}; // 0 = not in GBK; < 0x100 single byte
};

// The private-use characters that stand for a raw byte turn back into it.
bool isRawByte(char16_t u)
{
    return u >= kRawByteBase + 0x80 && u <= kRawByteBase + 0xFF;
}

std::unique_ptr<Tables> buildTables()
{
    auto t = std::make_unique<Tables>();
    for (int c = 0; c < 0x80; ++c) {
        t->toUni[c] = static_cast<char16_t>(c);
        t->fromUni[c] = static_cast<quint16>(c);
    }
    const detail::CodePage936 cp;
    if (!cp.available()) {
        qCCritical(lcCore, "no code page 936 converter; non-ASCII text is kept as raw bytes");
        return t;
    }
    auto keep = [&](quint16 code, char16_t u) {
        if (u == 0 || isRawByte(u) || t->fromUni[u] != 0)
            return;
        t->toUni[code] = u;
        t->fromUni[u] = code;
    };
    const char euro = '\x80';
    keep(0x80, cp.decode(&euro, 1));
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            keep(static_cast<quint16>(lead << 8 | trail), cp.decode(pair, 2));
        }
    }
    return t;
}

const Tables& tables()
{
    static const std::unique_ptr<Tables> t = buildTables();
    return *t;
}

// The character a lead byte and the byte after it make, or 0 when they make
// none (then the lead byte stands alone): charLength and the decoder both ask here.
char16_t pairCharacter(const Tables& t, const unsigned char* p, qsizetype left)
{
    return left >= 2 && isLeadByte(p[0]) ? t.toUni[p[0] << 8 | p[1]] : char16_t{0};
}

} // namespace

qsizetype charLength(QByteArrayView bytes, qsizetype pos)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pos;
    return pairCharacter(tables(), p, bytes.size() - pos) != 0 ? 2 : 1;
}

QString toUnicode(QByteArrayView bytes)
{
    // Written through a pointer: a history pane converts megabytes at a time,
    // and appending character by character costs several times the decoding.
    const Tables& t = tables();
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* const start = reinterpret_cast<char16_t*>(out.data());
    char16_t* o = start;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = in[i];
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        if (const char16_t u = pairCharacter(t, in + i, n - i)) {
            *o++ = u;
            i += 2;
            continue;
        }
        const char16_t u = t.toUni[b]; // the single-byte 0x80
        *o++ = u != 0 ? u : static_cast<char16_t>(kRawByteBase + b);
        ++i;
    }
    out.truncate(o - start);
    return out;
}

QByteArray fromUnicode(QStringView text)
{
    const Tables& t = tables();
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (isRawByte(u)) {
            out.append(static_cast<char>(u - kRawByteBase));
            continue;
        }
        const quint16 code = t.fromUni[u];
        if (u == 0 || code == 0) {
            out.append(u == 0 ? '\0' : '?');
        } else if (code < 0x100) {
            out.append(static_cast<char>(code));
        } else {
            out.append(static_cast<char>(code >> 8));
            out.append(static_cast<char>(code & 0xFF));
        }
    }
    return out;
}

QList<char32_t> uncarried(QStringView text)
{
    const Tables& t = tables();
    QList<char32_t> lost;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        char32_t c = u;
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(u, text[++i].unicode()); // beyond 16 bits: never GBK
        else if (u == 0 || isRawByte(u) || t.fromUni[u] != 0)
            continue;
        if (!lost.contains(c))
            lost.append(c);
    }
    return lost;
}

QByteArray crLfToLf(QByteArrayView text)
{
    // Copied a run at a time, up to each CR: most text has few line breaks.
    QByteArray out(text.size(), Qt::Uninitialized);
    char* o = out.data();
    const char* in = text.data();
    const char* const end = in + text.size();
    while (in < end) {
        const auto* cr = static_cast<const char*>(std::memchr(in, '\r', end - in));
        const char* runEnd = cr != nullptr ? cr : end;
        std::memcpy(o, in, runEnd - in);
        o += runEnd - in;
        in = runEnd;
        if (cr == nullptr)
            break;
        if (cr + 1 == end || cr[1] != '\n')
            *o++ = '\r';
        ++in;
    }
    out.truncate(o - out.constData());
    return out;
}

QByteArray lfToCrLf(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size() + text.count('\n'));
    for (const char c : text) {
        if (c == '\n')
            out.append('\r');
        out.append(c);
    }
    return out;
}

} // namespace zeph::gbk
