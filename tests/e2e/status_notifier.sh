#!/usr/bin/env bash
# status_notifier: the tray icon as a StatusNotifierItem, driven as a panel
# drives it. A private session bus, Debian's status-notifier-watcher and a
# registered host (tests/e2e/sni.py) stand in for the panel; zeph runs on an
# Xvfb without an XEmbed tray. Checked:
#   - after the first activation the item is registered, its tip is the product
#     title and it carries an icon;
#   - Activate (a click on the item) shows the hidden window and hides the
#     shown one: the double-click of the tray (event kind 2);
#   - ContextMenu (from a panel that shows no menu itself) pops the tray menu
#     up as a right click does (event kind 3), and Escape closes it;
#   - the exported menu (com.canonical.dbusmenu) is the tray menu, and its
#     entries work through Event "clicked": "显示主窗口" shows the window,
#     "退出" ends the program with exit code 0;
#   - a message that arrives while another program (an xterm) has the
#     keyboard marks the item's icon, and the mark goes when the user comes
#     to the window.
#
# Runs in a private network namespace (loopback only). Needs root.
# Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS.
E2E_NAME=status_notifier
if [[ ${ZEPH_E2E_PRIVATE_NET:-} != 1 ]]; then
    exec unshare --net -- env ZEPH_E2E_PRIVATE_NET=1 bash "${BASH_SOURCE[0]}" "$@"
fi
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ip link set lo up
[[ -z $(ip -4 -o addr show scope global) ]] || fail "the private namespace has a global address"
start_xvfb D
start_session_bus
start_sni_panel

ZEPH_SESSION_ENV=(DISPLAY="$D" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")
start_zeph P "$D" localhost -
activate_window "$D" "$P" W
sni_item ITEM "$P"
expect_sni_item "$ITEM"
expect_sni_menu "$ITEM"

say "Activate shows the hidden window, and hides it again"
"${SNI[@]}" activate "$ITEM" || fail "Activate failed"
poll 10 "the window to come out of the tray" viewable "$D" "$W"
"${SNI[@]}" activate "$ITEM" || fail "Activate failed"
poll 10 "the window to go back into the tray" not_viewable "$D" "$W"

say "ContextMenu pops the tray menu up"
"${SNI[@]}" context "$ITEM" || fail "ContextMenu failed"
wait_var MENU 10 "the tray menu to pop up" popup_menu "$D" "$P"
x "$D" key Escape
poll 10 "the tray menu to close" not_viewable "$D" "$MENU"

say "the menu's 显示主窗口 shows the window"
"${SNI[@]}" choose "$ITEM" "$(dbusmenu "$TRAY_SHOW")" || fail "cannot choose the show entry"
poll 10 "the window to be shown by the menu" viewable "$D" "$W"

say "a message while a terminal has the keyboard marks the icon until seen"
PLAIN=$("${SNI[@]}" prop "$ITEM" IconPixmap)
icon_is() { [[ $("${SNI[@]}" prop "$ITEM" IconPixmap) == "$1" ]]; }
icon_is_not() { ! icon_is "$1"; }
DISPLAY=$D xterm -e sh -c 'sleep 120' >>"$E2E_TMP/xterm.log" 2>&1 &
track $!
wait_var TERMW 20 "the terminal's window" \
    sh -c "DISPLAY=$D xdotool search --onlyvisible --class '^XTerm\$' 2>/dev/null | head -1"
focus "$D" "$TERMW"
sleep 0.5 # Qt hears that it lost the keyboard a little later
printf '|peer|x\r\nhello' >/dev/udp/127.0.0.1/40027
poll 10 "the icon to be marked" icon_is_not "$PLAIN"
focus "$D" "$W"
poll 10 "the mark to go once the window has the keyboard" icon_is "$PLAIN"

say "the menu's 退出 ends the program"
sni_exit "$ITEM" "$P"
say "PASS"
