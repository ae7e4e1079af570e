#pragma once
// The one reader and writer of the LAN's name-service packets: NetBIOS name
// service (RFC 1002) and the DNS family (RFC 1035, multicast DNS) share a
// 12-byte header, big-endian fields and labelled names. Every read is bounded:
// a read past the end fails and stays failed, and a name may follow at most
// kMaxPointers compression pointers, each pointing backwards.

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace zeph::lan {

// Header flags, the same bits in both families.
namespace flags {
inline constexpr std::uint16_t kResponse = 0x8000;
inline constexpr std::uint16_t kOpcodeMask = 0x7800;
inline constexpr std::uint16_t kRecursionDesired = 0x0100;
inline constexpr std::uint16_t kBroadcast = 0x0010; // NetBIOS only
inline constexpr std::uint16_t kRcodeMask = 0x000F;
} // namespace flags

inline constexpr std::uint16_t kClassIn = 1;
inline constexpr qsizetype kHeaderSize = 12;
inline constexpr qsizetype kMaxNameLength = 255; // as on the wire, uncompressed
inline constexpr int kMaxPointers = 32;

struct Header {
    std::uint16_t id = 0;
    std::uint16_t flags = 0;
    std::uint16_t questions = 0;
    std::uint16_t answers = 0;
    std::uint16_t authorities = 0;
    std::uint16_t additionals = 0;

    // A positive answer to our question: a response with our id, a standard
    // query's opcode and no error.
    bool isPositiveResponseTo(std::uint16_t transactionId) const
    {
        return id == transactionId && (flags & flags::kResponse) && !(flags & flags::kOpcodeMask) &&
               !(flags & flags::kRcodeMask);
    }
};

class PacketReader {
public:
    explicit PacketReader(QByteArrayView packet, qsizetype pos = 0) : m_packet(packet), m_pos(pos)
    {
        m_ok = pos >= 0 && pos <= packet.size();
    }

    bool ok() const { return m_ok; }
    qsizetype pos() const { return m_pos; }
    QByteArrayView packet() const { return m_packet; }
    // True while n more bytes can be read.
    bool has(qsizetype n) const { return m_ok && n >= 0 && m_packet.size() - m_pos >= n; }

    // Each read past the end yields 0 (or nothing) and leaves ok() false.
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    QByteArrayView bytes(qsizetype n);
    void skip(qsizetype n) { (void)bytes(n); }
    Header header();

    // A name in label form, its labels joined with dots, following compression
    // pointers; the reader moves past the name as it stands here. Nothing for
    // a truncated name, a pointer loop or one pointing ahead, a reserved label
    // type, a name over kMaxNameLength, or a label holding a control byte or a
    // dot (it could not be asked for again).
    std::optional<QByteArray> name();
    // Moves past a name without reading it: labels up to the end or a
    // pointer, which must point backwards. Fails as name() would on the
    // structure, not on the bytes inside the labels.
    void skipName();

private:
    void fail() { m_ok = false; }

    QByteArrayView m_packet;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

class PacketWriter {
public:
    PacketWriter& u8(std::uint8_t v);
    PacketWriter& u16(std::uint16_t v);
    PacketWriter& bytes(QByteArrayView b);
    // A query header: our id and flags, one question, no records.
    PacketWriter& queryHeader(std::uint16_t id, std::uint16_t headerFlags);

    const QByteArray& packet() const { return m_out; }

private:
    QByteArray m_out;
};

} // namespace zeph::lan
