#pragma once
// The application's message boxes (see core/texts.h for where texts live).

#include <QStringView>

namespace zeph::texts {

inline constexpr QStringView kSecondCopy = u"程序已在运行，请双击任务栏小图标。";
inline constexpr QStringView kExitQuestion =
    u"您确定要退出吗？ 如果退出，你将不能收到别人发送给您的信息！";
inline constexpr QStringView kExitTitle = u"确认退出";
// Log-on start left as it was, followed by the program's path.
inline constexpr QStringView kAutostartRefused = u"其他用户可以替换本程序，未设置登录时自动启动：";

} // namespace zeph::texts
