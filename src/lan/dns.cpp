#include "lan/dns.h"

#include "lan/packet.h"

namespace zeph::lan::dns {
namespace {

constexpr std::uint16_t kUnicastResponse = 0x8000; // in a question's class
constexpr std::uint16_t kCacheFlush = 0x8000;      // in a record's class
constexpr unsigned kMaxRecords = 256;
constexpr qsizetype kMaxLabel = 63;

struct Record {
    QByteArray owner;
    unsigned type = 0;
    unsigned cls = 0;
    QByteArrayView data;
    qsizetype dataPos = 0; // where data starts in the packet (names in it may point back)
};

// Calls visit(record) for each record of every section of a response with
// this id, until visit returns true or the packet ends or breaks.
template <typename Visit> bool eachRecord(QByteArrayView p, std::uint16_t id, Visit&& visit)
{
    PacketReader r(p);
    const Header h = r.header();
    if (!r.ok() || !h.isPositiveResponseTo(id))
        return false;
    for (unsigned q = 0; q < h.questions; ++q) {
        if (q >= kMaxRecords || !r.name())
            return false;
        r.skip(4);
    }
    const unsigned records = unsigned{h.answers} + h.authorities + h.additionals;
    for (unsigned i = 0; i < records && i < kMaxRecords && r.ok(); ++i) {
        std::optional<QByteArray> owner = r.name();
        Record rec;
        rec.type = r.u16();
        rec.cls = r.u16() & ~kCacheFlush;
        r.skip(4); // TTL
        const qsizetype length = r.u16();
        rec.dataPos = r.pos();
        rec.data = r.bytes(length);
        if (!owner || !r.ok())
            return false;
        rec.owner = std::move(*owner);
        if (visit(rec))
            return true;
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
    if (name.isEmpty() || name.size() + 1 > kMaxNameLength)
        return {};
    PacketWriter out;
    out.queryHeader(id, 0); // a standard query
    for (QByteArrayView rest = name;;) {
        const qsizetype dot = rest.indexOf('.');
        const QByteArrayView label = dot < 0 ? rest : rest.first(dot);
        if (label.isEmpty() || label.size() > kMaxLabel)
            return {};
        out.u8(static_cast<std::uint8_t>(label.size())).bytes(label);
        if (dot < 0)
            break;
        rest = rest.sliced(dot + 1);
    }
    out.u8(0).u16(type).u16(kClassIn | (unicastResponse ? kUnicastResponse : 0));
    return out.packet();
}

QByteArray reverseName(Ipv4Address address)
{
    QByteArray out;
    for (int k = 3; k >= 0; --k)
        out.append(QByteArray::number(address[static_cast<std::size_t>(k)])).append('.');
    return out.append("in-addr.arpa");
}

QByteArray ptrTarget(QByteArrayView response, std::uint16_t id, QByteArrayView name)
{
    QByteArray target;
    eachRecord(response, id, [&](const Record& r) {
        if (r.type != kTypePtr || r.cls != kClassIn || !sameName(r.owner, name))
            return false;
        // Read in the whole packet (the target may point back into it), but
        // it must end inside the record.
        PacketReader in(response, r.dataPos);
        const std::optional<QByteArray> t = in.name();
        if (!t || t->isEmpty() || in.pos() > r.dataPos + r.data.size())
            return false;
        target = *t;
        return true;
    });
    return target;
}

std::optional<Ipv4Address> aRecord(QByteArrayView response, std::uint16_t id, QByteArrayView name)
{
    std::optional<Ipv4Address> address;
    eachRecord(response, id, [&](const Record& r) {
        if (r.type != kTypeA || r.cls != kClassIn || r.data.size() != 4 || !sameName(r.owner, name))
            return false;
        address = Ipv4Address(PacketReader(r.data).u32());
        return true;
    });
    return address;
}

} // namespace zeph::lan::dns
