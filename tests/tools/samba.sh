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
