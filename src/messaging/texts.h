#pragma once
// What sending, receiving and the messenger service put in the history (see
// core/texts.h for where texts live; what the wire carries is in wiretexts.h).

#include <QStringView>

namespace zeph::texts {

// Refusals shared by sending and the messenger service.
inline constexpr QStringView kNoTarget = u"未指定目标计算机！";
inline constexpr QStringView kEmptyContent = u"发送内容不能为空！";

// Pieces of the sent-message record, "您于<time>发送给|<target>|的信息：".
inline constexpr QStringView kYouAt = u"您于";
inline constexpr QStringView kSentTo = u"发送给|";
inline constexpr QStringView kSentThroughServiceTo = u"通过信使服务发送给|";
inline constexpr QStringView kMessageOf = u"|的信息：";

// Sending to one computer: the port could not be opened, the target not
// found, the datagram not sent, or it was.
inline constexpr QStringView kPortClosedBefore = u"无法打开端口";
inline constexpr QStringView kPortClosedAfter = u"，不能接收信息！";
inline constexpr QStringView kTargetNotFound = u"找不到目标计算机|";
inline constexpr QStringView kTargetNotFoundEnd = u"|！";
inline constexpr QStringView kSendFailed = u"信息发送错误！";
inline constexpr QStringView kSent = u"信息已发送到目标计算机。";
// A broadcast, followed by "|<name>|<name>|".
inline constexpr QStringView kBroadcastReached = u"广播消息被发送到下列计算机：";
// The messenger service: under way, and how it ended for "|<target>|".
inline constexpr QStringView kServiceSending = u"正在通过信使服务发送信息，请稍候……";
inline constexpr QStringView kServiceDelivered = u"信息已成功发送到计算机|";
inline constexpr QStringView kServiceFailed = u"使用信使服务发送信息到计算机|";
inline constexpr QStringView kServiceFailedEnd = u"|失败！";

// A send refused before anything leaves: "<this>U+1F600 U+AC00", the
// characters named by their code points, as GBK cannot show them.
inline constexpr QStringView kNotInGbk = u"发送内容或签名中有GBK无法表示的字符，未发送：";
inline constexpr QStringView kMoreCharacters = u" 等";
// A typed name that several listed hosts answer for, none of them the one the
// resolver names: "有多台计算机自称|PC-B|（10.0.0.15、10.0.0.20），未发送！".
inline constexpr QStringView kNameClaimed = u"有多台计算机自称|";
inline constexpr QStringView kNameClaimedBy = u"|（";
inline constexpr QStringView kNameClaimedSeparator = u"、";
inline constexpr QStringView kNameClaimedEnd = u"），未发送！";

// Datagrams the system dropped because they came faster than they were read:
// "<n>条信息因到达过快而丢失！".
inline constexpr QStringView kDatagramsLost = u"条信息因到达过快而丢失！";

} // namespace zeph::texts
