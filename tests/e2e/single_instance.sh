#!/usr/bin/env bash
# single_instance: one copy per display, and every way a run ends lets the next
# copy start.
#
# Runs in a private network namespace (loopback only) under one Xvfb with a
# tray (trayer); all copies share one HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR
# in a temp folder, as the copies of one desktop session do. Checked:
#   - the first copy starts, writes its autostart entry and hides into the tray;
#   - a second copy shows the box titled "局域网即时通信(ZEPH)v0.1", never a
#     main window, and ends with code 0 once the box is closed with Enter; the
#     first copy keeps running;
#   - after the first copy is killed (SIGKILL), a new copy starts normally;
#   - the exit button: Enter answers the question with its default, No, and the
#     copy keeps running; Alt+Y (Yes) ends it with code 0; a new copy starts;
#   - the tray menu (right click on the icon, then T) ends it at once with code
#     0; a new copy starts;
#   - WM_DELETE_WINDOW (a window manager's close) on the shown window ends it
#     with code 0; a new copy starts.
#
# Needs root. Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS.
E2E_NAME=single_instance
E2E_PRIVATE_NET=1
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

private_desktop D

# start_normally PIDVAR WINVAR: a copy that is not refused and hides into the tray.
start_normally() {
    local _sn_pid
    start_zeph _sn_pid "$D" localhost -
    activate "$D" "$_sn_pid" "$2"
    ! visible_titled "$D" "$PRODUCT_TITLE" "$_sn_pid" >/dev/null ||
        fail "pid $_sn_pid shows the refusal box"
    printf -v "$1" '%s' "$_sn_pid"
}

# expect_end PID WHAT: the copy ends within 10 s, with code 0.
expect_end() {
    poll 10 "$2 to end the copy" proc_ended "$1"
    local rc
    exit_code "$1" rc
    [[ $rc == 0 ]] || fail "$2: exit code $rc"
    say "$2: ended with code 0"
}

say "first copy"
start_normally P1 W1
AUTOSTART="$E2E_TMP/desktop/config/autostart/zeph.desktop"
poll 5 "the autostart entry" test -s "$AUTOSTART"
grep -q "^Exec=.*$(basename "$ZEPH_BIN")" "$AUTOSTART" || fail "autostart entry: $(cat "$AUTOSTART")"

say "second copy while the first runs in the tray"
start_zeph P2 "$D" localhost -
wait_var BOX 20 "the second copy's message box" visible_titled "$D" "$PRODUCT_TITLE" "$P2"
[[ $(win_size "$D" "$BOX") != "${MAIN_W}x${MAIN_H}" ]] || fail "the box has the main window's size"
! main_window "$D" "$P2" >/dev/null || fail "the second copy made a main window"
focus "$D" "$BOX"
x "$D" key Return
expect_end "$P2" "OK in the second copy's box"
proc_running "$P1" || fail "the first copy ended too"
tray_icon "$D" "$P1" >/dev/null || fail "the first copy lost its tray icon"
not_viewable "$D" "$W1" || fail "the first copy's window was shown"

say "SIGKILL, then a new copy"
kill -KILL "$P1"
poll 10 "the killed copy to go" proc_ended "$P1"
exit_code "$P1" killed_rc
# shellcheck disable=SC2154 # exit_code sets it through printf -v
[[ $killed_rc == 137 ]] || fail "the killed copy reports $killed_rc"
start_normally P3 W3

say "exit button: No keeps the copy, Yes ends it"
show_from_tray "$D" "$W3"
focus "$D" "$W3"
click "$D" "$W3" "${AT_EXIT[@]}"
wait_var Q 10 "the exit question" visible_titled "$D" "$EXIT_TITLE" "$P3"
focus "$D" "$Q"
x "$D" key Return # the default button is No
poll 10 "the question to close" not_viewable "$D" "$Q"
for _ in $(seq 10); do # still there a second later
    proc_running "$P3" || fail "Enter (No) ended the copy"
    sleep 0.1
done
viewable "$D" "$W3" || fail "the window went away after No"
focus "$D" "$W3"
click "$D" "$W3" "${AT_EXIT[@]}"
wait_var Q 10 "the exit question again" visible_titled "$D" "$EXIT_TITLE" "$P3"
focus "$D" "$Q"
x "$D" key alt+y
expect_end "$P3" "the exit button answered Yes"

say "tray menu exit"
start_normally P4 W4
wait_var ICON 10 "the tray icon" tray_icon "$D" "$P4"
click "$D" "$ICON" 11 15 3
wait_var MENU 10 "the tray menu" popup_menu "$D" "$P4"
x "$D" key t
expect_end "$P4" "the tray menu's exit"

say "closing the shown window through the X server (WM_DELETE_WINDOW)"
start_normally P5 W5
show_from_tray "$D" "$W5"
DISPLAY=$D "${X11UTIL[@]}" wm-delete "$W5" || fail "cannot send WM_DELETE_WINDOW"
expect_end "$P5" "WM_DELETE_WINDOW"

say "and a copy starts normally once more"
start_normally P6 W6
wait_var ICON 10 "the tray icon" tray_icon "$D" "$P6"
click "$D" "$ICON" 11 15 3
wait_var MENU 10 "the tray menu" popup_menu "$D" "$P6"
x "$D" key t
expect_end "$P6" "the tray menu's exit"
say "PASS"
