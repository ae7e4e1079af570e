#!/bin/sh
# simlan.sh: a simulated LAN of network namespaces, for tests that send packets.
#
#   simlan.sh up LAN PREFIX[/BITS] HOST...  build it; HOST is
#                                     N[:NAME][:drop][:proxyarp][:proxyrouter][:lan2]
#   simlan.sh down LAN                remove it (safe to call twice or after a failed up)
#   simlan.sh ns LAN N                print the namespace name of host N
#   simlan.sh check LAN N ADDR        succeed only if host N's one non-loopback
#                                     IPv4 address is ADDR (call before probing)
#   simlan.sh attach LAN N LAN2 ADDR/BITS  give host N of LAN a second card,
#                                     eth1 with ADDR/BITS on LAN2's bridge, and
#                                     LAN2's names in its hosts file
#
# LAN is a short tag ([a-z0-9], at most 8 characters) that prefixes every name.
# PREFIX is the first three numbers of a 10.0.0.0/8 subnet, e.g. 10.213.7; only
# that private range is accepted. BITS is the prefix length, 22 to 24 (24 when
# left out); PREFIX then names the subnet's first /24. N is a host number in
# PREFIX's /24, or Q.N for host N of the subnet's /24 number Q (0 to 3 on a
# /22: 10.213.4/22 host 2.9 is 10.213.6.9). Host N lives in namespace LAN-N
# (LAN-Q-N) with eth0 = its address/BITS, lo up, and a default route via
# PREFIX.254 (no host there). All
# hosts hang on one bridge in a namespace of its own (LAN-sw), so nothing of
# the LAN touches the machine's own namespace. NAME, when given, goes into
# /etc/netns/LAN-N/hosts of every host (so every host resolves every named host,
# both ways); each host also gets an empty resolv.conf and "hosts: files dns",
# so no lookup can leave the namespace. ":drop" makes the host ignore echo
# requests (net.ipv4.icmp_echo_ignore_all=1 in its namespace). ":proxyarp"
# makes the host answer ARP for every other address of the subnet at once, as
# a proxy-ARP router does for what it routes elsewhere: its own address on
# eth0 as a /32, the subnet routed into an empty bridge (where packets to
# those addresses vanish), the LAN's hosts routed through eth0 (so the proxy
# does not answer for them). ":proxyrouter" makes the host a proxy-ARP router
# (or a bridging access point): eth0 on the LAN, eth1 on a second bridge of
# the switch, forwarding, proxy ARP on both with no delay, and PREFIX.64/26
# and PREFIX.128/26 routed out of eth1, so it answers ARP for .64 to .191 on
# the LAN and forwards to the ":lan2" hosts, which hang on that second bridge
# (addresses in .64 to .191, the LAN's prefix length, no default route).
#
# Run as root. Callers set a trap: trap 'simlan.sh down LAN' EXIT.
# Example: simlan.sh up zd1 10.213.7 1:scanner 2:alpha 3::drop 9
set -eu

die() { echo "simlan: $*" >&2; exit 1; }

members() { # the namespaces of LAN, exactly
    ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^$1-([0-9]+|[0-9]+-[0-9]+|sw)\$" || true
}

# The address of host id N or Q.N on PREFIX, and its namespace suffix.
host_address() {
    case "$2" in
    *.*) echo "${1%.*}.$((${1##*.} + ${2%.*})).${2#*.}" ;;
    *) echo "$1.$2" ;;
    esac
}
ns_suffix() { echo "$1" | tr . -; }

check_lan() {
    echo "$1" | grep -Eq '^[a-z0-9]{1,8}$' || die "bad LAN tag '$1'"
}

down() {
    check_lan "$1"
    for ns in $(members "$1"); do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null || true
        done
        ip netns del "$ns" 2>/dev/null || true
        rm -rf "/etc/netns/$ns"
    done
}

up() {
    lan=$1 prefix=${2%/*} bits=24
    case "$2" in */*) bits=${2#*/} ;; esac
    shift 2
    check_lan "$lan"
    echo "$prefix" | grep -Eq '^10\.([0-9]{1,3})\.([0-9]{1,3})$' || die "PREFIX must be 10.X.Y"
    case "$bits" in 22 | 23 | 24) ;; *) die "BITS must be 22, 23 or 24" ;; esac
    [ $((${prefix##*.} % (1 << (24 - bits)))) -eq 0 ] || die "$prefix is not the start of a /$bits"
    addresses=""
    [ -z "$(members "$lan")" ] || die "LAN $lan exists already"
    trap 'down "$lan"' EXIT
    sw="$lan-sw"
    ip netns add "$sw"
    ip -n "$sw" link set lo up
    ip -n "$sw" link add br0 type bridge
    ip -n "$sw" link set br0 up
    ip -n "$sw" link add br1 type bridge
    ip -n "$sw" link set br1 up

    hosts=$(mktemp)
    printf '127.0.0.1\tlocalhost\n' >"$hosts"
    for host in "$@"; do
        n=${host%%:*}
        rest=${host#"$n"}; rest=${rest#:}
        name=${rest%%:*}
        echo "$n" | grep -Eq '^([0-3]\.)?[0-9]+$' && [ "${n#*.}" -ge 1 ] && [ "${n#*.}" -le 254 ] &&
            { [ "$n" = "${n#*.}" ] || [ "${n%.*}" -lt $((1 << (24 - bits))) ]; } || die "bad host '$host'"
        addresses="$addresses $(host_address "$prefix" "$n")"
        [ -z "$name" ] || echo "$name" | grep -Eq '^[A-Za-z0-9-]+$' || die "bad name '$name'"
        [ -z "$name" ] || printf '%s\t%s\n' "$(host_address "$prefix" "$n")" "$name" >>"$hosts"
    done
    for host in "$@"; do
        n=${host%%:*}
        ns="$lan-$(ns_suffix "$n")"
        address=$(host_address "$prefix" "$n")
        ip netns add "$ns"
        mkdir -p "/etc/netns/$ns"
        cp "$hosts" "/etc/netns/$ns/hosts"
        chmod 644 "/etc/netns/$ns/hosts"
        : >"/etc/netns/$ns/resolv.conf"
        printf 'hosts: files dns\n' >"/etc/netns/$ns/nsswitch.conf"
        chmod 644 "/etc/netns/$ns/resolv.conf" "/etc/netns/$ns/nsswitch.conf"
        ip -n "$ns" link set lo up
        port="p$(ns_suffix "$n")"
        bridge=br0
        case "$host:" in *:lan2:*) bridge=br1 ;; esac
        ip -n "$sw" link add "$port" type veth peer name eth0 netns "$ns"
        ip -n "$sw" link set "$port" master "$bridge" up
        case "$host:" in
        *:proxyrouter:*)
            ip -n "$sw" link add "q$(ns_suffix "$n")" type veth peer name eth1 netns "$ns"
            ip -n "$sw" link set "q$(ns_suffix "$n")" master br1 up
            ip -n "$ns" addr add "$address/$bits" dev eth0
            ip -n "$ns" addr add "$address/32" dev eth1
            ip -n "$ns" link set eth0 up
            ip -n "$ns" link set eth1 up
            ip -n "$ns" route add "$prefix.64/26" dev eth1
            ip -n "$ns" route add "$prefix.128/26" dev eth1
            ip netns exec "$ns" sysctl -qw net.ipv4.conf.all.forwarding=1 \
                net.ipv4.conf.eth0.proxy_arp=1 net.ipv4.conf.eth1.proxy_arp=1 \
                net.ipv4.neigh.eth0.proxy_delay=0 net.ipv4.neigh.eth1.proxy_delay=0
            ;;
        *:lan2:*)
            ip -n "$ns" addr add "$address/$bits" dev eth0
            ip -n "$ns" link set eth0 up
            ;;
        *:proxyarp:*)
            ip -n "$ns" addr add "$address/32" dev eth0
            ip -n "$ns" link set eth0 up
            ip -n "$ns" link add void0 type bridge # no ports: what goes in vanishes
            # No ARP there: the namespaces share one neighbour table, which
            # the proxy's own lookups must not fill.
            ip -n "$ns" link set void0 arp off up
            ip -n "$ns" route add "$prefix.0/$bits" dev void0
            for other in $addresses; do
                [ "$other" = "$address" ] || ip -n "$ns" route add "$other/32" dev eth0
            done
            ip netns exec "$ns" sysctl -qw net.ipv4.conf.all.forwarding=1 \
                net.ipv4.conf.eth0.proxy_arp=1 net.ipv4.neigh.eth0.proxy_delay=0
            ;;
        *)
            ip -n "$ns" addr add "$address/$bits" dev eth0
            ip -n "$ns" link set eth0 up
            ip -n "$ns" route add default via "$prefix.254" dev eth0
            ;;
        esac
        case "$host:" in
        *:drop:*) ip netns exec "$ns" sysctl -qw net.ipv4.icmp_echo_ignore_all=1 ;;
        esac
    done
    rm -f "$hosts"
    trap - EXIT
}

check() {
    lan=$1 n=$2 want=$3
    check_lan "$lan"
    ns="$lan-$(ns_suffix "$n")"
    got=$(ip -n "$ns" -4 -o addr show scope global | awk '{print $4}')
    case "$got" in
    "$want"/2[234]) ;;
    *) die "$ns has '$got', expected only $want/22 to /24" ;;
    esac
    links=$(ip -n "$ns" -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
    [ "$links" = "eth0 lo " ] || die "$ns has links '$links'"
}

attach() {
    lan=$1 n=$2 lan2=$3 cidr=$4
    check_lan "$lan"
    check_lan "$lan2"
    echo "$cidr" | grep -Eq '^10\.[0-9.]+/[0-9]+$' || die "bad address '$cidr'"
    ns="$lan-$(ns_suffix "$n")"
    port="a$(ns_suffix "$n")$lan"
    ip -n "$lan2-sw" link add "$port" type veth peer name eth1 netns "$ns"
    ip -n "$lan2-sw" link set "$port" master br0 up
    ip -n "$ns" addr add "$cidr" dev eth1
    ip -n "$ns" link set eth1 up
    other=$(members "$lan2" | grep -v -- '-sw$' | head -n 1)
    grep -v localhost "/etc/netns/$other/hosts" >>"/etc/netns/$ns/hosts"
}

cmd=${1:-}
[ $# -ge 1 ] && shift
case "$cmd" in
up) [ $# -ge 3 ] || die "usage: up LAN PREFIX HOST..."; up "$@" ;;
down) [ $# -eq 1 ] || die "usage: down LAN"; down "$1" ;;
ns) [ $# -eq 2 ] || die "usage: ns LAN N"; echo "$1-$(ns_suffix "$2")" ;;
check) [ $# -eq 3 ] || die "usage: check LAN N ADDR"; check "$@" ;;
attach) [ $# -eq 4 ] || die "usage: attach LAN N LAN2 ADDR/BITS"; attach "$@" ;;
*) sed -n '2,40p' "$0" >&2; exit 2 ;;
esac
