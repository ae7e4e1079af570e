#!/usr/bin/env bash
# command_line ZEPH: `zeph --version` and `zeph --help` answer and exit 0 with
# no display at all, and touch nothing of a run: no file in the runtime folder
# (the single-instance marker) or the home folder (autostart), no socket (the
# message port, the scan). The socket check uses strace when it is installed.
set -euo pipefail
ZEPH=${1:?usage: command_line.sh ZEPH}
TMP=$(mktemp -d /tmp/zeph-cmdline.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
mkdir -m 700 "$TMP/runtime" "$TMP/home"

fail() {
    echo "command_line: FAIL: $*" >&2
    exit 1
}

# run OUT ARGS...: zeph with an empty environment but for its folders (and a
# sanitizer build's options).
run() {
    local out=$1
    shift
    local keep=() v
    for v in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
        [[ -z ${!v:-} ]] || keep+=("$v=${!v}")
    done
    local base=(env -i PATH=/usr/bin:/bin HOME="$TMP/home" XDG_RUNTIME_DIR="$TMP/runtime"
        XDG_CONFIG_HOME="$TMP/home/.config" LANG=C.UTF-8 "${keep[@]}")
    local rc=0
    timeout 20 "${base[@]}" "$ZEPH" "$@" >"$out" 2>"$TMP/stderr" || rc=$?
    [[ $rc == 0 ]] || fail "zeph $* exited with $rc: $(cat "$TMP/stderr")"
    [[ ! -s $TMP/stderr ]] || fail "zeph $* wrote to stderr: $(cat "$TMP/stderr")"
    [[ -z $(find "$TMP/runtime" "$TMP/home" -mindepth 1) ]] ||
        fail "zeph $* left files: $(find "$TMP/runtime" "$TMP/home" -mindepth 1)"
    # Once more under strace (the leak checker cannot run under ptrace).
    command -v strace >/dev/null || return 0
    rc=0
    timeout 20 strace -f -qq -e trace=socket,bind -o "$TMP/trace" \
        "${base[@]}" ASAN_OPTIONS=detect_leaks=0 "$ZEPH" "$@" >/dev/null 2>&1 || rc=$?
    [[ $rc == 0 ]] || fail "zeph $* exited with $rc under strace"
    ! grep -E '(socket|bind)\(' "$TMP/trace" || fail "zeph $* opened a socket"
    rm -f "$TMP/trace"
}

run "$TMP/version" --version
grep -Eqx 'zeph [0-9]+\.[0-9]+(\.[0-9]+)?' "$TMP/version" || fail "--version printed: $(cat "$TMP/version")"
[[ $(wc -l <"$TMP/version") == 1 ]] || fail "--version printed more than one line"

for opt in --help -h; do
    run "$TMP/help" "$opt"
    grep -q '^Usage: zeph \[--help | --version\]$' "$TMP/help" || fail "$opt printed: $(cat "$TMP/help")"
    grep -q -- '--version' "$TMP/help" || fail "$opt does not list --version"
done
echo "command_line: PASS"
