#include "platform/dnswire.h"

namespace zeph::platform::dns {
namespace {

constexpr std::uint16_t kFlagResponse = 0x8000;
constexpr std::uint16_t kOpcodeMask = 0x7800;
constexpr std::uint16_t kRcodeMask = 0x000F;
constexpr std::uint16_t kClassIn = 1;
constexpr std::uint16_t kUnicastResponse = 0x8000; // in a question's class
constexpr std::uint16_t kCacheFlush = 0x8000;      // in a record's class
constexpr qsizetype kMaxName = 255;
constexpr int kMaxPointers = 32;
constexpr unsigned kMaxRecords = 256;

void put16(QByteArray& out, std::uint16_t v)
{
    out.append(static_cast<char>(v >> 8)).append(static_cast<char>(v & 0xFF));
}

unsigned u8at(QByteArrayView b, qsizetype pos)
{
    return static_cast<unsigned char>(b[pos]);
}

// A name at pos, labels joined with dots. end receives where the name ends in
// the packet (after its first pointer, if any). Pointers may go anywhere
// earlier in the packet but are counted, so a loop ends in failure.
std::optional<QByteArray> readName(QByteArrayView p, qsizetype pos, qsizetype& end)
{
    QByteArray name;
    qsizetype wire = 0; // bytes of the name as if uncompressed
    int pointers = 0;
    end = -1;
    for (;;) {
        if (pos >= p.size())
            return std::nullopt;
        const unsigned len = u8at(p, pos);
        if (len == 0) {
            if (end < 0)
                end = pos + 1;
            return name;
        }
        if ((len & 0xC0) == 0xC0) {
            if (pos + 1 >= p.size() || ++pointers > kMaxPointers)
                return std::nullopt;
            const qsizetype target = ((len & 0x3F) << 8) | u8at(p, pos + 1);
            if (end < 0)
                end = pos + 2;
            if (target >= pos) // only backwards: a name cannot point into its own future
                return std::nullopt;
            pos = target;
            continue;
        }
        if (len & 0xC0) // the reserved label types
            return std::nullopt;
        if (pos + 1 + qsizetype(len) > p.size())
            return std::nullopt;
        wire += len + 1;
        if (wire > kMaxName)
            return std::nullopt;
        const QByteArrayView label = p.sliced(pos + 1, len);
        for (char c : label) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x20 || b == 0x7F || c == '.')
                return std::nullopt;
        }
        if (!name.isEmpty())
            name.append('.');
        name.append(label);
        pos += 1 + len;
    }
}

struct Record {
    QByteArray owner;
    unsigned type = 0;
    unsigned cls = 0;
    qsizetype data = 0; // offset of the record data in the packet
    qsizetype length = 0;
};

// Calls visit(record) for each record of every section of a response with
// this id, until visit returns true or the packet ends or breaks.
template <typename Visit> bool eachRecord(QByteArrayView p, std::uint16_t id, Visit&& visit)
{
    if (p.size() < 12)
        return false;
    auto u16 = [&](qsizetype at) { return (u8at(p, at) << 8) | u8at(p, at + 1); };
    const unsigned flags = u16(2);
    if (static_cast<unsigned>(u16(0)) != id || !(flags & kFlagResponse) || (flags & kOpcodeMask) ||
        (flags & kRcodeMask))
        return false;
    const unsigned questions = u16(4);
    const unsigned records = u16(6) + u16(8) + u16(10);
    qsizetype pos = 12;
    for (unsigned q = 0; q < questions; ++q) {
        qsizetype end = 0;
        if (q >= kMaxRecords || !readName(p, pos, end) || end + 4 > p.size())
            return false;
        pos = end + 4;
    }
    for (unsigned i = 0; i < records && i < kMaxRecords; ++i) {
        qsizetype end = 0;
        std::optional<QByteArray> owner = readName(p, pos, end);
        if (!owner || end + 10 > p.size())
            return false;
        Record r{*owner, static_cast<unsigned>(u16(end)),
                 static_cast<unsigned>(u16(end + 2)) & ~kCacheFlush, end + 10,
                 static_cast<qsizetype>(u16(end + 8))};
        if (r.data + r.length > p.size())
            return false;
        if (visit(r))
            return true;
        pos = r.data + r.length;
    }
    return false;
}

unsigned char asciiLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

} // namespace

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(static_cast<unsigned char>(a[i])) !=
            asciiLower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

QByteArray query(std::uint16_t id, QByteArrayView name, std::uint16_t type, bool unicastResponse)
{
    QByteArray out;
    put16(out, id);
    put16(out, 0); // a standard query
    put16(out, 1);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    if (name.isEmpty() || name.size() + 1 > kMaxName)
        return {};
    for (QByteArrayView rest = name;;) {
        const qsizetype dot = rest.indexOf('.');
        const QByteArrayView label = dot < 0 ? rest : rest.first(dot);
        if (label.isEmpty() || label.size() > 63)
            return {};
        out.append(static_cast<char>(label.size())).append(label);
        if (dot < 0)
            break;
        rest = rest.sliced(dot + 1);
    }
    out.append('\0');
    put16(out, type);
    put16(out, kClassIn | (unicastResponse ? kUnicastResponse : 0));
    return out;
}

QByteArray reverseName(std::uint32_t address)
{
    QByteArray out;
    for (int shift = 0; shift < 32; shift += 8)
        out.append(QByteArray::number((address >> shift) & 0xFF)).append('.');
    return out.append("in-addr.arpa");
}

QByteArray ptrTarget(QByteArrayView response, std::uint16_t id, QByteArrayView name)
{
    QByteArray target;
    eachRecord(response, id, [&](const Record& r) {
        if (r.type != kTypePtr || r.cls != kClassIn || !sameName(r.owner, name))
            return false;
        qsizetype end = 0;
        const std::optional<QByteArray> t = readName(response, r.data, end);
        if (!t || t->isEmpty() || end > r.data + r.length)
            return false;
        target = *t;
        return true;
    });
    return target;
}

std::optional<std::uint32_t> aRecord(QByteArrayView response, std::uint16_t id, QByteArrayView name)
{
    std::optional<std::uint32_t> address;
    eachRecord(response, id, [&](const Record& r) {
        if (r.type != kTypeA || r.cls != kClassIn || r.length != 4 || !sameName(r.owner, name))
            return false;
        address = (std::uint32_t{u8at(response, r.data)} << 24) |
                  (u8at(response, r.data + 1) << 16) | (u8at(response, r.data + 2) << 8) |
                  u8at(response, r.data + 3);
        return true;
    });
    return address;
}

} // namespace zeph::platform::dns
