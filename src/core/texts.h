#pragma once
// User-visible texts that more than one part of the program shows, each in one
// place. Unicode here; the core turns them into GBK with zeph::G(). Texts that
// only one class shows stay beside the code that shows them.

#include <QStringView>

#include <cstddef>

namespace zeph::texts {

// A text with a number written into it when the program is compiled, so that
// the number keeps one home: withNumber(u"大于 /", 20, u"，") reads u"大于 /20，".
template <std::size_t Size> struct NumberedText {
    char16_t chars[Size]{};
    qsizetype size = 0;
    constexpr operator QStringView() const { return QStringView(chars, size); }
};

template <std::size_t Before, std::size_t After>
constexpr NumberedText<Before + After + 10>
withNumber(const char16_t (&before)[Before], unsigned number, const char16_t (&after)[After])
{
    NumberedText<Before + After + 10> text; // 10 digits hold any unsigned
    for (std::size_t i = 0; i + 1 < Before; ++i)
        text.chars[text.size++] = before[i];
    char16_t digits[10]{};
    int count = 0;
    do {
        digits[count++] = char16_t(u'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0)
        text.chars[text.size++] = digits[--count];
    for (std::size_t i = 0; i + 1 < After; ++i)
        text.chars[text.size++] = after[i];
    return text;
}

// The scan: its notice (also the hint suffix and the clear-history line while
// it runs), the status line, and how it ends.
inline constexpr QStringView kScanRunning = u"正在刷新计算机列表，请稍候……";
inline constexpr QStringView kScanStatus = u"正在刷新计算机列表，请稍候。";
inline constexpr QStringView kScanCancelled = u"已取消刷新计算机列表。";
inline constexpr QStringView kScanCompleted = u"计算机列表刷新完毕。";
inline constexpr QStringView kScanNoAddress = u"找不到本机的网络地址，无法刷新计算机列表！";
// The texts about zeph.conf sit beside its limits, in discovery/scanconfig.h.

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

} // namespace zeph::texts
