#!/usr/bin/env bash
# wayland: zeph in a Wayland session, in both of its modes, each with a private
# session bus, Debian's status-notifier-watcher and a registered host:
#   xwayland  weston's headless backend with XWayland; zeph gets WAYLAND_DISPLAY
#             and DISPLAY and no QT_QPA_PLATFORM, and must run on XWayland (its
#             window is an X window there, given the focus with xdotool);
#   native    WAYLAND_DISPLAY only: zeph runs on Qt's wayland plug-in. Weston's
#             headless backend has no seat, so it never activates a window and
#             the first activation (tray item, hide, scan) would never come;
#             this mode runs weston's x11 backend on an Xvfb of its own, which
#             gives it a keyboard. zeph itself sees no X display.
# In each mode: the program starts and hides at its first activation; its
# StatusNotifier item registers; a message from a peer on the simulated LAN
# brings its window back; the item menu's "退出" ends it with exit code 0.
#
# Needs root. Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS; WAYLAND_MODES (default
# "xwayland native").
E2E_NAME=wayland
if [[ ${ZEPH_E2E_PRIVATE_NET:-} != 1 ]]; then
    exec unshare --net -- env ZEPH_E2E_PRIVATE_NET=1 bash "${BASH_SOURCE[0]}" "$@"
fi
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

ip link set lo up
[[ -z $(ip -4 -o addr show scope global) ]] || fail "the private namespace has a global address"

PREFIX=10.213.$((20 + RANDOM % 200))
two_host_lan zw "$PREFIX" alpha bravo # zeph on alpha, the peer on bravo
NSA=$NS1 NSB=$NS2

start_session_bus
start_sni_panel

# start_weston VAR MODE: a weston whose socket path goes into VAR; in xwayland
# mode XWAYLAND_DISPLAY gets its X display.
start_weston() {
    local var=$1 mode=$2 dir="$E2E_TMP/weston-$2" args=() launcher=()
    mkdir -m 700 "$dir"
    local log="$E2E_TMP/weston-$mode.log"
    if [[ $mode == xwayland ]]; then
        args=(--backend=headless-backend.so --xwayland)
    else
        local parent
        start_xvfb parent
        launcher=(env DISPLAY="$parent")
        args=(--backend=x11-backend.so --width=1024 --height=768)
    fi
    "${launcher[@]}" env XDG_RUNTIME_DIR="$dir" weston "${args[@]}" --socket=wl-zeph \
        --idle-time=0 --log="$log" >>"$log" 2>&1 &
    track $!
    poll 20 "weston ($mode) to listen" test -S "$dir/wl-zeph"
    printf -v "$var" '%s' "$dir/wl-zeph"
    XWAYLAND_DISPLAY=""
    if [[ $mode == xwayland ]]; then
        local n
        wait_var n 20 "weston's X display" \
            sh -c "grep -o 'xserver listening on display :[0-9]*' '$log' | grep -o '[0-9]*\$'"
        XWAYLAND_DISPLAY=":$n"
        poll 20 "XWayland to answer on $XWAYLAND_DISPLAY" \
            sh -c "DISPLAY=$XWAYLAND_DISPLAY xdpyinfo >/dev/null 2>&1"
        say "weston with XWayland on $XWAYLAND_DISPLAY"
    fi
}

shown_count() { grep -c 'zeph.ui: main window shown' "$1" || true; }
shown_since() { (($(shown_count "$1") > $2)); }

# send_from_peer TEXT: one message datagram from bravo to alpha's port 40027.
send_from_peer() {
    ip netns exec "$NSB" "$PY" - "$PREFIX.1" "$1" <<'PYEOF' || fail "the peer could not send"
import socket, sys
text = ("|bravo|于2026年12月8日说：\r\n" + sys.argv[2] + "——bravo").encode("gbk")
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.sendto(text, (sys.argv[1], 40027))
PYEOF
}

run_mode() {
    local mode=$1 wl
    say "---- $mode"
    start_weston wl "$mode"
    # As a Wayland session sets it: Qt alone would then choose wayland.
    ZEPH_SESSION_ENV=(WAYLAND_DISPLAY="$wl" XDG_SESSION_TYPE=wayland
        DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")
    [[ $mode != xwayland ]] || ZEPH_SESSION_ENV+=(DISPLAY="$XWAYLAND_DISPLAY")
    ZEPH_HOME_TAG=$mode start_zeph P - alpha "$NSA"
    local log="$E2E_TMP/zeph-alpha-$ZEPH_COPIES.log" w=""
    if [[ $mode == xwayland ]]; then
        # An X window of zeph's on XWayland: it chose xcb by itself.
        activate_window "$XWAYLAND_DISPLAY" "$P" w
    fi
    poll 20 "the window to hide at its first activation" \
        grep -q 'zeph.ui: main window hidden into the tray' "$log"
    local item
    sni_item item "$P"
    expect_sni_item "$item"

    say "a message from bravo"
    local before
    before=$(shown_count "$log")
    poll 10 "alpha to listen on UDP 40027" \
        sh -c "ip netns exec '$NSA' ss -uanp 'sport = :40027' | grep -q 'pid=$P,'"
    send_from_peer "你好，$mode"
    poll 10 "the message to bring the window back" shown_since "$log" "$before"
    [[ -z $w ]] || poll 10 "the window to be shown on XWayland" viewable "$XWAYLAND_DISPLAY" "$w"

    say "the item menu's 退出"
    sni_exit "$item" "$P"
}

for m in ${WAYLAND_MODES:-xwayland native}; do
    run_mode "$m"
done
say "PASS"
