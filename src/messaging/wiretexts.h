#pragma once
// What a message datagram and a pop-up carry, "|<host>|于<time><phrase>\r\n
// <content>——<signature>": the copies on other computers read these bytes,
// so they never change, not even in a translation.

#include <QStringView>

namespace zeph::wire {

// The time-stamp's units: "2003年11月18日9时5分7秒".
inline constexpr QStringView kYear = u"年";
inline constexpr QStringView kMonth = u"月";
inline constexpr QStringView kDay = u"日";
inline constexpr QStringView kHour = u"时";
inline constexpr QStringView kMinute = u"分";
inline constexpr QStringView kSecond = u"秒";
// The kind phrases: a message to one computer, and a broadcast.
inline constexpr QStringView kDirectPhrase = u"给您发送的信息：";
inline constexpr QStringView kBroadcastPhrase = u"发布的广播信息：";
// Between the sender's name and the time.
inline constexpr QStringView kSenderAt = u"|于";
// Between a message and its signature, on the wire and in a pop-up.
inline constexpr QStringView kSignatureDash = u"——";

} // namespace zeph::wire
