#include "platform/netbios.h"

#include "core/gbk.h"

#include <array>

namespace zeph::platform::netbios {
namespace {

constexpr std::uint16_t kTypeNb = 0x0020;
constexpr std::uint16_t kTypeNbstat = 0x0021;
constexpr std::uint16_t kClassIn = 0x0001;
constexpr std::uint16_t kFlagResponse = 0x8000;
constexpr std::uint16_t kFlagRecursionDesired = 0x0100;
constexpr std::uint16_t kFlagBroadcast = 0x0010;
constexpr std::uint16_t kOpcodeMask = 0x7800;
constexpr std::uint16_t kRcodeMask = 0x000F;
constexpr qsizetype kRawNameSize = 16; // 15 name bytes and the suffix

// Node-status name flags.
constexpr std::uint16_t kGroupName = 0x8000;
constexpr std::uint16_t kDeregistering = 0x1000;
constexpr std::uint16_t kConflict = 0x0800;

using RawName = std::array<unsigned char, kRawNameSize>;

void put16(QByteArray& out, std::uint16_t v)
{
    out.append(static_cast<char>(v >> 8)).append(static_cast<char>(v & 0xFF));
}

// Reads big-endian fields; every read past the end fails and leaves ok false.
struct Reader {
    QByteArrayView bytes;
    qsizetype pos = 0;
    bool ok = true;

    bool has(qsizetype n) const { return ok && n >= 0 && bytes.size() - pos >= n; }
    unsigned u8()
    {
        if (!has(1)) {
            ok = false;
            return 0;
        }
        return static_cast<unsigned char>(bytes[pos++]);
    }
    unsigned u16()
    {
        const unsigned hi = u8();
        return (hi << 8) | u8();
    }
    std::uint32_t u32()
    {
        const std::uint32_t hi = u16();
        return (hi << 16) | u16();
    }
    void skip(qsizetype n)
    {
        if (has(n))
            pos += n;
        else
            ok = false;
    }
};

QByteArray header(std::uint16_t id, std::uint16_t flags)
{
    QByteArray out;
    put16(out, id);
    put16(out, flags);
    put16(out, 1); // one question
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    return out;
}

// First-level encoding: each of the 16 bytes as two letters 'A' + nibble,
// behind the length 32, then the empty scope.
void putEncodedName(QByteArray& out, const RawName& raw)
{
    out.append(char(32));
    for (unsigned char b : raw)
        out.append(char('A' + (b >> 4))).append(char('A' + (b & 0x0F)));
    out.append('\0');
}

// The 16 raw bytes of an encoded name without scope; a compression pointer or
// any other form yields nothing.
std::optional<RawName> readEncodedName(Reader& r)
{
    if (r.u8() != 32 || !r.has(33))
        return std::nullopt;
    RawName raw{};
    for (unsigned char& b : raw) {
        const unsigned hi = r.u8() - 'A';
        const unsigned lo = r.u8() - 'A';
        if (hi > 15 || lo > 15)
            return std::nullopt;
        b = static_cast<unsigned char>((hi << 4) | lo);
    }
    if (r.u8() != 0) // a scope: not ours
        return std::nullopt;
    return raw;
}

// Skips a name: labels, or a pointer to a name earlier in the packet (one
// that points at itself or ahead is a loop or nonsense).
void skipName(Reader& r)
{
    for (int labels = 0; r.ok && labels < 64; ++labels) {
        const qsizetype at = r.pos;
        const unsigned len = r.u8();
        if (len == 0)
            return;
        if ((len & 0xC0) == 0xC0) {
            const qsizetype target = ((len & 0x3F) << 8) | r.u8();
            if (target >= at)
                r.ok = false;
            return;
        }
        if (len & 0xC0)
            break;
        r.skip(len);
    }
    r.ok = false;
}

bool hasControlByte(QByteArrayView name)
{
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

RawName padded(QByteArrayView name, unsigned char fill, unsigned char suffix)
{
    RawName raw;
    raw.fill(fill);
    for (qsizetype i = 0; i < name.size() && i < kMaxNameLength; ++i)
        raw[static_cast<std::size_t>(i)] = static_cast<unsigned char>(name[i]);
    raw[kMaxNameLength] = suffix;
    return raw;
}

unsigned char asciiUpper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Reads the header of a response to our question; false unless it is a
// positive answer with our id and at least one answer record.
bool readResponseHeader(Reader& r, std::uint16_t transactionId)
{
    const unsigned id = r.u16();
    const unsigned flags = r.u16();
    const unsigned questions = r.u16(); // responses normally repeat none
    const unsigned answers = r.u16();
    r.skip(4);
    if (!r.ok || id != transactionId || !(flags & kFlagResponse) || (flags & kOpcodeMask) ||
        (flags & kRcodeMask) || answers == 0)
        return false;
    for (unsigned q = 0; q < questions && r.ok; ++q) {
        skipName(r);
        r.skip(4);
    }
    return r.ok;
}

} // namespace

bool isValidName(QByteArrayView name)
{
    return !name.isEmpty() && name.size() <= kMaxNameLength && !name.contains('.') &&
           !hasControlByte(name);
}

QByteArray upperCased(QByteArrayView name)
{
    QByteArray out = name.toByteArray();
    for (qsizetype i = 0; i < out.size();) {
        const qsizetype n = gbk::charLength(out, i);
        if (n == 1)
            out[i] = static_cast<char>(asciiUpper(static_cast<unsigned char>(out[i])));
        i += n;
    }
    return out;
}

QByteArray nodeStatusRequest(std::uint16_t transactionId)
{
    QByteArray out = header(transactionId, 0);
    putEncodedName(out, padded("*", 0x00, 0x00));
    put16(out, kTypeNbstat);
    put16(out, kClassIn);
    return out;
}

QByteArray nodeStatusName(QByteArrayView response, std::uint16_t transactionId)
{
    Reader r{response};
    if (!readResponseHeader(r, transactionId))
        return {};
    skipName(r);
    const unsigned type = r.u16();
    const unsigned cls = r.u16();
    r.skip(4); // TTL
    const qsizetype rdLength = r.u16();
    if (!r.ok || type != kTypeNbstat || cls != kClassIn || !r.has(rdLength))
        return {};
    Reader data{response.sliced(r.pos, rdLength)};
    const unsigned count = data.u8();
    for (unsigned i = 0; i < count && data.has(18); ++i) {
        const QByteArrayView entry = data.bytes.sliced(data.pos, kRawNameSize);
        data.skip(kRawNameSize);
        const unsigned flags = data.u16();
        if (static_cast<unsigned char>(entry[kMaxNameLength]) != 0x00 ||
            (flags & (kGroupName | kDeregistering | kConflict)))
            continue;
        QByteArrayView name = entry.first(kMaxNameLength);
        // Blanks pad a name; a few stacks pad with zero bytes instead.
        while (!name.isEmpty() && (name.back() == ' ' || name.back() == '\0'))
            name.chop(1);
        if (name.isEmpty() || hasControlByte(name))
            continue;
        return name.toByteArray();
    }
    return {};
}

QByteArray nameQueryRequest(std::uint16_t transactionId, QByteArrayView name)
{
    if (!isValidName(name))
        return {};
    QByteArray out = header(transactionId, kFlagRecursionDesired | kFlagBroadcast);
    putEncodedName(out, padded(upperCased(name), ' ', 0x00));
    put16(out, kTypeNb);
    put16(out, kClassIn);
    return out;
}

std::optional<std::uint32_t> nameQueryAddress(QByteArrayView response, std::uint16_t transactionId,
                                              QByteArrayView name)
{
    if (!isValidName(name))
        return std::nullopt;
    Reader r{response};
    if (!readResponseHeader(r, transactionId))
        return std::nullopt;
    const std::optional<RawName> owner = readEncodedName(r);
    const unsigned type = r.u16();
    const unsigned cls = r.u16();
    r.skip(4); // TTL
    const unsigned rdLength = r.u16();
    if (!r.ok || !owner || type != kTypeNb || cls != kClassIn || rdLength < 6 || !r.has(rdLength))
        return std::nullopt;
    // Both sides upper-cased the same GBK-aware way: a trail byte is never folded.
    const RawName wanted = padded(upperCased(name), ' ', 0x00);
    const QByteArray got(reinterpret_cast<const char*>(owner->data()), kRawNameSize);
    const QByteArray want(reinterpret_cast<const char*>(wanted.data()), kRawNameSize);
    if (upperCased(got.first(kMaxNameLength)) + got.back() != want)
        return std::nullopt;
    r.skip(2); // NB_FLAGS of the first entry
    return r.u32();
}

} // namespace zeph::platform::netbios
