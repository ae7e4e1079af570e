#!/bin/sh
# Scan time on a simulated /24 with 10 answering hosts (one of them the
# scanner, one without a name), beside fping on the same namespace in the same
# run: the median of 5 runs each, and their ratio. Then the same scan through
# the zeph-probe helper, as an ordinary user on an ICMP datagram socket, and
# with every reverse lookup taking 1 s (the lookups overlap: about 1 s in all).
# Usage: bench/scan_time.sh BUILD_DIR     (as root; needs fping)
set -eu
build=${1:?usage: scan_time.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
simlan="$here/../tests/tools/simlan.sh"
lan="zb$(($$ % 100000))"
tmp=$(mktemp -d)
trap '"$simlan" down "$lan"; rm -rf "$tmp"' EXIT
trap 'exit 1' HUP INT PIPE TERM # the EXIT trap then takes the LAN down

"$simlan" up "$lan" 10.213.7 1:scanner 2:h2 5:h5 17:h17 40:h40 64 99:h99 128:h128 200:h200 251:h251
ns=$("$simlan" ns "$lan" 1)
"$simlan" check "$lan" 1 10.213.7.1
chmod 755 "$tmp"
cp "$build/src/probe/zeph-probe" "$tmp/zeph-probe"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ns() { date +%s%N; }
field() { echo "$1" | awk -v k="$2" '{ for (i = 1; i < NF; i++) if ($i == k) print $(i + 1) }'; }
scan() { ip netns exec "$ns" "$@"; }

# 10 answering minus the nameless one: 9 names.
own=$(scan "$build/bench/scan_time" --runs 5)
fping_all=""
for i in 1 2 3 4 5; do
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
