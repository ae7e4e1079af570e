# shellcheck shell=bash
# shellcheck disable=SC2034 # constants and helpers that the scripts use
# Shared pieces of the end-to-end scripts (sourced, bash): a temp folder, a
# cleanup trap that kills every process the script started and removes its
# simulated LAN, Xvfb and tray start-up, zeph start-up with a private HOME,
# XDG_CONFIG_HOME and XDG_RUNTIME_DIR, polling, window look-ups by class, size
# and title, and the history file check.
#
# Environment: ZEPH_BIN (the zeph executable; zeph-probe beside it),
# ZEPH_E2E_WINDOWDEF (the windowdef.sh that the build writes into its
# tests/e2e folder from the window definitions), ZEPH_E2E_ARTIFACTS (where
# logs, saved histories and screenshots are kept; default: the temp folder,
# removed at exit unless ZEPH_E2E_KEEP=1).

# A script that sets E2E_PRIVATE_NET=1 before sourcing this runs in a network
# namespace of its own, with only loopback: it is started again in one first.
if [[ ${E2E_PRIVATE_NET:-} == 1 && ${ZEPH_E2E_PRIVATE_NET:-} != 1 ]]; then
    exec unshare --net -- env ZEPH_E2E_PRIVATE_NET=1 bash "$0" "$@"
fi

set -euo pipefail

E2E_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
SIMLAN="$E2E_DIR/../tools/simlan.sh"
if [[ -x /usr/bin/python3 ]]; then PY=/usr/bin/python3; else PY=python3; fi
X11UTIL=("$PY" "$E2E_DIR/x11util.py")

: "${E2E_NAME:=e2e}"
: "${ZEPH_BIN:?ZEPH_BIN must name the zeph executable}"
# A script that installs the program itself checks it once it is there.
[[ ${E2E_ZEPH_INSTALLED_LATER:-0} == 1 || -x $ZEPH_BIN ]] ||
    { echo "$E2E_NAME: $ZEPH_BIN is not executable" >&2; exit 1; }
[[ $EUID -eq 0 ]] || { echo "$E2E_NAME: needs root (network and UTS namespaces)" >&2; exit 1; }

E2E_TMP="$(mktemp -d "/tmp/zeph-e2e-$E2E_NAME.XXXXXX")"
chmod 755 "$E2E_TMP"
ARTIFACTS="${ZEPH_E2E_ARTIFACTS:-$E2E_TMP/artifacts}"
mkdir -p "$ARTIFACTS"

# The windows as the program defines them: MAIN_W and MAIN_H (the main window
# at start-up), the titles, the tray menu and the AT_* click points.
: "${ZEPH_E2E_WINDOWDEF:?ZEPH_E2E_WINDOWDEF must name the windowdef.sh the build wrote}"
# shellcheck source=/dev/null # written by the build
source "$ZEPH_E2E_WINDOWDEF"

E2E_PIDS=()
E2E_LANS=()
E2E_CLEANUPS=() # commands (eval'd) run at exit, last first, after the processes have ended

say() { printf '[%s %s] %s\n' "$E2E_NAME" "$(date +%T.%3N)" "$*" >&2; }

dump_logs() {
    local f
    for f in "$E2E_TMP"/*.log; do
        [[ -s $f ]] || continue
        printf -- '---- %s\n' "${f##*/}" >&2
        tail -n 40 "$f" >&2
    done
}

fail() {
    say "FAIL: $*"
    dump_logs
    exit 1
}

e2e_cleanup() {
    local rc=$? i pid lan
    trap - EXIT
    # TERM first, so that Xvfb removes its socket and lock file; then KILL.
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        kill -TERM "${E2E_PIDS[i]}" 2>/dev/null || true
    done
    for i in $(seq 30); do
        local alive=0
        for pid in "${E2E_PIDS[@]}"; do
            proc_running "$pid" && alive=1
        done
        ((alive)) || break
        sleep 0.1
    done
    for pid in "${E2E_PIDS[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    for pid in "${E2E_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    for lan in "${E2E_LANS[@]}"; do
        "$SIMLAN" down "$lan" || true
    done
    for ((i = ${#E2E_CLEANUPS[@]} - 1; i >= 0; i--)); do
        eval "${E2E_CLEANUPS[i]}" || true
    done
    cp -f "$E2E_TMP"/*.log "$ARTIFACTS"/ 2>/dev/null || true
    [[ ${ZEPH_E2E_KEEP:-0} == 1 ]] || rm -rf "$E2E_TMP"
    exit "$rc"
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

track() { E2E_PIDS+=("$1"); }

# two_host_lan TAG PREFIX NAME1 NAME2: a simulated LAN of two hosts, PREFIX.1
# called NAME1 and PREFIX.2 called NAME2, removed at exit; sets LAN (TAG and a
# number unique to the run), NS1 and NS2 (the hosts' namespaces).
two_host_lan() {
    LAN="$1$((RANDOM % 100000))"
    say "simulated LAN $LAN: $2.1 $3, $2.2 $4"
    E2E_LANS+=("$LAN")
    "$SIMLAN" up "$LAN" "$2" "1:$3" "2:$4"
    "$SIMLAN" check "$LAN" 1 "$2.1"
    "$SIMLAN" check "$LAN" 2 "$2.2"
    NS1=$("$SIMLAN" ns "$LAN" 1)
    NS2=$("$SIMLAN" ns "$LAN" 2)
}

now_ms() { local t=${EPOCHREALTIME/./}; echo $((t / 1000)); }

# poll SECONDS WHAT CMD...: run CMD every 100 ms until it succeeds; fail after SECONDS.
poll() {
    local secs=$1 what=$2
    shift 2
    local deadline=$(($(now_ms) + secs * 1000))
    until "$@"; do
        (($(now_ms) < deadline)) || fail "timed out after ${secs}s waiting for: $what"
        sleep 0.1
    done
}

# ------------------------------------------------------------------ processes

# Gone or a zombie: the process has ended (wait collects its code).
proc_ended() {
    local state
    [[ -e /proc/$1/stat ]] || return 0
    state=$(sed -E 's/^[0-9]+ \(.*\) (.).*/\1/' "/proc/$1/stat" 2>/dev/null) || return 0
    [[ $state == Z || -z $state ]]
}
proc_running() { ! proc_ended "$1"; }

# exit_code PID VAR: VAR gets the exit status of an ended child (call after
# proc_ended; not in a $(...) subshell, which cannot wait for the script's children).
exit_code() {
    local _ec_rc=0
    wait "$1" 2>/dev/null || _ec_rc=$?
    printf -v "$2" '%s' "$_ec_rc"
}

# --------------------------------------------------------------------- X side

# start_xvfb VAR [LAUNCHER...]: a 1024x768 Xvfb on a free display number,
# listening only on its socket file /tmp/.X11-unix/XN (no TCP, no abstract
# socket, so clients in any network namespace reach this server and no other);
# VAR gets ":N". The number is chosen here: -displayfd cannot see servers that
# run in other network namespaces.
start_xvfb() {
    local var=$1
    shift
    local n pid
    n=$((40 + RANDOM % 200))
    for _ in $(seq 40); do
        n=$((n + 1))
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        "$@" Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -nolisten local \
            >>"$E2E_TMP/xvfb.log" 2>&1 &
        pid=$!
        track "$pid"
        local deadline=$(($(now_ms) + 10000))
        while proc_running "$pid" && (($(now_ms) < deadline)); do
            if [[ -S /tmp/.X11-unix/X$n ]] && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
                printf -v "$var" ':%s' "$n"
                say "Xvfb on :$n"
                return 0
            fi
            sleep 0.1
        done
        proc_running "$pid" && fail "Xvfb :$n does not answer"
    done
    fail "no free X display number"
}

tray_owned() { [[ $(DISPLAY=$1 "${X11UTIL[@]}" selection-owner _NET_SYSTEM_TRAY_S0) != 0 ]]; }

# start_tray DISPLAY: a notification area (trayer), ready when it owns the tray selection.
start_tray() {
    DISPLAY=$1 trayer --edge bottom --align right --widthtype pixel --width 120 \
        --height 32 --SetDockType true --transparent false >>"$E2E_TMP/trayer.log" 2>&1 &
    track $!
    poll 10 "trayer to own the system tray on $1" tray_owned "$1"
}

x() {
    local d=$1
    shift
    DISPLAY=$d timeout 10 xdotool "$@" || fail "xdotool $* on $d failed"
}

# zeph_windows DISPLAY [--onlyvisible]: every window of class zeph.
zeph_windows() {
    local only=()
    [[ -z ${2:-} ]] || only=("$2")
    DISPLAY=$1 xdotool search "${only[@]}" --class '^zeph$' 2>/dev/null || true
}

win_size() {
    # shellcheck disable=SC2034 # set by the eval
    local WIDTH=0 HEIGHT=0 WINDOW X Y SCREEN
    eval "$(DISPLAY=$1 xdotool getwindowgeometry --shell "$2" 2>/dev/null)" || true
    echo "${WIDTH}x${HEIGHT}"
}
win_pid() { DISPLAY=$1 xdotool getwindowpid "$2" 2>/dev/null || true; }
win_title() {
    DISPLAY=$1 xprop -id "$2" _NET_WM_NAME 2>/dev/null |
        sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'
}
viewable() { DISPLAY=$1 xwininfo -id "$2" 2>/dev/null | grep -q 'Map State: IsViewable'; }
not_viewable() { ! viewable "$@"; }

# main_window DISPLAY PID: the main window of that process (shown or hidden).
main_window() {
    local w
    for w in $(zeph_windows "$1"); do
        [[ $(win_size "$1" "$w") == "${MAIN_W}x${MAIN_H}" && $(win_pid "$1" "$w") == "$2" ]] &&
            { echo "$w"; return 0; }
    done
    return 1
}

# visible_titled DISPLAY TITLE [PID]: a visible zeph window with exactly that title.
visible_titled() {
    local w
    for w in $(zeph_windows "$1" --onlyvisible); do
        [[ $(win_title "$1" "$w") == "$2" ]] || continue
        [[ -z ${3:-} || $(win_pid "$1" "$w") == "$3" ]] || continue
        echo "$w"
        return 0
    done
    return 1
}

# tray_icon DISPLAY [PID]: the visible icon window that zeph embedded in the tray.
tray_icon() {
    local w s
    for w in $(zeph_windows "$1" --onlyvisible); do
        [[ -z ${2:-} || $(win_pid "$1" "$w") == "$2" ]] || continue
        s=$(win_size "$1" "$w")
        local wd=${s%x*} ht=${s#*x}
        ((wd >= 8 && wd <= 64 && ht >= 8 && ht <= 64)) && { echo "$w"; return 0; }
    done
    return 1
}

# popup_menu DISPLAY PID: a visible window of PID that is neither its main
# window nor its tray icon (the tray menu, when one is open).
popup_menu() {
    local w main icon
    main=$(main_window "$1" "$2" || true)
    icon=$(tray_icon "$1" "$2" || true)
    for w in $(zeph_windows "$1" --onlyvisible); do
        [[ $(win_pid "$1" "$w") == "$2" && $w != "$main" && $w != "$icon" ]] || continue
        echo "$w"
        return 0
    done
    return 1
}

# wait_var VAR SECONDS WHAT CMD...: poll CMD until it prints something; VAR gets it.
wait_var() {
    local _wv_var=$1 _wv_secs=$2 _wv_what=$3
    shift 3
    local _wv_out _wv_deadline=$(($(now_ms) + _wv_secs * 1000))
    until _wv_out=$("$@") && [[ -n $_wv_out ]]; do
        (($(now_ms) < _wv_deadline)) || fail "timed out after ${_wv_secs}s waiting for: $_wv_what"
        sleep 0.1
    done
    printf -v "$_wv_var" '%s' "$_wv_out"
}

focus() { x "$1" windowfocus --sync "$2"; }

# click DISPLAY WINDOW X Y [BUTTON] : a click at window coordinates.
click() { x "$1" mousemove --window "$2" "$3" "$4" click "${5:-1}"; }

double_click() { x "$1" mousemove --window "$2" "$3" "$4" click --repeat 2 --delay 80 1; }

clipboard() { DISPLAY=$1 timeout 5 xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null; }

# read_target DISPLAY WINDOW: what the target box shows (select all, copy, read the clipboard).
read_target() {
    focus "$1" "$2"
    click "$1" "$2" "${AT_TARGET_BOX[@]}"
    x "$1" key ctrl+a ctrl+c
    local text="" i
    for i in $(seq 20); do
        text=$(clipboard "$1") && break
        sleep 0.1
    done
    printf '%s' "$text"
}

# type_message DISPLAY WINDOW TEXT: click into the send box and type.
type_message() {
    focus "$1" "$2"
    click "$1" "$2" "${AT_SEND_BOX[@]}"
    x "$1" type --delay 15 "$3"
}

# -------------------------------------------------------------------- zeph

# start_zeph VAR DISPLAY HOSTNAME NETNS|-  : start a copy in its own UTS
# namespace (host name HOSTNAME), inside network namespace NETNS (or the
# current one when "-", which must be private already). VAR gets the pid,
# which is zeph's own: ip netns exec, unshare and sh each exec the next.
ZEPH_COPIES=0
start_zeph() {
    local var=$1 display=$2 host=$3 ns=$4
    local dir="$E2E_TMP/${ZEPH_HOME_TAG:-$host}"
    mkdir -p "$dir/home" "$dir/config" "$dir/runtime"
    chmod 700 "$dir/runtime"
    ZEPH_COPIES=$((ZEPH_COPIES + 1))
    local log="$E2E_TMP/zeph-$host-$ZEPH_COPIES.log"
    local launcher=() pass=() v
    [[ $ns == - ]] || launcher=(ip netns exec "$ns")
    # A sanitizer build keeps the options it was given.
    for v in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
        [[ -z ${!v:-} ]] || pass+=("$v=${!v}")
    done
    # The desktop: an X display and no session bus, unless the script gives
    # its own session variables in ZEPH_SESSION_ENV (then DISPLAY is ignored).
    local session=(DISPLAY="$display" DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb)
    [[ -z ${ZEPH_SESSION_ENV+set} ]] || session=("${ZEPH_SESSION_ENV[@]}")
    "${launcher[@]}" unshare --uts -- sh -c 'hostname "$1" && shift && exec "$@"' sh "$host" \
        env -i PATH=/usr/bin:/bin HOME="$dir/home" \
        XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/runtime" "${session[@]}" LANG=C.UTF-8 \
        QT_LOGGING_RULES='zeph.*.debug=true' "${pass[@]}" "$ZEPH_BIN" >"$log" 2>&1 &
    local _zpid=$!
    track "$_zpid"
    printf -v "$var" '%s' "$_zpid"
    say "zeph as $host on $display: pid $_zpid"
}

# private_desktop VAR: the checks and pieces of one desktop session in this
# private namespace: loopback only, the copies' shared folders, an Xvfb with a
# tray. Its display goes into VAR.
private_desktop() {
    ip link set lo up
    [[ -z $(ip -4 -o addr show scope global) ]] || fail "the private namespace has a global address"
    export ZEPH_HOME_TAG=desktop # one session: the copies share their folders
    start_xvfb "$1"
    start_tray "${!1}"
}

# focus_until_hidden DISPLAY WINDOW: one focus attempt; true once the window
# has left the screen.
focus_until_hidden() {
    not_viewable "$1" "$2" && return 0
    DISPLAY=$1 timeout 5 xdotool windowfocus "$2" 2>/dev/null || true
    sleep 0.2
    not_viewable "$1" "$2"
}

# activate_window DISPLAY PID VAR: wait for the main window, give it the focus
# (there is no window manager), and wait until it has hidden; VAR gets it.
activate_window() {
    local d=$1 pid=$2 _awin
    wait_var _awin 20 "the main window of pid $pid" main_window "$d" "$pid"
    poll 10 "the main window to be shown" viewable "$d" "$_awin"
    [[ $(win_title "$d" "$_awin") != "$PRODUCT_TITLE" ]] || fail "main window titled like the refusal box"
    # No --sync here: the copy hides the window as soon as it is activated,
    # which can happen before xdotool sees the focus arrive. Focus again until
    # the window has gone into the tray.
    poll 10 "the window to hide into the tray at its first activation" \
        focus_until_hidden "$d" "$_awin"
    printf -v "$3" '%s' "$_awin"
}

# activate DISPLAY PID VAR: activate_window, then wait for the XEmbed tray icon.
activate() {
    local d=$1 pid=$2 var=$3 _aw
    activate_window "$d" "$pid" _aw
    local _aicon
    wait_var _aicon 10 "the tray icon" tray_icon "$d" "$pid"
    printf -v "$var" '%s' "$_aw"
}

# show_from_tray DISPLAY WINDOW: double-click its tray icon; wait until shown.
show_from_tray() {
    local icon
    wait_var icon 10 "the tray icon" tray_icon "$1" "$(win_pid "$1" "$2")"
    double_click "$1" "$icon" 11 15
    poll 10 "the window to come out of the tray" viewable "$1" "$2"
}

# save_history DISPLAY WINDOW FILE: the save button (Alt+B) and the file dialog.
save_history() {
    local d=$1 w=$2 file=$3 dlg
    rm -f "$file"
    focus "$d" "$w"
    x "$d" key alt+b
    wait_var dlg 15 "the save dialog" visible_titled "$d" "$SAVE_DIALOG_TITLE"
    focus "$d" "$dlg"
    x "$d" type --delay 5 "$file"
    x "$d" key Return
    poll 10 "the dialog to close" not_viewable "$d" "$dlg"
    poll 10 "$file to be written" test -s "$file"
}

# The history as UTF-8 with every time stamp replaced by <T>; fails on bytes
# that are not GBK.
normalized_history() {
    iconv -f GBK -t UTF-8 "$1" |
        LC_ALL=C.UTF-8 sed -E 's/[0-9]{4}年[0-9]{1,2}月[0-9]{1,2}日([0-9]{1,2}时([0-9]{1,2}分([0-9]{1,2}秒)?)?)?/<T>/g'
}

# expect_history FILE LINE...: the saved file, decoded and with <T> for time
# stamps, is exactly these lines joined by CR LF, no line break at the end.
# Line 2 (the credit) is taken from the file after checking its frame.
expect_history() {
    local file=$1
    shift
    local got want credit
    got=$(normalized_history "$file"; printf x) || fail "$file is not GBK text"
    got=${got%x}
    credit=$(printf '%s' "$got" | sed -n '2p' | tr -d '\r')
    [[ $credit == "★★★作者："*"★★★" ]] || fail "banner credit line is '$credit'"
    local lines=("★★★欢迎使用局域网即时通信系统★★★" "$credit" "$@")
    want=$(printf '%s\r\n' "${lines[@]}"; printf x)
    want=${want%$'\r\nx'}
    if [[ $got != "$want" ]]; then
        printf '%s' "$want" >"$file.expected"
        printf '%s' "$got" >"$file.got"
        diff <(tr -d '\r' <"$file.expected") <(tr -d '\r' <"$file.got") >&2 || true
        cmp "$file.expected" "$file.got" >&2 || true
        fail "history $file differs from what was expected"
    fi
}

# shellcheck disable=SC2034 # used by the scripts
DASHES="--------------------------------------------------------"

# ------------------------------------------------------- StatusNotifier panel

SNI=("$PY" "$E2E_DIR/sni.py")

session_bus_answers() {
    dbus-send --session --dest=org.freedesktop.DBus --type=method_call / \
        org.freedesktop.DBus.Peer.Ping 2>/dev/null
}

# private_bus_config FILE TYPE SOCKET: a bus that lets everyone talk and
# starts no service of the machine's, whoever asks (a desktop shell asks for
# many); the test starts what it needs itself.
private_bus_config() {
    cat >"$1" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>$2</type>
  <listen>unix:path=$3</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
CONF
}

# start_session_bus [--no-activation]: a private D-Bus session bus on a socket
# file, so that programs in every network namespace reach it; exported as the
# session bus. --no-activation: it starts no service itself.
# shellcheck disable=SC2120 # arrival_desktops.sh passes --no-activation
start_session_bus() {
    local sock="$E2E_TMP/session-bus"
    local how=(--session --address="unix:path=$sock")
    if [[ ${1:-} == --no-activation ]]; then
        private_bus_config "$E2E_TMP/session-bus.conf" session "$sock"
        how=(--config-file="$E2E_TMP/session-bus.conf")
    fi
    dbus-daemon "${how[@]}" --nofork --nopidfile >>"$E2E_TMP/dbus.log" 2>&1 &
    track $!
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$sock"
    poll 10 "the session bus" session_bus_answers
    say "session bus at $sock"
}

# start_sni_panel: Debian's status-notifier-watcher and a registered host on
# the session bus: what a StatusNotifier panel provides.
start_sni_panel() {
    status-notifier-watcher >>"$E2E_TMP/watcher.log" 2>&1 &
    track $!
    poll 10 "the StatusNotifier watcher" "${SNI[@]}" ready watcher
    "${SNI[@]}" host >>"$E2E_TMP/sni-host.log" 2>&1 &
    track $!
    poll 10 "the StatusNotifier host to register" "${SNI[@]}" ready host
}

# sni_item VAR PID: the bus name of the item that process PID registered.
sni_item() { wait_var "$1" 20 "the StatusNotifier item of pid $2" "${SNI[@]}" item "$2"; }

# expect_sni_item NAME: its tip is the product title and it carries an icon.
expect_sni_item() {
    local tip icon pixmaps
    tip=$("${SNI[@]}" prop "$1" ToolTip) || fail "no ToolTip on $1"
    [[ $tip == "$PRODUCT_TITLE" ]] || fail "item tip is '$tip'"
    icon=$("${SNI[@]}" prop "$1" IconName) || fail "no IconName on $1"
    pixmaps=$("${SNI[@]}" prop "$1" IconPixmap) || fail "no IconPixmap on $1"
    [[ -n $icon || $pixmaps =~ [1-9][0-9]*x[1-9] ]] || fail "item $1 has no icon"
    say "item $1: tip '$tip', icon '${icon:-}' pixmaps '$pixmaps'"
}

# dbusmenu CAPTION: a menu caption as dbusmenu spells it ("_" marks the mnemonic).
dbusmenu() { printf '%s' "${1//&/_}"; }

# expect_sni_menu NAME: the exported menu is the tray menu.
expect_sni_menu() {
    local got want
    got=$("${SNI[@]}" menu "$1") || fail "cannot read the menu of $1"
    want=$(for entry in "${TRAY_MENU[@]}"; do dbusmenu "$entry"; echo; done)
    [[ $got == "$want" ]] || fail "item menu is: $(echo "$got" | tr '\n' '|')"
}

# sni_exit NAME PID: choose the exit entry in the item's menu; the copy ends with code 0.
sni_exit() {
    "${SNI[@]}" choose "$1" "$(dbusmenu "$TRAY_EXIT")" || fail "cannot choose the exit entry"
    poll 10 "the copy to end after the menu's exit" proc_ended "$2"
    local _rc
    exit_code "$2" _rc
    [[ $_rc == 0 ]] || fail "exit code $_rc after the menu's exit"
}

# ------------------------------------------------------------ screen readers

A11Y=("$PY" "$E2E_DIR/a11y.py")

# Asked without starting it: the session bus would start a launcher of its own.
a11y_bus_answers() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true'
}

# start_a11y_bus DISPLAY: what a desktop with a screen reader runs: a private
# session bus and the accessibility bus launcher on it, which starts the
# accessibility bus (its registry is started on demand). Programs find it
# through the session bus; they and the readers must share the network
# namespace (the bus may listen on an abstract socket).
start_a11y_bus() {
    start_session_bus
    local runtime="$E2E_TMP/a11y-runtime"
    mkdir -p "$runtime"
    chmod 700 "$runtime"
    DISPLAY=$1 XDG_RUNTIME_DIR=$runtime /usr/libexec/at-spi-bus-launcher --launch-immediately \
        >>"$E2E_TMP/a11y-bus.log" 2>&1 &
    track $!
    poll 10 "the accessibility bus" a11y_bus_answers
    say "accessibility bus up"
}

# a11y_session DISPLAY: the session variables of a copy that a screen reader
# reads (ZEPH_SESSION_ENV, for start_zeph), accessibility always on.
a11y_session() {
    ZEPH_SESSION_ENV=(DISPLAY="$1" QT_QPA_PLATFORM=xcb
        DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
}
