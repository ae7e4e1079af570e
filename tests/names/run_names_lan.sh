#!/bin/sh
# Names only the LAN knows, with real servers in namespace hosts of a simulated
# LAN (tests/tools/simlan.sh) that have no hosts-file or DNS entry:
#   1 alpha   avahi-daemon and the scanning copy (test_names_lan, role scanner)
#   2 WINPC   nmbd, ASCII NetBIOS name; a UDP 40027 listener
#   3 中文机  nmbd, Chinese NetBIOS name (dos charset CP936); a UDP 40027 listener
#   4 bravo   avahi-daemon and the answering copy (role answerer)
#   5 PC-B    claims host 8's name by NetBIOS node status (hostile_responder.py
#             --claim) from a lower address; a UDP 40027 listener: listed beside
#             host 8, each row with its address, and a message to the name as
#             typed is refused; only its own row's messages reach it
#   6         a hostile responder on UDP 137 and 5353: unlisted, no crash; it also
#             answers reverse questions about other hosts (from its own address,
#             and forged from theirs by a raw socket), which must not count,
#             answers every name query with forged addresses, which must not
#             count either (a message to a name nobody has fails as usual), and
#             follows each answer with half a second of flood; it calls itself
#             by host 2's address, by a DNS name and by host 2's address in .local
#   7         answers echo; something listens on its UDP 5353 and says nothing:
#             unlisted, unless host 6's forged answer naming it were taken
#   8 pc-b    an LLMNR responder (tests/tools/llmnr_responder.py); a UDP 40027
#             listener: the row chosen gets the message
# Every daemon has private state under a temp folder; each avahi-daemon has a
# private /run (mount namespace) and its host's name (UTS namespace).
# Usage: run_names_lan.sh TEST_BINARY SIMLAN   (root; packages samba, avahi-daemon)
set -eu
test_bin=$1 simlan=$2
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3
for tool in nmbd avahi-daemon ip unshare $py; do
    command -v "$tool" >/dev/null 2>&1 || { echo "run_names_lan: $tool is missing" >&2; exit 1; }
done

lan="zn$(($$ % 100000))"
prefix=10.214.9
tmp=$(mktemp -d /tmp/zeph-names.XXXXXX)
status=1
cleanup() {
    "$simlan" down "$lan" # kills every process left in its namespaces
    if [ "$status" != 0 ]; then
        for f in "$tmp"/*.log; do
            [ -s "$f" ] && { echo "---- ${f##*/}"; tail -n 30 "$f"; } >&2
        done
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

"$simlan" up "$lan" "$prefix" 1 2 3 4 5 6 7 8
for n in 1 2 3 4 5 6 7 8; do "$simlan" check "$lan" "$n" "$prefix.$n"; done
ns() { "$simlan" ns "$lan" "$1"; }
# shellcheck source=../tools/samba.sh
. "$here/../tools/samba.sh"

nmbd_on() { # host, NetBIOS name (UTF-8)
    nmbd_start "$(ns "$1")" "$tmp/nmbd$1" "$2" ZEPHLAN "$tmp/nmbd$1.log" <<CONF
server role = standalone server
dos charset = CP936
unix charset = UTF-8
domain master = no
preferred master = no
wins support = no
dns proxy = no
log level = 1
CONF
}

listener_on() { # host: every datagram to UDP 40027 as one hex line
    ip netns exec "$(ns "$1")" $py -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 40027))
with open(sys.argv[1], "ab", 0) as f:
    while True:
        f.write(s.recvfrom(65535)[0].hex().encode() + b"\n")' "$tmp/got$1" \
        </dev/null >"$tmp/listener$1.log" 2>&1 &
}

cat >"$tmp/avahi.conf" <<CONF
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=eth0
enable-dbus=no
[wide-area]
enable-wide-area=no
[publish]
publish-addresses=yes
publish-hinfo=no
publish-workstation=no
[reflector]
enable-reflector=no
CONF

copy_on() { # host, host name, role, VAR=value...: avahi-daemon and a copy
    host=$1 name=$2 role=$3
    shift 3
    ip netns exec "$(ns "$host")" unshare --uts --mount -- sh -c '
        hostname "$1" && mount -t tmpfs tmpfs /run && mkdir /run/avahi-daemon || exit 1
        avahi-daemon -f "$2" --no-chroot --no-drop-root --no-rlimits --no-proc-title \
            </dev/null >"$3" 2>&1 &
        shift 3
        exec "$@"' sh "$name" "$tmp/avahi.conf" "$tmp/avahi$host.log" \
        env ZEPH_NAMES_ROLE="$role" "$@" "$test_bin"
}

nmbd_on 2 WINPC
nmbd_on 3 中文机
listener_on 2
listener_on 3
listener_on 5
listener_on 8
ip netns exec "$(ns 5)" $py "$here/hostile_responder.py" --claim PC-B "$prefix.5" \
    </dev/null >"$tmp/claim.log" 2>&1 &
ip netns exec "$(ns 8)" $py "$here/../tools/llmnr_responder.py" pc-b "$prefix.8" \
    </dev/null >"$tmp/llmnr.log" 2>&1 &
for _ in $(seq 100); do
    grep -q listening "$tmp/llmnr.log" && break
    sleep 0.1
done
ip netns exec "$(ns 7)" $py -c '
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 5353))
while True:
    s.recvfrom(9000)' </dev/null >"$tmp/silent7.log" 2>&1 &
ip netns exec "$(ns 6)" $py "$here/hostile_responder.py" --flood 0.5 "$prefix.6" "$prefix.255" \
    </dev/null >"$tmp/hostile.log" 2>&1 &

copy_on 4 bravo answerer QT_LOGGING_RULES="zeph.platform.debug=true" ZEPH_NAMES_ALSO="winpc 中文机" >"$tmp/answerer.log" 2>&1 &
answerer=$!
copy_on 1 alpha scanner QT_LOGGING_RULES="zeph.platform.debug=true" \
    ZEPH_NAMES_READY="$prefix.1 $prefix.2 $prefix.3 $prefix.4 $prefix.5" ZEPH_NAMES_HIGHEST=8 \
    ZEPH_NAMES_EXPECT="alpha=$prefix.1 WINPC=$prefix.2 中文机=$prefix.3 bravo=$prefix.4 PC-B=$prefix.5 pc-b=$prefix.8" \
    ZEPH_NAMES_CLAIMED="pc-b=$prefix.5、$prefix.8" \
    >"$tmp/scanner.log" 2>&1 || { echo "scanner failed" >&2; cat "$tmp/scanner.log" >&2; exit 1; }
grep -E '^(PASS|SKIP|QINFO)' "$tmp/scanner.log"
wait "$answerer" || { echo "answerer failed" >&2; cat "$tmp/answerer.log" >&2; exit 1; }
grep -E '^(PASS|SKIP)' "$tmp/answerer.log"

# What the NetBIOS hosts got: from alpha the direct message and the broadcast,
# from bravo the message to the name as typed (lower case, or Chinese).
$py - "$tmp/got2" WINPC winpc "$tmp/got3" 中文机 中文机 <<'PY'
import sys
args = sys.argv[1:]
for path, listed, typed in zip(args[0::3], args[1::3], args[2::3]):
    got = [bytes.fromhex(l).decode("gbk") for l in open(path).read().split()]
    for want in ("|alpha|", "direct to " + listed), ("|bravo|", "typed " + typed), \
                ("|alpha|", "to everyone"):
        if not any(m.startswith(want[0]) and want[1] in m for m in got):
            sys.exit("%s: no message %r among %r" % (path, want, got))
print("NetBIOS hosts: every message arrived")
PY
# The claimed name: the row chosen got its message, the impostor only the broadcast.
$py - "$tmp/got8" "$tmp/got5" <<'PY'
import sys
def got(path):
    try:
        return [bytes.fromhex(l).decode("gbk") for l in open(path).read().split()]
    except FileNotFoundError:
        return []
real, impostor = got(sys.argv[1]), got(sys.argv[2])
for want in "direct to pc-b", "to everyone":
    if not any(m.startswith("|alpha|") and want in m for m in real):
        sys.exit("host 8: no message %r among %r" % (want, real))
if any("direct to" in m for m in impostor) or not any("to everyone" in m for m in impostor):
    sys.exit("host 5, the impostor, got %r" % impostor)
print("claimed name: the chosen row got its message, the impostor only the broadcast")
PY
grep -q '^netbios question 33 ' "$tmp/hostile.log" && grep -q '^mdns question 12 ' "$tmp/hostile.log" ||
    { echo "the hostile responder was never asked for a name" >&2; exit 1; }
grep -q '^netbios question 32 ' "$tmp/hostile.log" && grep -q '^mdns question 1 ' "$tmp/hostile.log" ||
    { echo "the hostile responder was never asked for an address" >&2; exit 1; }
echo "hostile responder: $(grep -c question "$tmp/hostile.log") questions answered with junk"
status=0
echo "== all passed"
