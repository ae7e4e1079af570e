#!/usr/bin/env bash
# package: the Debian package from `tools/setup.sh package`, as a user gets it.
#   - it builds (a Release tree of its own, prefix /usr) and lintian reports no
#     error;
#   - it installs with dpkg on this machine, and its postinst gives zeph-probe
#     cap_net_raw; hardening-check reports nothing missing in either program;
#   - the installed /usr/bin/zeph, run by a throwaway user on a simulated LAN
#     whose ping_group_range leaves that user out (no ICMP sockets), lists the
#     peer that answers echo requests: the helper's capability works;
#   - purge removes every file the package installed.
# The package is installed system-wide, so the test runs only when no zeph
# package is installed already (otherwise it is skipped, exit 77), and one at a
# time (a lock in /run/lock).
#
# Needs root. Env: ZEPH_PACKAGE_BUILD, ZEPH_DIST (setup.sh's; default: folders
# under the temp folder), ZEPH_E2E_ARTIFACTS.
E2E_NAME=package
ZEPH_BIN=/usr/bin/zeph
E2E_ZEPH_INSTALLED_LATER=1
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

exec 9>/run/lock/zeph-package-test.lock
flock -w 600 9 || fail "another package test holds the lock"
if [[ $(dpkg-query -W -f='${db:Status-Status}' zeph 2>/dev/null || true) != not-installed &&
      -n $(dpkg-query -W -f='${db:Status-Status}' zeph 2>/dev/null || true) ]]; then
    say "SKIP: a zeph package is installed on this machine already"
    exit 77
fi

say "building the package"
export ZEPH_PACKAGE_BUILD="${ZEPH_PACKAGE_BUILD:-$E2E_TMP/package-build}"
export ZEPH_DIST="${ZEPH_DIST:-$E2E_TMP/dist}"
ZEPH_SKIP_PACKAGES=1 bash "$ROOT/tools/setup.sh" package >"$E2E_TMP/package-build.log" 2>&1 ||
    fail "tools/setup.sh package failed"
DEB=$(tail -n1 "$E2E_TMP/package-build.log")
[[ -f $DEB && $DEB == */zeph_*_"$(dpkg --print-architecture)".deb ]] || fail "no package: '$DEB'"
say "package $DEB"

lintian --fail-on error "$DEB" >"$E2E_TMP/lintian.log" 2>&1 || fail "lintian: $(grep '^E:' "$E2E_TMP/lintian.log")"
say "lintian: $(grep -c '^[EW]:' "$E2E_TMP/lintian.log" || true) errors and warnings"

E2E_CLEANUPS+=("dpkg-query -W zeph >/dev/null 2>&1 && dpkg --purge zeph >/dev/null")
dpkg -i "$DEB" >"$E2E_TMP/dpkg.log" 2>&1 || fail "dpkg -i failed"
mapfile -t FILES < <(dpkg -L zeph | while read -r f; do [[ -d $f ]] || echo "$f"; done)
PROBE=/usr/libexec/zeph/zeph-probe
for f in /usr/bin/zeph "$PROBE" /usr/share/applications/zeph.desktop \
    /usr/share/icons/hicolor/32x32/apps/zeph.png /usr/share/doc/zeph/copyright; do
    [[ " ${FILES[*]} " == *" $f "* ]] || fail "the package does not install $f"
done
for size in 16 22 24 32 48 64 128 256; do
    f=/usr/share/icons/hicolor/${size}x${size}/apps/zeph.png
    [[ " ${FILES[*]} " == *" $f "* ]] || fail "the package does not install $f"
    [[ $(file -b "$f") == "PNG image data, $size x $size,"* ]] || fail "$f is not a $size px PNG: $(file -b "$f")"
done
METAINFO=/usr/share/metainfo/org.example.zeph.metainfo.xml
for f in /usr/share/icons/hicolor/scalable/apps/zeph.svg "$METAINFO" \
    /etc/ufw/applications.d/zeph /usr/lib/firewalld/services/zeph.xml; do
    [[ " ${FILES[*]} " == *" $f "* ]] || fail "the package does not install $f"
done
# The scalable icon must draw in a real renderer, at the size of the largest PNG.
rsvg-convert -w 256 -h 256 /usr/share/icons/hicolor/scalable/apps/zeph.svg -o "$E2E_TMP/svg.png" ||
    fail "librsvg cannot draw the scalable icon"
[[ $(file -b "$E2E_TMP/svg.png") == "PNG image data, 256 x 256,"* ]] || fail "the drawn icon is not 256 px"
appstreamcli validate --no-net "$METAINFO" >"$E2E_TMP/appstream.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$E2E_TMP/appstream.log")"
WEB=$(sed -n 's/.*kWebAddress = u"\([^"]*\)".*/\1/p' "$ROOT/src/core/product.h")
[[ -n $WEB ]] || fail "no web address in src/core/product.h"
grep -q "<image>$WEB/" "$METAINFO" || fail "the screenshot is not on $WEB"
grep -q "<url type=\"homepage\">$WEB</url>" "$METAINFO" || fail "the homepage is not $WEB"
grep -qx "Icon=zeph" /usr/share/applications/zeph.desktop || fail "the desktop entry does not use the icon"
grep -qx 'ports=40027/udp' /etc/ufw/applications.d/zeph || fail "the ufw profile is not for UDP 40027"
grep -q '<port protocol="udp" port="40027"/>' /usr/lib/firewalld/services/zeph.xml ||
    fail "the firewalld service is not for UDP 40027"
dpkg-query --control-show zeph conffiles | grep -qx /etc/ufw/applications.d/zeph ||
    fail "the ufw profile is not a conffile"
getcap "$PROBE" | grep -q 'cap_net_raw[=+]ep' || fail "postinst left $PROBE without cap_net_raw: $(getcap "$PROBE")"
# The helpers' shared lock: made at every boot by the tmpfiles.d entry, and by
# the postinst for this boot, root's and read-only.
[[ " ${FILES[*]} " == *" /usr/lib/tmpfiles.d/zeph-probe.conf "* ]] ||
    fail "the package does not install its tmpfiles.d entry"
LOCK=/run/lock/zeph-probe.lock
[[ -f $LOCK && ! -L $LOCK && $(stat -c '%u %a' "$LOCK") == "0 444" ]] ||
    fail "postinst left no sound $LOCK: $(ls -ld "$LOCK" 2>&1)"
# Both programs carry every protection hardening-check knows, and it reports
# nothing missing. Two of its checks cannot see the flags, so the build is
# checked for them instead: every compile had -fcf-protection and
# _FORTIFY_SOURCE=2 with optimisation.
CC_JSON="$ZEPH_PACKAGE_BUILD/compile_commands.json"
[[ $(grep -c '"command"' "$CC_JSON") -gt 0 ]] || fail "no compile commands in $CC_JSON"
for flag in -fcf-protection -D_FORTIFY_SOURCE=2 ' -O[123s] '; do
    ! grep '"command"' "$CC_JSON" | grep -v -e "$flag" || fail "compiled without $flag (above)"
done
HC_OPTS=()
# The control-flow mark is given only when every object linked in has it; the
# system's own start files lack it on Debian 12, so no program linked here has it.
readelf -n "$(gcc -print-file-name=Scrt1.o)" 2>/dev/null | grep -q 'x86 feature: IBT, SHSTK' ||
    HC_OPTS+=(--nocfprotection)
for f in /usr/bin/zeph "$PROBE"; do
    opts=("${HC_OPTS[@]}")
    # The helper's every libc call has a size the compiler proves in bounds,
    # so fortify leaves it no checked call to find.
    [[ $f != "$PROBE" ]] || opts+=(--nofortify)
    hardening-check "${opts[@]}" "$f" >"$E2E_TMP/hardening.log" 2>&1 ||
        fail "hardening-check: $(cat "$E2E_TMP/hardening.log")"
    say "$(tr -s '\n' ' ' <"$E2E_TMP/hardening.log")"
    ! grep -e ': no.*[^)]$' -e 'unknown, no protectable' "$E2E_TMP/hardening.log" ||
        fail "hardening-check $f reports the lines above"
done
/usr/bin/zeph --version | grep -q '^zeph ' || fail "the installed zeph does not answer --version"

# A user of its own, with no home in /home and no group memberships.
USERNAME="zt$((RANDOM % 100000))"
useradd -M -N -d /nonexistent -s /usr/sbin/nologin "$USERNAME" || fail "useradd failed"
E2E_CLEANUPS+=("userdel $USERNAME")
USER_DIR="$E2E_TMP/user"
mkdir -p "$USER_DIR/home" "$USER_DIR/runtime"
chown -R "$USERNAME:" "$USER_DIR"
chmod 700 "$USER_DIR/runtime"

PREFIX=10.213.$((20 + RANDOM % 200))
LAN="zp$((RANDOM % 100000))"
say "simulated LAN $LAN: $PREFIX.1 alpha (zeph), $PREFIX.2 bravo (answers echo requests)"
E2E_LANS+=("$LAN")
"$SIMLAN" up "$LAN" "$PREFIX" 1:alpha 2:bravo
"$SIMLAN" check "$LAN" 1 "$PREFIX.1"
NSA=$("$SIMLAN" ns "$LAN" 1)
read -r low high < <(ip netns exec "$NSA" sysctl -n net.ipv4.ping_group_range)
GID=$(id -g "$USERNAME")
((GID < low || GID > high)) || fail "ping_group_range $low $high lets $USERNAME open ICMP sockets"

start_xvfb D
start_tray "$D" # a notification area, which the first activation hides the window into
LOG="$E2E_TMP/zeph-installed.log"
ip netns exec "$NSA" unshare --uts -- sh -c 'hostname alpha && shift && exec "$@"' sh alpha \
    setpriv --reuid="$USERNAME" --regid="$GID" --clear-groups -- \
    env -i PATH=/usr/bin:/bin DISPLAY="$D" HOME="$USER_DIR/home" XDG_RUNTIME_DIR="$USER_DIR/runtime" \
    DBUS_SESSION_BUS_ADDRESS=disabled: LANG=C.UTF-8 QT_LOGGING_RULES='zeph.*.debug=true' \
    /usr/bin/zeph >"$LOG" 2>&1 &
P=$!
track "$P"
say "installed zeph as $USERNAME: pid $P"
activate_window "$D" "$P" W
poll 30 "the scan to list bravo" grep -q "\"$PREFIX.2\" answered.*name \"bravo\"" "$LOG"
[[ $(stat -c %U "/proc/$P") == "$USERNAME" ]] || fail "zeph does not run as $USERNAME"
kill -TERM "$P"
poll 10 "zeph to end" proc_ended "$P"

say "purge"
dpkg --purge zeph >>"$E2E_TMP/dpkg.log" 2>&1 || fail "dpkg --purge failed"
for f in "${FILES[@]}"; do
    [[ ! -e $f ]] || fail "$f is left after purge"
done
for d in /usr/libexec/zeph /usr/share/doc/zeph; do
    [[ ! -e $d ]] || fail "$d is left after purge"
done
[[ -z $(dpkg-query -W -f='${db:Status-Status}' zeph 2>/dev/null || true) ||
    $(dpkg-query -W -f='${db:Status-Status}' zeph) == not-installed ]] || fail "dpkg still knows zeph"
say "PASS"
