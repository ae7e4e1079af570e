#include "lan/packet.h"

#include "core/hostname.h"

namespace zeph::lan {
namespace {

constexpr unsigned kPointer = 0xC0;

} // namespace

std::uint8_t PacketReader::u8()
{
    if (!has(1)) {
        fail();
        return 0;
    }
    return static_cast<std::uint8_t>(m_packet[m_pos++]);
}

std::uint16_t PacketReader::u16()
{
    if (!has(2)) {
        fail();
        return 0;
    }
    const unsigned hi = u8();
    return static_cast<std::uint16_t>((hi << 8) | u8());
}

std::uint32_t PacketReader::u32()
{
    if (!has(4)) {
        fail();
        return 0;
    }
    const std::uint32_t hi = u16();
    return (hi << 16) | u16();
}

QByteArrayView PacketReader::bytes(qsizetype n)
{
    if (!has(n)) {
        fail();
        return {};
    }
    const QByteArrayView out = m_packet.sliced(m_pos, n);
    m_pos += n;
    return out;
}

Header PacketReader::header()
{
    Header h;
    h.id = u16();
    h.flags = u16();
    h.questions = u16();
    h.answers = u16();
    h.authorities = u16();
    h.additionals = u16();
    return h;
}

std::optional<QByteArray> PacketReader::name()
{
    if (!m_ok)
        return std::nullopt;
    QByteArray out;
    qsizetype at = m_pos; // where the next label is read
    qsizetype end = -1;   // where the name ends in place, once a pointer was taken
    qsizetype wire = 0;   // uncompressed length of the labels so far
    int pointers = 0;
    for (;;) {
        PacketReader here(m_packet, at);
        const unsigned len = here.u8();
        if (!here.ok())
            break;
        if (len == 0) {
            m_pos = end >= 0 ? end : here.pos();
            return out;
        }
        if ((len & kPointer) == kPointer) {
            const qsizetype target = ((len & 0x3F) << 8) | here.u8();
            // Only backwards: a name cannot point into its own future.
            if (!here.ok() || ++pointers > kMaxPointers || target >= at)
                break;
            if (end < 0)
                end = here.pos();
            at = target;
            continue;
        }
        if (len & kPointer) // the reserved label types
            break;
        const QByteArrayView label = here.bytes(len);
        wire += len + 1;
        if (!here.ok() || wire > kMaxNameLength)
            break;
        if (label.contains('.') || hostname::hasControlByte(label))
            return fail(), std::nullopt;
        if (!out.isEmpty())
            out.append('.');
        out.append(label);
        at = here.pos();
    }
    fail();
    return std::nullopt;
}

void PacketReader::skipName()
{
    qsizetype wire = 0;
    while (m_ok) {
        const qsizetype at = m_pos;
        const unsigned len = u8();
        if (!m_ok || len == 0)
            return;
        if ((len & kPointer) == kPointer) {
            const qsizetype target = ((len & 0x3F) << 8) | u8();
            if (target >= at)
                fail();
            return;
        }
        wire += len + 1;
        if ((len & kPointer) || wire > kMaxNameLength)
            break;
        skip(len);
    }
    fail();
}

PacketWriter& PacketWriter::u8(std::uint8_t v)
{
    m_out.append(static_cast<char>(v));
    return *this;
}

PacketWriter& PacketWriter::u16(std::uint16_t v)
{
    return u8(static_cast<std::uint8_t>(v >> 8)).u8(static_cast<std::uint8_t>(v & 0xFF));
}

PacketWriter& PacketWriter::bytes(QByteArrayView b)
{
    m_out.append(b);
    return *this;
}

PacketWriter& PacketWriter::queryHeader(std::uint16_t id, std::uint16_t headerFlags)
{
    return u16(id).u16(headerFlags).u16(1).u16(0).u16(0).u16(0);
}

} // namespace zeph::lan
