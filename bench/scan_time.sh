#!/bin/sh
# Scan time on a simulated /24 with 10 answering hosts (one of them the
# scanner, one without a name), beside fping on the same namespace in the same
# run: the median of 5 runs each, and their ratio. Then the same scan through
# the zeph-probe helper, as an ordinary user on an ICMP datagram socket, and
# with every reverse lookup taking 1 s (the lookups overlap: about 1 s in all).
# Then the same 10 hosts named only through NetBIOS (nmbd on each, no
# hosts-file entry), beside the resolver-named scan. Last, a /22 with five
# named hosts spread over its four /24s: as root (ARP from our own socket),
# as an ordinary user through the helper (ARP from the helper), as an
# ordinary user on an ICMP datagram socket (no ARP: paced for the neighbour
# table), beside fping on the same namespace. Last, two attached /24s (a
# second card on a second LAN, five named hosts on each): swept together,
# they should cost about what one /24 costs.
# Usage: bench/scan_time.sh BUILD_DIR     (as root; needs fping and nmbd)
set -eu
build=${1:?usage: scan_time.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
simlan="$here/../tests/tools/simlan.sh"
# shellcheck source=../tests/tools/samba.sh
. "$here/../tests/tools/samba.sh"
lan="pr16$(($$ % 1000))b"
lan2="pr16$(($$ % 1000))c"
tmp=$(mktemp -d)
trap '"$simlan" down "$lan"; "$simlan" down "$lan2"; rm -rf "$tmp"' EXIT
trap 'exit 1' HUP INT PIPE TERM # the EXIT trap then takes the LAN down

"$simlan" up "$lan" 10.213.7 1:scanner 2:h2 5:h5 17:h17 40:h40 64 99:h99 128:h128 200:h200 251:h251
ns=$("$simlan" ns "$lan" 1)
"$simlan" check "$lan" 1 10.213.7.1
chmod 755 "$tmp"
cp "$build/bin/zeph-probe" "$tmp/zeph-probe"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ns() { date +%s%N; }
field() { echo "$1" | awk -v k="$2" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }'; }
# The helpers' lock as the package makes it, in a /run/lock of each run's own.
scan() { ip netns exec "$ns" "$here/../tests/tools/private-run-lock.sh" "$@"; }

# 10 answering minus the nameless one: 9 names.
own=$(scan "$build/bench/scan_time" --runs 5)
fping_all=""
for _ in 1 2 3 4 5; do
    start=$(now_ns)
    alive=$(scan fping -a -q -g -r0 -t50 -i0 10.213.7.0/24 2>/dev/null | wc -l) || true
    fping_all="$fping_all $((($(now_ns) - start) / 1000000))"
done
fping_ms=$(for t in $fping_all; do echo "$t"; done | median)
helper=$(scan "$build/bench/scan_time" --runs 5 --helper "$tmp/zeph-probe")
scan sysctl -qw net.ipv4.ping_group_range="0 2147483647"
datagram=$(scan setpriv --reuid=nobody --regid=nogroup --clear-groups -- \
    "$build/bench/scan_time" --runs 5)
slow=$(scan "$build/bench/scan_time" --runs 1 --slow-lookup-ms 1000)

own_ms=$(field "$own" median_ms)
echo "way out          listed  median_ms  (5 runs, ms)"
for r in "$own" "$datagram" "$helper"; do
    printf '%-16s %6s %10s  (%s)\n' "$(field "$r" method)" "$(field "$r" listed)" \
        "$(field "$r" median_ms)" "$(echo "$r" | sed 's/.*all_ms //')"
done
printf '%-16s %6s %10s  (%s)\n' "fping -i0" "$alive" "$fping_ms" "$(echo $fping_all)"
echo "ratio scan/fping (raw socket, root): $(awk -v a="$own_ms" -v b="$fping_ms" \
    'BEGIN { printf "%.2f", a / b }')"
echo "every lookup 1 s: $(field "$slow" median_ms) ms, $(field "$slow" listed) listed"

# The same hosts named only through NetBIOS: no names in the hosts files, nmbd
# on each but the scanner; the nameless host 64 gets a NetBIOS name too.
"$simlan" down "$lan"
netbios_hosts="2 5 17 40 64 99 128 200 251"
# shellcheck disable=SC2086 # host numbers
"$simlan" up "$lan" 10.213.7 1 $netbios_hosts
"$simlan" check "$lan" 1 10.213.7.1
for n in $netbios_hosts; do
    nmbd_start "$("$simlan" ns "$lan" "$n")" "$tmp/nmbd$n" "NB$n" ZEPHBENCH /dev/null </dev/null
done
for n in $netbios_hosts; do
    nmbd_listening "$("$simlan" ns "$lan" "$n")" "10.213.7.$n"
done
netbios=$(scan "$build/bench/scan_time" --runs 5)
echo "named by         listed  median_ms  (5 runs, ms)"
printf '%-16s %6s %10s  (%s)\n' "resolver" "$(field "$own" listed)" "$own_ms" \
    "$(echo "$own" | sed 's/.*all_ms //')"
printf '%-16s %6s %10s  (%s)\n' "NetBIOS only" "$(field "$netbios" listed)" \
    "$(field "$netbios" median_ms)" "$(echo "$netbios" | sed 's/.*all_ms //')"

# A /22: 1,022 addresses, five named hosts in its four /24s.
"$simlan" down "$lan"
"$simlan" up "$lan" 10.213.4/22 1:scanner 0.77:q0 1.5:q1a 1.200:q1b 2.9:q2 3.254:q3
"$simlan" check "$lan" 1 10.213.4.1
setcap cap_net_raw+ep "$tmp/zeph-probe"
as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups --"
raw22=$(scan "$build/bench/scan_time" --runs 5)
scan sysctl -qw net.ipv4.ping_group_range="1 0"
# shellcheck disable=SC2086 # the command prefix
helper22=$(scan $as_user "$build/bench/scan_time" --runs 5 --helper "$tmp/zeph-probe")
scan sysctl -qw net.ipv4.ping_group_range="0 2147483647"
# shellcheck disable=SC2086
datagram22=$(scan $as_user "$build/bench/scan_time" --runs 3)
fping22=""
for _ in 1 2 3 4 5; do
    start=$(now_ns)
    alive22=$(scan fping -a -q -g -r0 -t50 -i0 10.213.4.0/22 2>/dev/null | wc -l) || true
    fping22="$fping22 $((($(now_ns) - start) / 1000000))"
done
echo "/22, 5 named    listed  median_ms  (runs, ms)"
for r in "$raw22" "$helper22" "$datagram22"; do
    printf '%-16s %6s %10s  (%s)\n' "$(field "$r" method)" "$(field "$r" listed)" \
        "$(field "$r" median_ms)" "$(echo "$r" | sed 's/.*all_ms //')"
done
printf '%-16s %6s %10s  (%s)\n' "fping -i0" "$alive22" \
    "$(for t in $fping22; do echo "$t"; done | median)" "$(echo $fping22)"

# Two attached /24s: the scanner's second card on a second LAN.
"$simlan" down "$lan"
"$simlan" up "$lan" 10.213.7 1:scanner 2:h2 40:h40 99:h99 200:h200 251:h251
"$simlan" up "$lan2" 10.213.8 3:k3 50:k50 100:k100 150:k150 250:k250
"$simlan" attach "$lan" 1 "$lan2" 10.213.8.1/24
scan sysctl -qw net.ipv4.ping_group_range="1 0"
raw2=$(scan "$build/bench/scan_time" --runs 5)
# shellcheck disable=SC2086 # the command prefix
helper2=$(scan $as_user "$build/bench/scan_time" --runs 5 --helper "$tmp/zeph-probe")
scan sysctl -qw net.ipv4.ping_group_range="0 2147483647"
# shellcheck disable=SC2086
datagram2=$(scan $as_user "$build/bench/scan_time" --runs 5)
echo "two /24s        listed  median_ms  (runs, ms)"
for r in "$raw2" "$helper2" "$datagram2"; do
    printf '%-16s %6s %10s  (%s)\n' "$(field "$r" method)" "$(field "$r" listed)" \
        "$(field "$r" median_ms)" "$(echo "$r" | sed 's/.*all_ms //')"
done
