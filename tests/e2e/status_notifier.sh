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
#     "退出" ends the program with exit code 0.
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

say "the menu's 退出 ends the program"
sni_exit "$ITEM" "$P"
say "PASS"
