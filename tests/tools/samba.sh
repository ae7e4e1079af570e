# Sourced (POSIX sh) by every script that starts smbd, nmbd or smbclient of its
# own: a configuration whose every state, lock, cache and pid file lives in a
# private folder, so that nothing of the machine's own Samba is read or touched
# and each daemon can be started beside others.
#
#   samba_conf DIR [FILE] <<CONF
#   netbios name = WINPC
#   ...
#   CONF
#
# creates DIR and its state folders and writes FILE (default DIR/smb.conf): a
# [global] section with the settings read from standard input, then the
# private folders (so the caller names none of those keys). Log files go under
# DIR/log if the caller sets `log file`.
#
#   nmbd_start NETNS DIR NAME WORKGROUP LOG [<<CONF ...]
#
# starts nmbd in network namespace NETNS as NAME of WORKGROUP, on the
# namespace's eth0 only and never a master browser, with its state in DIR and
# its output in LOG; further settings come on standard input (none: </dev/null).
#
#   nmbd_listening NETNS ADDRESS
#
# waits up to 30 s until it listens on ADDRESS:137: from then on it answers a
# node status question.

# shellcheck shell=sh

samba_conf() {
    _samba_dir=$1
    _samba_file=${2:-$1/smb.conf}
    mkdir -p "$_samba_dir/private" "$_samba_dir/lock" "$_samba_dir/state" \
        "$_samba_dir/cache" "$_samba_dir/pid" "$_samba_dir/ncalrpc" "$_samba_dir/log" "$_samba_dir/nmbd" \
        "$(dirname "$_samba_file")" || return 1
    {
        echo "[global]"
        cat
        cat <<CONF
private dir = $_samba_dir/private
lock directory = $_samba_dir/lock
state directory = $_samba_dir/state
cache directory = $_samba_dir/cache
pid directory = $_samba_dir/pid
ncalrpc dir = $_samba_dir/ncalrpc
nmbd:socket dir = $_samba_dir/nmbd
CONF
    } >"$_samba_file"
}

nmbd_start() {
    _nmbd_dir=$2
    {
        cat <<CONF
netbios name = $3
workgroup = $4
disable netbios = no
smb ports = 139
interfaces = eth0
bind interfaces only = yes
local master = no
log file = $_nmbd_dir/log/log.%m
CONF
        cat
    } | samba_conf "$_nmbd_dir" || return 1
    ip netns exec "$1" nmbd --foreground --no-process-group --debug-stdout -s "$_nmbd_dir/smb.conf" \
        </dev/null >"$5" 2>&1 &
}

nmbd_listening() {
    for _ in $(seq 300); do
        ip netns exec "$1" ss -Huln "sport = :137" | grep -q "$2:" && return 0
        sleep 0.1
    done
    return 1
}
