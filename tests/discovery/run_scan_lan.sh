#!/bin/sh
# The scan on a simulated LAN with a proxy-ARP router and a ghost, as root and
# as an ordinary user through each way the probe can get out; then on a /22
# where hosts ignore echo and a proxy-ARP host answers ARP for every address
# nobody else holds.
# Usage: run_scan_lan.sh TEST_BINARY ZEPH_PROBE SIMLAN   (root; nmbd, python3)
set -eu
test_bin=$1 probe_bin=$2 simlan=$3
here=$(cd "$(dirname "$0")" && pwd)
lan="pr16$(($$ % 1000))a"
wide="pr16$(($$ % 1000))w"
two="pr16$(($$ % 1000))t"
far="pr16$(($$ % 1000))f"
tmp=$(mktemp -d)
cleanup() { "$simlan" down "$lan"; "$simlan" down "$two"; "$simlan" down "$far"
    "$simlan" down "$wide"; rm -rf "$tmp"; }
trap cleanup EXIT
trap 'exit 1' INT TERM

# 1 scans; 3 has a name and ignores echo (listed: it answers ARP); 4 answers
# without a name; 9 repeats a name. 60 is a proxy-ARP router answering ARP for
# .64 to .191 and forwarding to the hosts behind it: 100 and 180 answer echo
# (listed), 150 ignores it (not listed: only the proxy answered ARP). 77 is
# a ghost: a name, and a STALE neighbour entry left from before, no host.
"$simlan" up "$lan" 10.213.7 1:scanner 2:alpha 3:gamma:drop 4 6:delta 9:alpha 60::proxyrouter \
    100:behind:lan2 150:hidden:lan2:drop 180:farther:lan2 200:epsilon 253:zeta
ns=$("$simlan" ns "$lan" 1)
"$simlan" check "$lan" 1 10.213.7.1
printf '10.213.7.77\tghost\n' >>"/etc/netns/$ns/hosts"

# An ordinary user, and the helper with the capability it is installed with.
chmod 755 "$tmp"
cp "$probe_bin" "$tmp/zeph-probe"
cp "$probe_bin" "$tmp/zeph-probe-nocap"
setcap cap_net_raw+ep "$tmp/zeph-probe"
as_user="setpriv --reuid=nobody --regid=nogroup --clear-groups --"
# The helpers' lock as the package makes it, in a /run/lock of each run's own.
lock="$here/../tools/private-run-lock.sh"

run() { # label, then VAR=value... for the test
    label=$1
    shift
    echo "== $label"
    ip -n "$ns" neigh flush all
    ip -n "$ns" neigh replace 10.213.7.77 lladdr 02:00:00:00:00:77 dev eth0 nud stale
    ip netns exec "$ns" "$lock" env XDG_CONFIG_HOME="$tmp/none" ZEPH_LAN_ADDRESS=10.213.7.1 ZEPH_LAN_ALIVE="2 4 253" \
        ZEPH_LAN_SILENT="3 5" "$@" "$test_bin"
}

all="scanner@1 alpha@2 gamma@3 delta@6 alpha@9 behind@100 farther@180 epsilon@200 zeta@253" # name@host
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

# Two cards: eth1 on a second LAN (10.213.8.0/24), swept with the first in
# one list; a point-to-point link (a tun with a /32 and a peer: this kernel
# may lack the dummy module) and a
# bridge of containers (no port of its own) are not swept. Then the named
# subnet beyond a router (zeph.conf), with a bad entry and a /16.
"$simlan" up "$two" 10.213.8 2:lab2 77:lab77 200:lab200:drop
"$simlan" attach "$lan" 1 "$two" 10.213.8.1/24
ip netns exec "$ns" ip tuntap add pp0 mode tun
ip -n "$ns" addr add 10.213.99.1 peer 10.213.99.2/32 dev pp0
ip -n "$ns" link set pp0 up
ip -n "$ns" link add docker0 type bridge
ip -n "$ns" link add vethd0 type veth peer name vethd1
ip -n "$ns" link set vethd0 master docker0 up
ip -n "$ns" addr add 10.213.98.1/24 dev docker0
ip -n "$ns" link set docker0 up
more="10.213.8.1 10.213.99.1 10.213.98.1"
both="$all lab2@10.213.8.2 lab77@10.213.8.77 lab200@10.213.8.200"
ip netns exec "$ns" sysctl -qw net.ipv4.ping_group_range="1 0"
run "two cards, root" ZEPH_LAN_MORE="$more" ZEPH_LAN_METHOD=raw ZEPH_LAN_EXPECT="$both" \
    ZEPH_LAN_SWEPT=510
run "two cards, user, helper" ZEPH_LAN_MORE="$more" ZEPH_LAN_HELPER="$tmp/zeph-probe" \
    ZEPH_LAN_METHOD=helper-raw ZEPH_LAN_EXPECT="$both" ZEPH_LAN_SWEPT=510 $as_user
ip netns exec "$ns" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
run "two cards, user, datagram socket" ZEPH_LAN_MORE="$more" ZEPH_LAN_METHOD=datagram \
    ZEPH_LAN_EXPECT="$both" ZEPH_LAN_SWEPT=510 $as_user

# Beyond a router (254 of the far LAN, 10.213.9.0/24, with a second card on
# the first LAN as .250), named in zeph.conf beside a bad entry and a /16:
# asked by echo only, named by the resolver or by the host's own LLMNR
# responder asked unicast; 6 ignores echo and is not listed.
"$simlan" up "$far" 10.213.9 5:farone 6:fartwo:drop 7 8 254
"$simlan" attach "$far" 254 "$lan" 10.213.7.250/24
ip netns exec "$("$simlan" ns "$far" 254)" sysctl -qw net.ipv4.conf.all.forwarding=1
ip -n "$ns" route add 10.213.9.0/24 via 10.213.7.250
grep -v localhost "/etc/netns/$("$simlan" ns "$far" 5)/hosts" >>"/etc/netns/$ns/hosts"
ip netns exec "$("$simlan" ns "$far" 8)" python3 "$here/../tools/llmnr_responder.py" farllmnr \
    10.213.9.8 </dev/null >"$tmp/farllmnr.log" 2>&1 &
mkdir -p "$tmp/conf/zeph"
printf '[scan]\nsubnets = 10.213.9.0/24, bogus, 10.213.0.0/16\n' >"$tmp/conf/zeph/zeph.conf"
chmod -R a+rX "$tmp/conf"
for _ in $(seq 100); do grep -q listening "$tmp/farllmnr.log" && break; sleep 0.1; done
routed="$both farone@10.213.9.5 farllmnr@10.213.9.8"
ip netns exec "$ns" sysctl -qw net.ipv4.ping_group_range="1 0"
run "routed subnet, root" ZEPH_LAN_MORE="$more" ZEPH_LAN_METHOD=raw ZEPH_LAN_EXPECT="$routed" \
    ZEPH_LAN_SWEPT=764 XDG_CONFIG_HOME="$tmp/conf" ZEPH_LAN_PROBLEMS="bogus 10.213.0.0/16"
ip netns exec "$ns" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
run "routed subnet, user, datagram socket" ZEPH_LAN_MORE="$more" ZEPH_LAN_METHOD=datagram \
    ZEPH_LAN_EXPECT="$routed" ZEPH_LAN_SWEPT=764 XDG_CONFIG_HOME="$tmp/conf" $as_user
grep -q "^answered" "$tmp/farllmnr.log" || { echo "nobody asked LLMNR beyond the router" >&2; exit 1; }

# The /22: names in all four /24s. 0.3, 1.4 and 2.5 ignore echo and are named
# by the hosts file, by nmbd and by an LLMNR responder; 3.7 answers echo
# without a name; 2.50 is the proxy. Only named hosts are listed, in address
# order, through every way out.
"$simlan" down "$lan"
"$simlan" down "$two"
"$simlan" down "$far"
"$simlan" up "$wide" 10.213.4/22 1:scanner 0.2:alpha 0.3:gamma:drop 1.4::drop 2.5::drop \
    3.6:delta 3.7 2.50::proxyarp
"$simlan" check "$wide" 1 10.213.4.1
wns() { "$simlan" ns "$wide" "$1"; }
# shellcheck source=../tools/samba.sh
. "$here/../tools/samba.sh"
nmbd_start "$(wns 1.4)" "$tmp/nmbd" NBDROP ZEPHLAN "$tmp/nmbd.log" </dev/null
ip netns exec "$(wns 2.5)" python3 "$here/../tools/llmnr_responder.py" llmnrpc 10.213.6.5 \
    </dev/null >"$tmp/llmnr.log" 2>&1 &
nmbd_listening "$(wns 1.4)" 10.213.5.4
for _ in $(seq 300); do
    grep -q listening "$tmp/llmnr.log" && break
    sleep 0.2
done

wide_run() { # label, then VAR=value... for the test
    label=$1
    shift
    echo "== /22: $label"
    ip -n "$(wns 1)" neigh flush all # each run asks the LAN afresh
    ip netns exec "$(wns 1)" "$lock" env ZEPH_LAN_ADDRESS=10.213.4.1 "$@" "$test_bin" scan
}
named="scanner@10.213.4.1 alpha@10.213.4.2 gamma@10.213.4.3 NBDROP@10.213.5.4 \
llmnrpc@10.213.6.5 delta@10.213.7.6"
wide_run "root: ARP and echo from our own sockets" ZEPH_LAN_EXPECT="$named"
# The proxy's addresses each cost a neighbour entry held for most of a
# minute: the root run waited once for room; the helper's goes without it.
ip netns exec "$(wns 2.50)" sysctl -qw net.ipv4.conf.eth0.proxy_arp=0
ip netns exec "$(wns 1)" sysctl -qw net.ipv4.ping_group_range="1 0"
wide_run "user, ARP and echo through the helper" ZEPH_LAN_HELPER="$tmp/zeph-probe" \
    ZEPH_LAN_EXPECT="$named" $as_user
# Without ARP of our own every echo leaves a neighbour entry, which a proxy
# resolves at once and the kernel then keeps for most of a minute: with a
# proxy for the whole /22 the sweep would wait that long for room (the
# proxy on this path is the first LAN's router, and test_scanner's). The LAN
# without its proxy: the neighbour table alone finds the hosts that ignore
# echo, paced for it.
ip netns exec "$(wns 1)" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
wide_run "user, ICMP datagram socket and the neighbour table" ZEPH_LAN_EXPECT="$named" $as_user
grep -q "^answered" "$tmp/llmnr.log" || { echo "nobody asked LLMNR" >&2; exit 1; }
echo "== all passed"
