#pragma once
// The windows' texts that are not a control's own caption, hint or name (those
// are the window definition's; see core/texts.h for where texts live).

#include <QStringView>

namespace zeph::texts {

inline constexpr QStringView kAboutLinkCaption = u"访问作者网站";
inline constexpr QStringView kAbout = u"关于Zeph"; // the about label and the about window's title
// The first line of the history pane once its oldest part has left it.
inline constexpr QStringView kHistoryScrolledOut =
    u"较早的记录已移出窗口，保存记录时仍会全部写入。";
// The main window's accessible description once a message has brought it forward.
inline constexpr QStringView kMessageFrom = u"收到%1发来的信息";
inline constexpr QStringView kMessageArrived = u"收到信息";
// The desktop notice of messages that arrived while the user worked
// elsewhere: its title, after "收到<sender>发来的信息", counts them; choosing
// it opens the window.
inline constexpr QStringView kUnseenCount = u"（共%1条未读）";
inline constexpr QStringView kNoticeAction = u"查看";
inline constexpr QStringView kTrayMenu = u"Zeph托盘菜单"; // what a screen reader calls it

} // namespace zeph::texts
