#!/bin/sh
# simlan.sh: a simulated LAN of network namespaces, for tests that send packets.
#
#   simlan.sh up LAN PREFIX HOST...   build it; HOST is N[:NAME][:drop]
#   simlan.sh down LAN                remove it (safe to call twice or after a failed up)
#   simlan.sh ns LAN N                print the namespace name of host N
#   simlan.sh check LAN N ADDR        succeed only if host N's one non-loopback
#                                     IPv4 address is ADDR (call before probing)
#
# LAN is a short tag ([a-z0-9], at most 8 characters) that prefixes every name.
# PREFIX is the first three numbers of a 10.0.0.0/8 subnet, e.g. 10.213.7; only
# that private range is accepted. Host N lives in namespace LAN-N with eth0 =
# PREFIX.N/24, lo up, and a default route via PREFIX.254 (no host there). All
# hosts hang on one bridge in a namespace of its own (LAN-sw), so nothing of
# the LAN touches the machine's own namespace. NAME, when given, goes into
# /etc/netns/LAN-N/hosts of every host (so every host resolves every named host,
# both ways); each host also gets an empty resolv.conf and "hosts: files dns",
# so no lookup can leave the namespace. ":drop" makes the host ignore echo
# requests (net.ipv4.icmp_echo_ignore_all=1 in its namespace).
#
# Run as root. Callers set a trap: trap 'simlan.sh down LAN' EXIT.
# Example: simlan.sh up zd1 10.213.7 1:scanner 2:alpha 3::drop 9
set -eu

die() { echo "simlan: $*" >&2; exit 1; }

members() { # the namespaces of LAN, exactly
    ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^$1-([0-9]+|sw)\$" || true
}

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
    lan=$1 prefix=$2
    shift 2
    check_lan "$lan"
    echo "$prefix" | grep -Eq '^10\.([0-9]{1,3})\.([0-9]{1,3})$' || die "PREFIX must be 10.X.Y"
    [ -z "$(members "$lan")" ] || die "LAN $lan exists already"
    trap 'down "$lan"' EXIT
    sw="$lan-sw"
    ip netns add "$sw"
    ip -n "$sw" link set lo up
    ip -n "$sw" link add br0 type bridge
    ip -n "$sw" link set br0 up

    hosts=$(mktemp)
    printf '127.0.0.1\tlocalhost\n' >"$hosts"
    for host in "$@"; do
        n=${host%%:*}
        rest=${host#"$n"}; rest=${rest#:}
        name=${rest%%:*}
        echo "$n" | grep -Eq '^[0-9]+$' && [ "$n" -ge 1 ] && [ "$n" -le 253 ] || die "bad host '$host'"
        [ -z "$name" ] || echo "$name" | grep -Eq '^[A-Za-z0-9-]+$' || die "bad name '$name'"
        [ -z "$name" ] || printf '%s.%s\t%s\n' "$prefix" "$n" "$name" >>"$hosts"
    done
    for host in "$@"; do
        n=${host%%:*}
        ns="$lan-$n"
        ip netns add "$ns"
        mkdir -p "/etc/netns/$ns"
        cp "$hosts" "/etc/netns/$ns/hosts"
        chmod 644 "/etc/netns/$ns/hosts"
        : >"/etc/netns/$ns/resolv.conf"
        printf 'hosts: files dns\n' >"/etc/netns/$ns/nsswitch.conf"
        chmod 644 "/etc/netns/$ns/resolv.conf" "/etc/netns/$ns/nsswitch.conf"
        ip -n "$ns" link set lo up
        ip -n "$sw" link add "p$n" type veth peer name eth0 netns "$ns"
        ip -n "$sw" link set "p$n" master br0 up
        ip -n "$ns" addr add "$prefix.$n/24" dev eth0
        ip -n "$ns" link set eth0 up
        ip -n "$ns" route add default via "$prefix.254" dev eth0
        case "$host" in
        *:drop) ip netns exec "$ns" sysctl -qw net.ipv4.icmp_echo_ignore_all=1 ;;
        esac
    done
    rm -f "$hosts"
    trap - EXIT
}

check() {
    lan=$1 n=$2 want=$3
    check_lan "$lan"
    got=$(ip -n "$lan-$n" -4 -o addr show scope global | awk '{print $4}')
    [ "$got" = "$want/24" ] || die "$lan-$n has '$got', expected only $want/24"
    links=$(ip -n "$lan-$n" -o link show | awk -F': ' '{print $2}' | sed 's/@.*//' | sort | tr '\n' ' ')
    [ "$links" = "eth0 lo " ] || die "$lan-$n has links '$links'"
}

cmd=${1:-}
[ $# -ge 1 ] && shift
case "$cmd" in
up) [ $# -ge 3 ] || die "usage: up LAN PREFIX HOST..."; up "$@" ;;
down) [ $# -eq 1 ] || die "usage: down LAN"; down "$1" ;;
ns) [ $# -eq 2 ] || die "usage: ns LAN N"; echo "$1-$2" ;;
check) [ $# -eq 3 ] || die "usage: check LAN N ADDR"; check "$@" ;;
*) sed -n '2,24p' "$0" >&2; exit 2 ;;
esac
