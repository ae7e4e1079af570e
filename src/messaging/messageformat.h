#pragma once
// The message datagram: one GBK text per datagram, no length field, no terminator.
//   "|" sender "|于" time-stamp phrase CR LF content "——" signature
// Every received datagram is untrusted: split() and bytesToText() accept any bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>

namespace zeph::message {

// The program's message port value; only its low 16 bits (40027) reach the wire.
inline constexpr int kMessagePort = 760923;

// The largest payload one IPv4 UDP datagram carries.
inline constexpr qsizetype kMaxDatagramSize = 65507;

inline constexpr quint16 wirePort(int port)
{
    return static_cast<quint16>(port & 0xFFFF);
}

// "%d年%d月%d日" then "%d时%d分%d秒", "%d时%d分", "%d时" or nothing, dropping the
// trailing zero fields (exactly midnight shows the date alone).
QByteArray timestampText(const QDateTime& when);

QByteArray directPhrase();    // 给您发送的信息：
QByteArray broadcastPhrase(); // 发布的广播信息：

QByteArray compose(QByteArrayView ownHostName, QByteArrayView timestamp, QByteArrayView phrase,
                   QByteArrayView content, QByteArrayView signature);

// Cuts at "|" into at most 3 parts, left to right, stepping over GBK double-byte
// characters whole so that a trail byte 0x7C never separates. Text after the
// third separator is dropped; an empty remainder adds no part.
QList<QByteArray> split(QByteArrayView text);

// The message text of a datagram: its bytes up to the first zero byte.
QByteArray bytesToText(QByteArrayView datagram);

// The line a notice of the message shows: the first line after the header,
// or the first line itself for a text of one line. CR and LF are safe to
// seek in GBK, as no trail byte is either.
QByteArray firstContentLine(QByteArrayView text);

} // namespace zeph::message
