#pragma once
// User-visible texts that more than one part of the program shows, each in one
// place. Unicode here; the core turns them into GBK with zeph::G(). Texts that
// only one class shows stay beside the code that shows them.

#include <QStringView>

namespace zeph::texts {

// The scan: its notice (also the hint suffix and the clear-history line while
// it runs), the status line, and how it ends.
inline constexpr QStringView kScanRunning = u"正在刷新计算机列表，请稍候……";
inline constexpr QStringView kScanStatus = u"正在刷新计算机列表，请稍候。";
inline constexpr QStringView kScanCancelled = u"已取消刷新计算机列表。";
inline constexpr QStringView kScanCompleted = u"计算机列表刷新完毕。";
inline constexpr QStringView kScanNoAddress = u"找不到本机的网络地址，无法刷新计算机列表！";
// The subnets the user names in zeph.conf: each followed by the file or the entry.
inline constexpr QStringView kScanConfigUnreadable = u"无法读取配置文件：";
inline constexpr QStringView kScanSubnetBad = u"配置文件中的网段无法识别，不扫描：";
inline constexpr QStringView kScanSubnetTooWide = u"配置文件中的网段大于 /20，不扫描：";

// Refusals shared by sending and the messenger service.
inline constexpr QStringView kNoTarget = u"未指定目标计算机！";
inline constexpr QStringView kEmptyContent = u"发送内容不能为空！";

// Pieces of the sent-message record, "您于<time>发送给|<target>|的信息：".
inline constexpr QStringView kYouAt = u"您于";
inline constexpr QStringView kSentTo = u"发送给|";
inline constexpr QStringView kSentThroughServiceTo = u"通过信使服务发送给|";
inline constexpr QStringView kMessageOf = u"|的信息：";

// Between a message and its signature, on the wire and in a pop-up.
inline constexpr QStringView kSignatureDash = u"——";

} // namespace zeph::texts
