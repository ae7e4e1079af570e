#!/bin/sh
# Runs the pop-up delivery test against real Samba receivers inside a network
# namespace of its own, which holds nothing but loopback:
#   127.0.0.1  zephrcv     smbd that takes pop-up messages into a spool folder
#   127.0.0.2  zephrefuse  smbd without a message command: refuses every message
#   127.0.0.3              nothing listens (unreachable receiver)
# The client configuration is bind-mounted over /etc/samba in the namespace, so
# smbclient with its default options uses it, and no cache, lock or state file
# of the machine's Samba is touched. Everything is removed on every exit path.
# Usage: run-delivery.sh TEST_BINARY [test arguments]
set -eu

test_binary=$1
shift
# shellcheck source=../../tools/samba.sh
. "$(cd "$(dirname "$0")" && pwd)/../../tools/samba.sh"

for tool in ip smbd smbclient; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "run-delivery.sh: $tool is missing (install the packages of tools/deps/test-messenger.txt)" >&2
        exit 1
    fi
done

ns="zeph-msgr-$$"
work=$(mktemp -d /tmp/zeph-msgr.XXXXXX)
netns_etc="/etc/netns/$ns"

smbd_pids=""

cleanup() {
    for pid in $smbd_pids; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $smbd_pids; do
        wait "$pid" 2>/dev/null || true
    done
    # Wait for them to end; whatever is left inside our own namespace (smbd
    # children) is then killed, and waited for as well.
    if ip netns pids "$ns" >/dev/null 2>&1; then
        for round in 1 2; do
            for _ in $(seq 50); do
                [ -z "$(ip netns pids "$ns")" ] && break
                sleep 0.1
            done
            [ "$round" = 2 ] && break
            for pid in $(ip netns pids "$ns"); do
                kill -9 "$pid" 2>/dev/null || true
            done
        done
        ip netns del "$ns" 2>/dev/null || true
    fi
    rm -rf "$netns_etc" "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

chmod 755 "$work"   # smbd runs the message command as the guest user
mkdir -p "$work/spool" "$work/spooltmp" "$work/marker"
chmod 1777 "$work/spool" "$work/spooltmp"

write_server_conf() { # name address message-command
    dir="$work/$1"
    samba_conf "$dir" <<CONF
netbios name = $(echo "$1" | tr '[:lower:]' '[:upper:]')
workgroup = ZEPHTEST
server role = standalone server
server min protocol = NT1
disable netbios = no
smb ports = 139
interfaces = $2/8
bind interfaces only = yes
dos charset = CP936
unix charset = CP936
map to guest = bad user
guest account = nobody
load printers = no
printing = bsd
printcap name = /dev/null
disable spoolss = yes
log file = $dir/log/log.%m
log level = 1
message command = $3
CONF
}

write_server_conf rcv 127.0.0.1 \
    "/bin/sh -c 'cat %s > $work/spool/.part.\$\$ && mv $work/spool/.part.\$\$ $work/spool/msg.\$\$; rm -f %s'"
write_server_conf refuse 127.0.0.2 ""

samba_conf "$work/client" "$netns_etc/samba/smb.conf" <<CONF
workgroup = ZEPHTEST
name resolve order = lmhosts host bcast
CONF
cat >"$netns_etc/hosts" <<HOSTS
127.0.0.1 localhost
127.0.0.1 zephrcv
127.0.0.2 zephrefuse
HOSTS
: >"$netns_etc/resolv.conf"

ip netns add "$ns"
ip -n "$ns" link set lo up
ip -n "$ns" addr add 127.0.0.2/8 dev lo

# In the foreground, as children of this script, so that cleanup can wait for
# them to end. smbd keeps its own process group: on exit it signals its whole
# group, which must not be ours.
for server in rcv refuse; do
    ip netns exec "$ns" env TMPDIR="$work/spooltmp" \
        smbd --foreground -s "$work/$server/smb.conf" \
        </dev/null >"$work/$server/log/stdout" 2>&1 &
    smbd_pids="$smbd_pids $!"
done
# Wait until both listen on port 139.
ready=0
for _ in $(seq 100); do
    listening=$(ip netns exec "$ns" ss -Hltn 'sport = :139' | wc -l)
    if [ "$listening" -ge 2 ]; then
        ready=1
        break
    fi
    sleep 0.1
done
if [ "$ready" != 1 ]; then
    echo "run-delivery.sh: smbd did not start" >&2
    cat "$work"/*/log/* >&2 2>/dev/null || true
    exit 1
fi

status=0
ip netns exec "$ns" env ZEPH_MSGR_SPOOL="$work/spool" ZEPH_MSGR_MARKER_DIR="$work/marker" \
    "$test_binary" "$@" || status=$?
exit "$status"
