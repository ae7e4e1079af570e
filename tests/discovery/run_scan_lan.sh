#!/bin/sh
# The scan on a simulated LAN, as root and as an ordinary user through each way
# the probe can get out. Usage: run_scan_lan.sh TEST_BINARY ZEPH_PROBE SIMLAN
set -eu
test_bin=$1 probe_bin=$2 simlan=$3
lan="zd$(($$ % 100000))"
tmp=$(mktemp -d)
cleanup() { "$simlan" down "$lan"; rm -rf "$tmp"; }
trap cleanup EXIT
trap 'exit 1' INT TERM

# 1 scans; 3 has a name but ignores echo; 4 answers without a name; 9 repeats a name.
"$simlan" up "$lan" 10.213.7 1:scanner 2:alpha 3:gamma:drop 4 6:delta 9:alpha 200:epsilon 253:zeta
ns=$("$simlan" ns "$lan" 1)
"$simlan" check "$lan" 1 10.213.7.1

# An ordinary user, and the helper with the capability it is installed with.
chmod 755 "$tmp"
cp "$probe_bin" "$tmp/zeph-probe"
cp "$probe_bin" "$tmp/zeph-probe-nocap"
setcap cap_net_raw+ep "$tmp/zeph-probe"
as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups --"

run() { # label, then VAR=value... for the test
    label=$1
    shift
    echo "== $label"
    ip netns exec "$ns" env ZEPH_LAN_ADDRESS=10.213.7.1 ZEPH_LAN_ALIVE="2 4 253" \
        ZEPH_LAN_SILENT="3 5" "$@" "$test_bin"
}

all="scanner@1 alpha@2 delta@6 alpha@9 epsilon@200 zeta@253" # name@host, in list order
run "root, in-process raw socket" ZEPH_LAN_ROOT=1 ZEPH_LAN_METHOD=raw ZEPH_LAN_EXPECT="$all"

ip netns exec "$ns" sysctl -qw net.ipv4.ping_group_range="1 0"
run "user, helper with cap_net_raw" ZEPH_LAN_HELPER="$tmp/zeph-probe" ZEPH_LAN_METHOD=helper-raw \
    ZEPH_LAN_EXPECT="$all" $as_user
run "user, helper without the capability" ZEPH_LAN_HELPER="$tmp/zeph-probe-nocap" \
    ZEPH_LAN_METHOD=none ZEPH_LAN_EXPECT= $as_user
run "root, forced through the helper" ZEPH_LAN_HELPER="$tmp/zeph-probe-nocap" ZEPH_LAN_IN_PROCESS=0 \
    ZEPH_LAN_METHOD=helper-raw ZEPH_LAN_EXPECT="$all"

ip netns exec "$ns" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
run "user, ICMP datagram socket" ZEPH_LAN_METHOD=datagram \
    ZEPH_LAN_EXPECT="$all" $as_user
run "user, helper on a datagram socket" ZEPH_LAN_HELPER="$tmp/zeph-probe-nocap" ZEPH_LAN_IN_PROCESS=0 \
    ZEPH_LAN_METHOD=helper-datagram ZEPH_LAN_EXPECT="$all" $as_user
echo "== all passed"
