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

// The oldest history dropped: "信息历史过多，已删除最早的<n>字节：" and why.
inline constexpr QStringView kHistoryDropped = u"信息历史过多，已删除最早的";
inline constexpr QStringView kHistoryDroppedBytes = u"字节：";
inline constexpr QStringView kSpillFull = u"暂存文件已达上限。";
inline constexpr QStringView kSpillFailed = u"无法写入暂存文件。";

// Datagrams the system dropped because they came faster than they were read:
// "<n>条信息因到达过快而丢失！".
inline constexpr QStringView kDatagramsLost = u"条信息因到达过快而丢失！";

// Between a message and its signature, on the wire and in a pop-up.
inline constexpr QStringView kSignatureDash = u"——";

// ---- Arrival and sending as written (new texts; the integrator moves them) ----

// A send refused before anything leaves: "<this>U+1F600 U+AC00", the
// characters named by their code points, as GBK cannot show them.
inline constexpr QStringView kNotInGbk = u"发送内容或签名中有GBK无法表示的字符，未发送：";
inline constexpr QStringView kMoreCharacters = u" 等";
// The desktop notice of messages that arrived while the user worked
// elsewhere: its title, after "收到<sender>发来的信息", counts them; choosing
// it opens the window.
inline constexpr QStringView kUnseenCount = u"（共%1条未读）";
inline constexpr QStringView kNoticeAction = u"查看";

} // namespace zeph::texts
