#pragma once
// Builders of NetBIOS and DNS answers as responders send them, byte by byte,
// for the codec tests and the fake responders. Kept apart from the program's
// own encoders so that a fault in those cannot hide in both.

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace zeph::test::wire {

inline void put16(QByteArray& out, unsigned v)
{
    out.append(char((v >> 8) & 0xFF)).append(char(v & 0xFF));
}

inline void put32(QByteArray& out, std::uint32_t v)
{
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

inline QByteArray header(unsigned id, unsigned flags, unsigned qd, unsigned an, unsigned ns = 0,
                         unsigned ar = 0)
{
    QByteArray out;
    for (unsigned v : {id, flags, qd, an, ns, ar})
        put16(out, v);
    return out;
}

// The first-level encoded NetBIOS name: 15 bytes padded with pad, the suffix.
inline QByteArray netbiosName(QByteArray name, char pad = ' ', char suffix = 0)
{
    name = name.leftJustified(15, pad, true);
    name.append(suffix);
    QByteArray out(1, char(32));
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        out.append(char('A' + (b >> 4))).append(char('A' + (b & 15)));
    }
    return out.append('\0');
}

struct NameEntry {
    QByteArray name; // up to 15 bytes, padded with blanks
    char suffix = 0;
    unsigned flags = 0x0400; // active; 0x8000 = group
};

// A node-status answer as nmbd and Windows send it.
inline QByteArray nodeStatus(unsigned id, const QList<NameEntry>& names, unsigned flags = 0x8400)
{
    QByteArray out = header(id, flags, 0, 1);
    out += netbiosName("*", '\0');
    put16(out, 0x21);
    put16(out, 1);
    put32(out, 0);
    QByteArray data(1, char(names.size()));
    for (const NameEntry& e : names) {
        data += e.name.leftJustified(15, ' ', true);
        data.append(e.suffix);
        put16(data, e.flags);
    }
    data += QByteArray(46, '\0'); // statistics: the unit id and counters
    put16(out, unsigned(data.size()));
    return out + data;
}

// A positive name-query answer for name<00> with these addresses.
inline QByteArray nameQueryAnswer(unsigned id, const QByteArray& name,
                                  const QList<std::uint32_t>& addresses)
{
    QByteArray out = header(id, 0x8500, 0, 1);
    out += netbiosName(name);
    put16(out, 0x20);
    put16(out, 1);
    put32(out, 300000);
    put16(out, unsigned(addresses.size() * 6));
    for (std::uint32_t a : addresses) {
        put16(out, 0);
        put32(out, a);
    }
    return out;
}

inline QByteArray dnsName(const QByteArray& dotted)
{
    QByteArray out;
    for (const QByteArray& label : dotted.split('.'))
        out.append(char(label.size())).append(label);
    return out.append('\0');
}

// One resource record; owner is already encoded (labels or a pointer).
inline QByteArray record(const QByteArray& owner, unsigned type, unsigned cls,
                         const QByteArray& data)
{
    QByteArray out = owner;
    put16(out, type);
    put16(out, cls);
    put32(out, 120);
    put16(out, unsigned(data.size()));
    return out + data;
}

inline QByteArray a(std::uint32_t address)
{
    QByteArray out;
    put32(out, address);
    return out;
}

// A legacy-unicast answer: the question repeated, then one answer.
inline QByteArray dnsAnswer(unsigned id, const QByteArray& question, unsigned qtype,
                            const QByteArray& answer)
{
    QByteArray out = header(id, 0x8400, 1, 1) + dnsName(question);
    put16(out, qtype);
    put16(out, 1);
    return out + answer;
}

} // namespace zeph::test::wire
