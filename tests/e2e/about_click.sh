#!/usr/bin/env bash
# about_click: a real click on the "关于Zeph" label opens the about window and
# moves nothing: the labels drag the frameless window, but this one is exempt
# and gets its own press and release.
#
# Runs in a private network namespace (loopback only) under one Xvfb with a tray.
# Needs root. Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS.
E2E_NAME=about_click
E2E_PRIVATE_NET=1
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

position() { DISPLAY=$1 xdotool getwindowgeometry "$2" | sed -n 's/^ *Position: \([0-9,]*\).*/\1/p'; }

private_desktop D
start_zeph P1 "$D" localhost -
activate "$D" "$P1" W1
show_from_tray "$D" "$W1"
before=$(position "$D" "$W1")

say "click the about label"
x "$D" mousemove --window "$W1" "${AT_ABOUT_LABEL[@]}" mousedown 1
sleep 0.2
x "$D" mousemove --window "$W1" $((AT_ABOUT_LABEL[0] + 40)) $((AT_ABOUT_LABEL[1] + 40))
sleep 0.2
x "$D" mousemove --window "$W1" "${AT_ABOUT_LABEL[@]}" mouseup 1
wait_var ABOUT 10 "the about window" visible_titled "$D" "$ABOUT_TITLE" "$P1"
after=$(position "$D" "$W1")
[[ $after == "$before" ]] || fail "the main window moved from $before to $after"
say "PASS"
