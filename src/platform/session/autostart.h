#pragma once
// Start at log-on, rewritten at every start with the running executable's
// path, so a moved program records its new place: an XDG autostart entry on
// Linux, the value "zeph" under the user's Run key on Windows.

#include <QString>
#include <QStringView>

namespace zeph::platform {

#ifdef Q_OS_WIN
// Under HKEY_CURRENT_USER: the user's own key needs no administrator.
inline constexpr QStringView kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The value's text for a program path: native separators, in double quotes.
QString runKeyValue(const QString& program);
#else

// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart) + "/zeph.desktop".
QString autostartFilePath();

// The Exec value for a program path: quoted and escaped as desktop entries
// require when the path has blanks or reserved characters, '%' doubled.
QString desktopExecValue(const QString& program);
#endif

// Writes the entry; false on failure (callers ignore it). It writes any
// path: the caller first asks userfiles.h's noOtherUserCanReplace, so that
// no entry starts a program that another user could replace.
bool registerAutostart(const QString& program);

} // namespace zeph::platform
