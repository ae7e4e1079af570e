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

// Datagrams the system dropped because they came faster than they were read:
// "<n>条信息因到达过快而丢失！".
inline constexpr QStringView kDatagramsLost = u"条信息因到达过快而丢失！";

} // namespace zeph::texts
