#!/usr/bin/env bash
# e2e_wine: the Windows build under Wine on a simulated LAN with a Linux peer.
#
# Hosts winpc (PREFIX.1, zeph.exe under Wine, Xvfb with a tray) and linpeer
# (PREFIX.2, tests/windows/peer.py on UDP 40027) on tests/tools/simlan.sh.
# Checked:
#   - setup.exe /S installs zeph.exe, its uninstaller and a start-menu entry
#     for the user;
#   - the installed zeph.exe starts, writes its quoted Run value, hides into
#     the tray at its first activation and scans the subnet;
#   - a message from the peer brings its window out of the tray, with the
#     sender in the target box;
#   - picked from the computer list (which holds linpeer only if the scan
#     listed it: the sender's own name "peerbox" resolves nowhere), linpeer
#     gets a message whose datagram bytes are exactly the expected GBK text;
#   - a second zeph.exe shows the refusal box and ends with 0;
#   - after the first copy is killed (its atom left behind), the next one
#     starts normally;
#   - the uninstaller (/S) removes the files, the entry and the Run value.
#
# Needs root. Env: ZEPH_SETUP_EXE (the installer), ZEPH_E2E_ARTIFACTS.
E2E_NAME=wine
E2E_ZEPH_INSTALLED_LATER=1
ZEPH_BIN="${ZEPH_SETUP_EXE:?ZEPH_SETUP_EXE must name setup.exe}"
# shellcheck source=../e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
PEER=("$PY" "$HERE/peer.py")
WINE=/usr/lib/wine/wine64
PREFIX=10.217.$((RANDOM % 250 + 1))

export WINEPREFIX="$E2E_TMP/prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
INSTDIR_WIN='C:\users\root\AppData\Local\Programs\Zeph'
INSTDIR="$WINEPREFIX/drive_c/users/root/AppData/Local/Programs/Zeph"
MENU_ENTRY="$WINEPREFIX/drive_c/users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zeph.lnk"
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

two_host_lan wz "$PREFIX" winpc linpeer # zeph.exe under Wine on winpc
NSW=$NS1 NSP=$NS2

start_xvfb D ip netns exec "$NSW"
start_tray "$D"

# "${ON_WINPC[@]}" CMD...: in winpc's network namespace, with its host name.
# Each step execs the next, so a command started in the background has the
# pid of the program itself (for zeph.exe: the Wine loader becomes it).
ON_WINPC=(ip netns exec "$NSW" unshare --uts -- sh -c 'hostname winpc && exec "$@"' sh
    env DISPLAY="$D" LANG=zh_CN.UTF-8)
E2E_CLEANUPS+=('"${ON_WINPC[@]}" wineserver -k >/dev/null 2>&1')

say "Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX" # wineserver starts in it
"${ON_WINPC[@]}" wineserver -p >>"$E2E_TMP/wineserver.log" 2>&1 # stays up for the whole test
"${ON_WINPC[@]}" "$WINE" wineboot -i >>"$E2E_TMP/wineboot.log" 2>&1 || fail "wineboot failed"

say "setup.exe /S"
cp "$ZEPH_SETUP_EXE" "$E2E_TMP/setup.exe"
"${ON_WINPC[@]}" "$WINE" "$E2E_TMP/setup.exe" /S >>"$E2E_TMP/setup.log" 2>&1 || fail "setup.exe /S failed"
[[ -f $INSTDIR/zeph.exe && -f $INSTDIR/uninstall.exe ]] || fail "nothing installed in $INSTDIR"
[[ -f $MENU_ENTRY ]] || fail "no start-menu entry"

ip netns exec "$NSP" "${PEER[@]}" listen "$E2E_TMP/peer.hex" &>>"$E2E_TMP/peer.log" &
track $!

# wine_windows: every X window of a zeph.exe process.
wine_windows() { DISPLAY=$D xdotool search ${1:+"$1"} --class 'zeph.exe' 2>/dev/null || true; }
# The main window: frameless, the definition's size less the 22 pixels.
main_wine_window() {
    local w
    for w in $(wine_windows); do
        [[ $(win_size "$D" "$w") == "${MAIN_W}x${MAIN_H}" ]] && { echo "$w"; return 0; }
    done
    return 1
}
titled() {
    local w
    for w in $(wine_windows --onlyvisible); do
        [[ $(win_title "$D" "$w") == "$1" ]] && { echo "$w"; return 0; }
    done
    return 1
}
icmp_out() { ip netns exec "$NSW" awk '$1 == "Icmp:" && !s { for (i = 2; i <= NF; i++) c[$i] = i; s = 1; next } $1 == "Icmp:" { print $c["OutEchos"]; exit }' /proc/net/snmp; }
scan_done() { (($(icmp_out) >= 254)); }
reg_run_value() { "${ON_WINPC[@]}" "$WINE" reg query "$RUN_KEY" /v zeph 2>/dev/null | tr -d '\r' | sed -n 's/^ *zeph *REG_SZ *//p'; }

say "starting the installed zeph.exe"
"${ON_WINPC[@]}" "$WINE" "$INSTDIR_WIN\\zeph.exe" >>"$E2E_TMP/zeph-1.log" 2>&1 &
P1=$!
track "$P1"
wait_var W 60 "zeph.exe's main window" main_wine_window
poll 20 "the main window to be shown" viewable "$D" "$W"
poll 20 "the window to hide into the tray at its first activation" focus_until_hidden "$D" "$W"
poll 120 "the scan's echo requests" scan_done
[[ $(reg_run_value) == "\"$INSTDIR_WIN\\zeph.exe\"" ]] || fail "Run value is '$(reg_run_value)'"

say "linpeer -> winpc"
sleep 2 # the scan's last answer windows and lookups
ip netns exec "$NSP" "${PEER[@]}" send "$PREFIX.1" peerbox hello-from-linux
poll 20 "the window to come out of the tray with the message" viewable "$D" "$W"
expect_target_box() {
    local got
    got=$(read_target "$D" "$W")
    [[ $got == "$1" ]] || fail "target box reads '$got', expected '$1'"
}
expect_target_box peerbox

say "winpc -> linpeer, picked from the computer list"
focus "$D" "$W"
click "$D" "$W" "${AT_FIRST_COMPUTER[@]}"
x "$D" key End
expect_target_box linpeer
type_message "$D" "$W" "hello-from-wine"
x "$D" key ctrl+Return
poll 20 "linpeer to receive the exact datagram" \
    "${PEER[@]}" check "$E2E_TMP/peer.hex" winpc hello-from-wine

say "a second zeph.exe is refused"
"${ON_WINPC[@]}" "$WINE" "$INSTDIR_WIN\\zeph.exe" >>"$E2E_TMP/zeph-2.log" 2>&1 &
P2=$!
track "$P2"
wait_var BOX 60 "the refusal box" titled "$PRODUCT_TITLE"
focus "$D" "$BOX"
x "$D" key Return
poll 20 "the second copy to end" proc_ended "$P2"
exit_code "$P2" RC2
[[ $RC2 == 0 ]] || fail "the second copy ended with $RC2"
proc_running "$P1" || fail "the first copy has ended"

say "the first copy is killed; its atom must not block the next start"
# The pid is zeph.exe's own: ip netns exec, unshare, sh, env and the Wine
# loader each exec the next. SIGKILL: no exit path of the program runs.
kill -KILL "$P1"
poll 20 "the first copy to end" proc_ended "$P1"
"${ON_WINPC[@]}" "$WINE" "$INSTDIR_WIN\\zeph.exe" >>"$E2E_TMP/zeph-3.log" 2>&1 &
P3=$!
track "$P3"
wait_var W3 60 "the next copy's main window" main_wine_window
[[ -z $(titled "$PRODUCT_TITLE") ]] || fail "the next copy was refused"
kill -KILL "$P3"
poll 20 "the copy to end" proc_ended "$P3"

say "uninstall.exe /S"
"${ON_WINPC[@]}" "$WINE" "$INSTDIR_WIN\\uninstall.exe" /S >>"$E2E_TMP/uninstall.log" 2>&1 || true
poll 60 "the uninstaller to remove zeph.exe" test ! -e "$INSTDIR/zeph.exe"
poll 20 "the uninstaller to remove itself" test ! -e "$INSTDIR/uninstall.exe"
[[ ! -e $MENU_ENTRY ]] || fail "the start-menu entry is still there"
[[ -z $(reg_run_value) ]] || fail "the Run value is still there"
say "PASS"
