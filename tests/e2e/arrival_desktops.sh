#!/usr/bin/env bash
# arrival_desktops: what a user of a real desktop shell sees when a message
# arrives, under Xfwm4, KWin (X11) and GNOME Shell (X11), each on an Xvfb with
# no panel and so no notification area; dunst is the notification server
# where the shell has none. Two copies on a simulated LAN: alpha runs on the
# desktop under test, with a session bus of its own; bravo, on a bare Xvfb
# with a tray, sends to it. Checked, on each desktop:
#   - after the first activation alpha's window is minimised (WM_STATE
#     Iconic), not withdrawn into a tray that does not exist;
#   - while the user types in a terminal, a burst of messages from bravo shows
#     the window and marks it urgent, but the keyboard stays in the terminal:
#     "secretpw" and Ctrl+Enter typed there land in the terminal's file, and
#     bravo receives nothing;
#   - the burst makes one notification (later Notify calls replace the first)
#     that names the sender and counts the messages;
#   - the notification's default action gives the window the keyboard in the
#     send box: what is typed next is sent to bravo;
#   - a draft addressed to charlie keeps its target when bravo writes again.
# A desktop that cannot be started here is skipped with the reason, and the
# others still count.
#
# Runs each desktop in a run of its own (network, and for GNOME Shell mount,
# namespaces it makes itself). Needs root. Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS.
DESKTOPS=(xfwm4 kwin gnome)

if [[ -z ${1:-} ]]; then
    rc=0 passed=0
    for desktop in "${DESKTOPS[@]}"; do
        code=0
        bash "${BASH_SOURCE[0]}" "$desktop" || code=$?
        case $code in
        0) passed=$((passed + 1)) && echo "arrival_desktops: $desktop passed" >&2 ;;
        77) echo "arrival_desktops: $desktop skipped (reason above)" >&2 ;;
        *) rc=1 ;;
        esac
    done
    ((passed > 0)) || rc=1
    exit "$rc"
fi

DESKTOP=$1
E2E_NAME=arrival-$DESKTOP
E2E_PRIVATE_NET=1 # the desktop's own programs see only loopback
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

skip() {
    say "SKIP: $*"
    dump_logs
    exit 77
}

PREFIX=10.213.11

snmp_udp_in() {
    ip netns exec "$1" awk '$1 == "Udp:" && !seen { for (i = 2; i <= NF; i++) col[$i] = i; seen = 1; next }
        $1 == "Udp:" && seen { print $col["InDatagrams"]; exit }' /proc/net/snmp
}
udp_above() { (($(snmp_udp_in "$1") > $2)); }

wm_state() { DISPLAY=$1 xprop -id "$2" WM_STATE 2>/dev/null | sed -n 's/^.*window state: //p'; }
iconic() { [[ $(wm_state "$1" "$2") == Iconic ]]; }
urgent() {
    DISPLAY=$1 xprop -id "$2" _NET_WM_STATE WM_HINTS 2>/dev/null |
        grep -qE '_NET_WM_STATE_DEMANDS_ATTENTION|[Uu]rgency'
}
# in_front DISPLAY WINDOW OTHER: WINDOW is above OTHER in the stacking order.
in_front() {
    local w pos=0 at=-1 other=-1
    for w in $(DISPLAY=$1 xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^.*# //; s/,//g'); do
        ((w == $2)) && at=$pos
        ((w == $3)) && other=$pos
        pos=$((pos + 1))
    done
    ((at > other && other >= 0))
}
# attention DISPLAY WINDOW TERMINAL: the window asks for attention; GNOME
# Shell grants that only to a window the user cannot see whole, and one in
# front of the terminal it covers is in full view.
attention() {
    urgent "$1" "$2" || { [[ $DESKTOP == gnome ]] && in_front "$1" "$2" "$3"; }
}
active_window() { DISPLAY=$1 xdotool getactivewindow 2>/dev/null || true; }
is_active() { [[ $(active_window "$1") == "$2" ]]; }
wm_running() { DISPLAY=$1 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# notify_calls: the Notify calls dbus-monitor saw, one line each:
# "replaces_id<TAB>summary".
notify_calls() {
    awk '/member=Notify$/ { n = 1; next }
        n == 1 && /^ *string / { n = 2; next }
        n == 2 && /^ *uint32 / { id = $2; n = 3; next }
        n == 3 && /^ *string / { n = 4; next }
        n == 4 && /^ *string / { sub(/^ *string "/, ""); sub(/"$/, ""); print id "\t" $0; n = 0 }' \
        "$E2E_TMP/monitor.log"
}
last_summary_is() { [[ $(notify_calls | tail -n 1 | cut -f 2-) == "$1" ]]; }

# --------------------------------------------------------------- the desktop

start_desktop_bus() {
    start_session_bus --no-activation
    # Only the calls to the service's name: GNOME Shell's helper passes each on.
    dbus-monitor --session \
        "type='method_call',interface='org.freedesktop.Notifications',destination='org.freedesktop.Notifications'" \
        "type='signal',interface='org.freedesktop.Notifications'" \
        >"$E2E_TMP/monitor.log" 2>&1 &
    track $!
}

notifications_served() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
        grep -q 'boolean true'
}

start_dunst() {
    DISPLAY=$1 dunst >>"$E2E_TMP/dunst.log" 2>&1 &
    track $!
    poll 10 "dunst to serve notifications" notifications_served
}

start_gnome_shell() {
    local d=$1 sys="$E2E_TMP/system-bus"
    command -v gnome-shell >/dev/null || skip "gnome-shell is not installed"
    # Its own system bus and no logind: /run/systemd is hidden in a mount
    # namespace of its own, so that it takes the path without a session.
    private_bus_config "$E2E_TMP/system-bus.conf" system "$sys"
    dbus-daemon --config-file="$E2E_TMP/system-bus.conf" --nofork --nopidfile \
        >>"$E2E_TMP/system-bus.log" 2>&1 &
    track $!
    poll 10 "the private system bus" test -S "$sys"
    local home="$E2E_TMP/gnome-home"
    mkdir -p "$home"
    DISPLAY=$d HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
        XDG_DATA_HOME=$home/.local/share DBUS_SYSTEM_BUS_ADDRESS="unix:path=$sys" XDG_SESSION_TYPE=x11 \
        XDG_CURRENT_DESKTOP=GNOME unshare --mount --propagation private -- sh -c \
        'mount -t tmpfs tmpfs /run/systemd && exec gnome-shell --x11 --replace' \
        >>"$E2E_TMP/gnome-shell.log" 2>&1 &
    track $!
    # The shell serves notifications through a helper of its own that the bus
    # would start on demand; this bus starts nothing, so it is started here.
    poll 60 "GNOME Shell to manage the display" wm_running "$d"
    DISPLAY=$d gjs /usr/share/gnome-shell/org.gnome.Shell.Notifications \
        >>"$E2E_TMP/gnome-notifications.log" 2>&1 &
    track $!
    local deadline=$(($(now_ms) + 60000))
    until wm_running "$d" && notifications_served; do
        (($(now_ms) < deadline)) || skip "GNOME Shell did not come up within 60 s" \
            "(window manager: $(wm_running "$d" && echo yes || echo no)," \
            "notifications: $(notifications_served && echo yes || echo no))"
        sleep 0.2
    done
}

# leave_overview DISPLAY: GNOME Shell starts in its overview, which holds the
# keyboard and activates no window; Escape leaves it.
leave_overview() {
    [[ $DESKTOP != gnome ]] || DISPLAY=$1 timeout 5 xdotool key Escape 2>/dev/null || true
}

start_shell() {
    local d=$1
    case $DESKTOP in
    xfwm4)
        command -v xfwm4 >/dev/null || skip "xfwm4 is not installed"
        DISPLAY=$d xfwm4 --replace >>"$E2E_TMP/wm.log" 2>&1 &
        track $!
        start_dunst "$d"
        ;;
    kwin)
        command -v kwin_x11 >/dev/null || skip "kwin_x11 is not installed"
        DISPLAY=$d QT_QPA_PLATFORM=xcb kwin_x11 --replace >>"$E2E_TMP/wm.log" 2>&1 &
        track $!
        start_dunst "$d"
        ;;
    gnome) start_gnome_shell "$d" ;;
    esac
    poll 30 "the window manager of $DESKTOP" wm_running "$d"
    sleep 1 # it manages windows mapped from now on
    say "$DESKTOP runs on $d"
}

# ------------------------------------------------------------------- the run

two_host_lan ad "$PREFIX" alpha bravo
NSA=$NS1 NSB=$NS2
start_xvfb DA
start_xvfb DB ip netns exec "$NSB"
start_tray "$DB"
start_desktop_bus
start_shell "$DA"

ZEPH_SESSION_ENV=(DISPLAY="$DA" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")
start_zeph PA "$DA" alpha "$NSA"
unset ZEPH_SESSION_ENV
start_zeph PB "$DB" bravo "$NSB"

say "the first activation minimises alpha's window: there is no tray"
wait_var WA 20 "alpha's main window" main_window "$DA" "$PA"
# activate_once DISPLAY WINDOW LOG: one activation attempt; true once the
# copy has handled its first activation. No more once it has: activating the
# minimised window would restore it.
activate_once() {
    grep -q 'main window minimised' "$3" && return 0
    leave_overview "$1"
    DISPLAY=$1 timeout 5 xdotool windowactivate "$2" 2>/dev/null || true
    sleep 0.3
    grep -q 'main window minimised' "$3" && return 0
    # As a user would: a click into the history pane.
    DISPLAY=$1 timeout 5 xdotool mousemove --window "$2" 300 200 click 1 2>/dev/null || true
    sleep 0.3
    grep -q 'main window minimised' "$3"
}
poll 20 "alpha's first activation" activate_once "$DA" "$WA" "$E2E_TMP/zeph-alpha-1.log"
# Reachable from the taskbar or the dash: iconic, or still normal where the
# shell's overview kept it from minimising; never withdrawn.
for _ in $(seq 50); do
    iconic "$DA" "$WA" && break
    sleep 0.1
done
state=$(wm_state "$DA" "$WA")
[[ $state == Iconic || $state == Normal ]] || fail "alpha's window is '${state:-withdrawn}'"
say "alpha's window after its first activation: $state"
activate "$DB" "$PB" WB
show_from_tray "$DB" "$WB"
focus "$DB" "$WB"
click "$DB" "$WB" "${AT_TARGET_BOX[@]}"
x "$DB" type --delay 15 alpha

say "the user types in a terminal; bravo sends a burst"
TYPED="$E2E_TMP/typed.txt"
: >"$TYPED"
DISPLAY=$DA xterm -geometry 160x60+0+0 -e sh -c "cat > '$TYPED'" >>"$E2E_TMP/xterm.log" 2>&1 &
track $!
wait_var TERMW 20 "the terminal's window" \
    sh -c "DISPLAY=$DA xdotool search --onlyvisible --class '^XTerm\$' 2>/dev/null | head -1"
leave_overview "$DA"
x "$DA" windowactivate --sync "$TERMW"
# type_until_seen DISPLAY TEXT: types TEXT and Return into whatever has the
# keyboard, again until the terminal's file holds it (keys typed while a shell
# animation holds a grab are lost).
type_until_seen() {
    grep -q "$2" "$TYPED" && return 0
    DISPLAY=$1 timeout 10 xdotool type --delay 15 "$2"$'\n' 2>/dev/null || true
    sleep 0.5
    grep -q "$2" "$TYPED"
}
poll 10 "the terminal to have the keyboard" type_until_seen "$DA" before
say "terminal $TERMW, alpha $WA"
for i in 1 2 3; do
    type_message "$DB" "$WB" "burst-$i"
    x "$DB" key alt+f
    ((i > 1)) || poll 20 "alpha's window to come forward" viewable "$DA" "$WA"
    say "after message $i the active window is $(active_window "$DA")"
done
poll 10 "the notification to count three messages" last_summary_is "收到bravo发来的信息（共3条未读）"
poll 10 "alpha's window to ask for attention" attention "$DA" "$WA" "$TERMW"
is_active "$DA" "$TERMW" || fail "the terminal lost the keyboard to the arrival ($(active_window "$DA"))"
UB=$(snmp_udp_in "$NSB")
poll 10 "secretpw to reach the terminal's file" type_until_seen "$DA" secretpw
x "$DA" key ctrl+Return
sleep 1
(($(snmp_udp_in "$NSB") == UB)) || fail "keys typed in the terminal reached bravo"

mapfile -t CALLS < <(notify_calls)
say "Notify calls: ${CALLS[*]}"
FIRST_ID=${CALLS[0]%%$'\t'*}
[[ $FIRST_ID == 0 ]] || fail "the first Notify replaces $FIRST_ID"
((${#CALLS[@]} >= 2)) || fail "one Notify call for three messages: the burst came at once"
ID=${CALLS[1]%%$'\t'*}
[[ $ID != 0 ]] || fail "the second Notify is a new notification"
for c in "${CALLS[@]:1}"; do
    [[ ${c%%$'\t'*} == "$ID" ]] || fail "a later Notify does not replace notification $ID: $c"
done
[[ ${CALLS[0]#*$'\t'} == "收到bravo发来的信息" ]] || fail "first summary: ${CALLS[0]#*$'\t'}"
if [[ $DESKTOP != gnome ]]; then
    shown=$(dunstctl count displayed)
    ((shown == 1)) || fail "dunst shows $shown notifications"
fi

say "the notification's action gives alpha the keyboard in the send box"
if [[ $DESKTOP == gnome ]]; then
    # Its banner stands a few seconds at the top, in the middle: one more
    # message shows it again, and a click on it is the default action. A click
    # can miss a banner that has just gone, and the pointer over the shell can
    # take the keyboard from the terminal: three tries, then the rest.
    chosen() { grep -q 'activation asked for as the user' "$E2E_TMP/zeph-alpha-1.log"; }
    for n in 4 5 6; do
        chosen && break
        type_message "$DB" "$WB" "burst-$n"
        x "$DB" key alt+f
        for _ in $(seq 50); do
            last_summary_is "收到bravo发来的信息（共${n}条未读）" && break
            sleep 0.1
        done
        sleep 0.5
        x "$DA" mousemove 510 75 sleep 0.3 click 1
        for _ in $(seq 20); do
            chosen && break
            sleep 0.1
        done
    done
    chosen || action_missed="three clicks on GNOME Shell's banner did not reach it"
else
    DISPLAY=$DA dunstctl action 0 || fail "dunstctl action failed"
fi
if [[ -z ${action_missed:-} ]]; then
    poll 10 "alpha's window to be active" is_active "$DA" "$WA"
    UB=$(snmp_udp_in "$NSB")
    x "$DA" type --delay 15 after-notice
    x "$DA" key ctrl+Return
    poll 10 "bravo to receive what was typed after the notice" udp_above "$NSB" "$UB"
fi

say "a draft to charlie keeps its target when bravo writes"
focus "$DA" "$WA"
click "$DA" "$WA" "${AT_TARGET_BOX[@]}"
x "$DA" key ctrl+a
x "$DA" type --delay 15 charlie
click "$DA" "$WA" "${AT_SEND_BOX[@]}"
x "$DA" type --delay 15 draft-for-charlie
UA=$(snmp_udp_in "$NSA")
type_message "$DB" "$WB" "interrupting"
x "$DB" key alt+f
poll 10 "alpha to receive bravo's message" udp_above "$NSA" "$UA"
sleep 0.5
got=$(read_target "$DA" "$WA")
[[ $got == charlie ]] || fail "the draft's target became '$got'"
{ proc_running "$PA" && proc_running "$PB"; } || fail "a copy has ended"
[[ -z ${action_missed:-} ]] || skip "all else held; the notification's action is not checked: $action_missed"
say "PASS"
