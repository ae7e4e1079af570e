#!/usr/bin/env bash
# close_in_tray: a window manager's close (WM_DELETE_WINDOW) reaching the main
# window while it is hidden in the tray ends the run, as it does when the window
# is shown: the program's window is destroyed, so the program ends with code 0
# and does not linger without window or tray icon, holding the message port
# (a new copy would start but could not receive anything).
#
# Runs in a private network namespace (loopback only) under one Xvfb with a tray.
# Needs root. Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS.
E2E_NAME=close_in_tray
E2E_PRIVATE_NET=1
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

private_desktop D

start_zeph P1 "$D" localhost -
activate "$D" "$P1" W1
say "WM_DELETE_WINDOW to the window hidden in the tray"
DISPLAY=$D "${X11UTIL[@]}" wm-delete "$W1" || fail "cannot send WM_DELETE_WINDOW"
poll 10 "the copy to end after its window was closed" proc_ended "$P1"
exit_code "$P1" rc
[[ $rc == 0 ]] || fail "exit code $rc"

say "a new copy starts and takes the message port"
start_zeph P2 "$D" localhost -
activate "$D" "$P2" W2
poll 10 "the new copy to listen on UDP 40027" \
    sh -c "ss -uanp 'sport = :40027' | grep -q 'pid=$P2,'"
say "PASS"
