#!/bin/sh
# Scan wall time against its floor (50 ms x silent addresses) and against fping
# on the same simulated /24 with 10 answering hosts (one of them the scanner).
# Usage: bench/scan_floor.sh BUILD_DIR     (as root; needs fping)
set -eu
build=${1:?usage: scan_floor.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
simlan="$here/../tests/tools/simlan.sh"
lan="zb$(($$ % 100000))"
trap '"$simlan" down "$lan"' EXIT
trap 'exit 1' INT TERM

"$simlan" up "$lan" 10.213.7 1:scanner 2:h2 5:h5 17:h17 40:h40 64 99:h99 128:h128 200:h200 251:h251
ns=$("$simlan" ns "$lan" 1)
"$simlan" check "$lan" 1 10.213.7.1

now_ms() { echo $(($(date +%s%N) / 1000000)); }
scan=$(ip netns exec "$ns" "$build/bench/scan_floor")
start=$(now_ms)
alive=$(ip netns exec "$ns" fping -a -q -g -r0 -t50 10.213.7.0/24 2>/dev/null | wc -l) || true
fping_ms=$(($(now_ms) - start))

set -- $scan
echo "addresses answering listed | scan_ms floor_ms over_floor | fping_ms fping_alive"
printf '%9s %9s %6s | %7s %8s %10s | %8s %11s\n' "$2" "$4" "$6" "$8" "${10}" \
    "$(($8 - ${10}))" "$fping_ms" "$alive"
