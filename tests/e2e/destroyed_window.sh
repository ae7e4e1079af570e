#!/usr/bin/env bash
# destroyed_window: the main window destroyed by another X client (xdotool
# windowclose, i.e. XDestroyWindow, the way xkill-like tools and a crashing
# window manager's clean-up remove windows) ends the run with code 0 and
# releases the single-instance marker, like every other way the window goes:
# a new copy then starts normally. Without that the program lives on with a
# tray icon whose window no longer exists, and every new copy is refused.
#
# Runs in a private network namespace (loopback only) under one Xvfb with a tray.
# Needs root. Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS.
E2E_NAME=destroyed_window
E2E_PRIVATE_NET=1
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

private_desktop D

start_zeph P1 "$D" localhost -
activate "$D" "$P1" W1
show_from_tray "$D" "$W1"
say "XDestroyWindow on the shown main window"
x "$D" windowclose "$W1"
poll 10 "the copy to end after its window was destroyed" proc_ended "$P1"
exit_code "$P1" rc
[[ $rc == 0 ]] || fail "exit code $rc"

say "a new copy starts normally"
start_zeph P2 "$D" localhost -
activate "$D" "$P2" W2
! visible_titled "$D" "$PRODUCT_TITLE" "$P2" >/dev/null || fail "the new copy was refused"
say "PASS"
