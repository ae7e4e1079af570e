#pragma once
// Start at log-on: an XDG autostart entry, rewritten at every start with the
// running executable's path, so a moved program records its new place.

#include <QString>

namespace zeph::platform {

// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart) + "/zeph.desktop".
QString autostartFilePath();

// The Exec value for a program path: quoted and escaped as desktop entries
// require when the path has blanks or reserved characters, '%' doubled.
QString desktopExecValue(const QString& program);

// Writes the entry; false on failure (callers ignore it).
bool registerAutostart(const QString& program);

} // namespace zeph::platform
