#pragma once
// The history's own texts (see core/texts.h for where texts live).

#include <QStringView>

namespace zeph::texts {

// What marks a notice and an error entry.
inline constexpr QStringView kNoticeMark = u"★★★";
inline constexpr QStringView kErrorMark = u"×××";
// The welcome banner: "<welcome>\r\n<author>Zeph <site>https://…★★★".
inline constexpr QStringView kWelcome = u"★★★欢迎使用局域网即时通信系统★★★";
inline constexpr QStringView kBannerAuthor = u"★★★作者：";
inline constexpr QStringView kBannerSite = u"网站：";
// Saving.
inline constexpr QStringView kSaveFailed = u"保存文件错误！";
inline constexpr QStringView kSaveDone = u"保存文件完毕。";
// The oldest history dropped: "信息历史过多，已删除最早的<n>字节：" and why.
inline constexpr QStringView kHistoryDropped = u"信息历史过多，已删除最早的";
inline constexpr QStringView kHistoryDroppedBytes = u"字节：";
inline constexpr QStringView kSpillFull = u"暂存文件已达上限。";
inline constexpr QStringView kSpillFailed = u"无法写入暂存文件。";

} // namespace zeph::texts
