#!/usr/bin/env bash
# two_copies: two real copies of zeph talk to each other, driven as a user would.
#
# Hosts alpha (10.213.9.1) and bravo (10.213.9.2) on a simulated LAN
# (tests/tools/simlan.sh), each copy in its own network and UTS namespace, under
# its own Xvfb with a tray (trayer), driven with xdotool. Checked:
#   - each window comes up, hides into the tray at its first activation and
#     scans its subnet (both lists then hold alpha and bravo);
#   - alpha shows its window from the tray, picks bravo from the computer list
#     (target box reads "bravo"), sends with Alt+F; bravo's window comes out of
#     the tray with "alpha" in its target box;
#   - alpha hides with the minimize button; bravo answers with Ctrl+Enter;
#     alpha's window comes back (screenshot taken then);
#   - a broadcast (Alt+G) from each reaches both copies, itself included;
#   - each history, saved through the save button and the file dialog, is
#     exactly the expected GBK text (time stamps aside).
# What the windows show is read from the saved history files and, for the
# target box, through the clipboard (select all, copy).
#
# Needs root. Env: ZEPH_BIN, ZEPH_E2E_ARTIFACTS, ZEPH_E2E_SCREENSHOT (where
# the screenshot of alpha's window goes; default: the artifacts folder).
E2E_NAME=two_copies
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

PREFIX=10.213.9

# snmp NS GROUP FIELD: one counter of /proc/net/snmp as seen inside NS.
snmp() {
    ip netns exec "$1" awk -v g="$2:" -v f="$3" '
        $1 == g && !seen { for (i = 2; i <= NF; i++) col[$i] = i; seen = 1; next }
        $1 == g && seen { print $col[f]; exit }' /proc/net/snmp
}

# A scan sends one echo request per host number; .255, the subnet's broadcast
# address, is refused locally. Done when 254 have gone and the count is still.
# scan_done LOG: the copy has logged the end of its scan (with ARP presence
# the echo requests no longer tell: only addresses that answer ARP get one).
scan_done() {
    grep -q 'scan ended' "$1" || {
        sleep 0.4
        return 1
    }
}

udp_above() { (($(snmp "$1" Udp InDatagrams) > $2)); }

# screenshot DISPLAY WINDOW FILE: once two captures in a row are identical.
screenshot() {
    local prev="" cur i
    for i in $(seq 30); do
        DISPLAY=$1 import -window "$2" "$3.tmp.png" || fail "import failed"
        cur=$(DISPLAY=$1 import -window "$2" rgb:- | md5sum)
        [[ -n $prev && $cur == "$prev" ]] && break
        prev=$cur
        sleep 0.1
    done
    mv -f "$3.tmp.png" "$3"
    local size
    size=$(identify -format '%wx%h' "$3")
    [[ $size == "${MAIN_W}x${MAIN_H}" ]] || fail "screenshot is $size"
    say "screenshot: $3"
}

expect_target() {
    local got
    got=$(read_target "$1" "$2")
    [[ $got == "$3" ]] || fail "target box on $1 reads '$got', expected '$3'"
}

two_host_lan zc "$PREFIX" alpha bravo
NSA=$NS1 NSB=$NS2

start_xvfb DA ip netns exec "$NSA"
start_xvfb DB ip netns exec "$NSB"
start_tray "$DA"
start_tray "$DB"

start_zeph PA "$DA" alpha "$NSA"
start_zeph PB "$DB" bravo "$NSB"
activate "$DA" "$PA" WA
activate "$DB" "$PB" WB
say "both copies are in the tray and scanning"
poll 60 "alpha's scan to finish" scan_done "$E2E_TMP/zeph-alpha-1.log"
poll 60 "bravo's scan to finish" scan_done "$E2E_TMP/zeph-bravo-2.log"
sleep 0.3 # the scan's last step (host 255) and its closing entry

say "alpha: window from the tray, bravo from the computer list, Alt+F"
show_from_tray "$DA" "$WA"
focus "$DA" "$WA"
click "$DA" "$WA" "${AT_FIRST_COMPUTER[@]}"
expect_target "$DA" "$WA" alpha
focus "$DA" "$WA"
click "$DA" "$WA" "${AT_FIRST_COMPUTER[@]}"
x "$DA" key End # the last of the two listed computers
expect_target "$DA" "$WA" bravo
type_message "$DA" "$WA" "hello-from-alpha"
x "$DA" key alt+f
poll 10 "bravo's window to come out of the tray" viewable "$DB" "$WB"
expect_target "$DB" "$WB" alpha
{ proc_running "$PA" && proc_running "$PB"; } || fail "a copy has ended"

say "alpha: minimize button; bravo answers with Ctrl+Enter"
focus "$DA" "$WA"
click "$DA" "$WA" "${AT_MINIMIZE[@]}"
poll 10 "alpha's window to hide" not_viewable "$DA" "$WA"
type_message "$DB" "$WB" "reply-from-bravo"
x "$DB" key ctrl+Return
poll 10 "alpha's window to come back with the answer" viewable "$DA" "$WA"
screenshot "$DA" "$WA" "${ZEPH_E2E_SCREENSHOT:-$ARTIFACTS/main-window.png}"
expect_target "$DA" "$WA" bravo

say "broadcasts (Alt+G) from alpha, then from bravo"
for side in A B; do
    if [[ $side == A ]]; then d=$DA w=$WA text=broadcast-from-alpha; else d=$DB w=$WB text=broadcast-from-bravo; fi
    ua=$(snmp "$NSA" Udp InDatagrams)
    ub=$(snmp "$NSB" Udp InDatagrams)
    type_message "$d" "$w" "$text"
    x "$d" key alt+g
    poll 10 "alpha to receive $text" udp_above "$NSA" "$ua"
    poll 10 "bravo to receive $text" udp_above "$NSB" "$ub"
done

say "saving both histories through the file dialog"
save_history "$DA" "$WA" "$ARTIFACTS/alpha-history.txt"
save_history "$DB" "$WB" "$ARTIFACTS/bravo-history.txt"

SCAN_START="★★★正在刷新计算机列表，请稍候……★★★"
SCAN_DONE="★★★计算机列表刷新完毕。★★★"
SENT="★★★信息已发送到目标计算机。★★★"
REACHED="★★★广播消息被发送到下列计算机：|alpha|bravo|★★★"
SIG="——*在此输入签名*"
expect_history "$ARTIFACTS/alpha-history.txt" \
    "$SCAN_START" "$SCAN_DONE" \
    "$DASHES" "您于<T>发送给|bravo|的信息：" "hello-from-alpha" "$SENT" \
    "$DASHES" "|bravo|于<T>给您发送的信息：" "reply-from-bravo$SIG" \
    "$REACHED" \
    "$DASHES" "|alpha|于<T>发布的广播信息：" "broadcast-from-alpha$SIG" \
    "$DASHES" "|bravo|于<T>发布的广播信息：" "broadcast-from-bravo$SIG"
expect_history "$ARTIFACTS/bravo-history.txt" \
    "$SCAN_START" "$SCAN_DONE" \
    "$DASHES" "|alpha|于<T>给您发送的信息：" "hello-from-alpha$SIG" \
    "$DASHES" "您于<T>发送给|alpha|的信息：" "reply-from-bravo" "$SENT" \
    "$DASHES" "|alpha|于<T>发布的广播信息：" "broadcast-from-alpha$SIG" \
    "$REACHED" \
    "$DASHES" "|bravo|于<T>发布的广播信息：" "broadcast-from-bravo$SIG"
{ proc_running "$PA" && proc_running "$PB"; } || fail "a copy has ended"
say "PASS"
