#include "lan/netbios.h"

#include "core/gbk.h"
#include "core/hostname.h"
#include "lan/packet.h"

#include <array>

namespace zeph::lan::netbios {
namespace {

constexpr std::uint16_t kTypeNb = 0x0020;
constexpr std::uint16_t kTypeNbstat = 0x0021;
constexpr qsizetype kRawNameSize = 16; // 15 name bytes and the suffix
constexpr qsizetype kStatusEntrySize = kRawNameSize + 2;

// Node-status name flags.
constexpr std::uint16_t kGroupName = 0x8000;
constexpr std::uint16_t kDeregistering = 0x1000;
constexpr std::uint16_t kConflict = 0x0800;

using RawName = std::array<unsigned char, kRawNameSize>;

// First-level encoding: each of the 16 bytes as two letters 'A' + nibble,
// behind the length 32, then the empty scope.
void putEncodedName(PacketWriter& out, const RawName& raw)
{
    out.u8(32);
    for (unsigned char b : raw)
        out.u8(static_cast<std::uint8_t>('A' + (b >> 4)))
            .u8(static_cast<std::uint8_t>('A' + (b & 0x0F)));
    out.u8(0);
}

// The 16 raw bytes of an encoded name without scope; a compression pointer or
// any other form yields nothing.
std::optional<RawName> readEncodedName(PacketReader& r)
{
    if (r.u8() != 32 || !r.has(33))
        return std::nullopt;
    RawName raw{};
    for (unsigned char& b : raw) {
        const unsigned hi = r.u8() - unsigned{'A'};
        const unsigned lo = r.u8() - unsigned{'A'};
        if (hi > 15 || lo > 15)
            return std::nullopt;
        b = static_cast<unsigned char>((hi << 4) | lo);
    }
    if (r.u8() != 0) // a scope: not ours
        return std::nullopt;
    return raw;
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
bool readResponseHeader(PacketReader& r, std::uint16_t transactionId)
{
    const Header h = r.header();
    if (!r.ok() || !h.isPositiveResponseTo(transactionId) || h.answers == 0)
        return false;
    for (unsigned q = 0; q < h.questions && r.ok(); ++q) { // responses normally repeat none
        r.skipName();
        r.skip(4);
    }
    return r.ok();
}

QByteArray question(std::uint16_t transactionId, std::uint16_t headerFlags, const RawName& name,
                    std::uint16_t type)
{
    PacketWriter out;
    out.queryHeader(transactionId, headerFlags);
    putEncodedName(out, name);
    out.u16(type).u16(kClassIn);
    return out.packet();
}

} // namespace

bool isValidName(QByteArrayView name)
{
    return name.size() <= kMaxNameLength && !name.contains('.') && hostname::isHostName(name);
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
    return question(transactionId, 0, padded("*", 0x00, 0x00), kTypeNbstat);
}

QByteArray nodeStatusName(QByteArrayView response, std::uint16_t transactionId)
{
    PacketReader r(response);
    if (!readResponseHeader(r, transactionId))
        return {};
    r.skipName();
    const unsigned type = r.u16();
    const unsigned cls = r.u16();
    r.skip(4); // TTL
    const qsizetype rdLength = r.u16();
    const QByteArrayView rdata = r.bytes(rdLength);
    if (!r.ok() || type != kTypeNbstat || cls != kClassIn)
        return {};
    PacketReader data(rdata);
    const unsigned count = data.u8();
    for (unsigned i = 0; i < count && data.has(kStatusEntrySize); ++i) {
        const QByteArrayView entry = data.bytes(kRawNameSize);
        const unsigned nameFlags = data.u16();
        if (static_cast<unsigned char>(entry[kMaxNameLength]) != 0x00 ||
            (nameFlags & (kGroupName | kDeregistering | kConflict)))
            continue;
        QByteArrayView name = entry.first(kMaxNameLength);
        // Blanks pad a name; a few stacks pad with zero bytes instead.
        while (!name.isEmpty() && (name.back() == ' ' || name.back() == '\0'))
            name.chop(1);
        // A name with a dot would be looked up as an address or a DNS name,
        // and a message to it would go somewhere else than to this host.
        if (!isValidName(name))
            continue;
        return name.toByteArray();
    }
    return {};
}

QByteArray nameQueryRequest(std::uint16_t transactionId, QByteArrayView name)
{
    if (!isValidName(name))
        return {};
    return question(transactionId, flags::kRecursionDesired | flags::kBroadcast,
                    padded(upperCased(name), ' ', 0x00), kTypeNb);
}

std::optional<Ipv4Address> nameQueryAddress(QByteArrayView response, std::uint16_t transactionId,
                                            QByteArrayView name)
{
    if (!isValidName(name))
        return std::nullopt;
    PacketReader r(response);
    if (!readResponseHeader(r, transactionId))
        return std::nullopt;
    const std::optional<RawName> owner = readEncodedName(r);
    const unsigned type = r.u16();
    const unsigned cls = r.u16();
    r.skip(4); // TTL
    const unsigned rdLength = r.u16();
    if (!r.ok() || !owner || type != kTypeNb || cls != kClassIn || rdLength < 6 || !r.has(rdLength))
        return std::nullopt;
    // Both sides upper-cased the same GBK-aware way: a trail byte is never folded.
    const RawName wanted = padded(upperCased(name), ' ', 0x00);
    const QByteArray got(reinterpret_cast<const char*>(owner->data()), kRawNameSize);
    const QByteArray want(reinterpret_cast<const char*>(wanted.data()), kRawNameSize);
    if (upperCased(got.first(kMaxNameLength)) + got.back() != want)
        return std::nullopt;
    r.skip(2); // NB_FLAGS of the first entry
    return Ipv4Address(r.u32());
}

} // namespace zeph::lan::netbios
