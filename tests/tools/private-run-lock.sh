#!/bin/sh
# Runs a command with a /run/lock of its own: a tmpfs in a mount namespace of
# its own, holding the probe helpers' lock as the package's tmpfiles.d entry
# makes it at boot (root's, 0444). The tests that start zeph-probe run in it,
# so that they neither depend on the machine's lock nor touch it, and may put
# anything at its place. Needs root.
set -e
if [ "${ZEPH_PRIVATE_RUN_LOCK:-}" = 1 ]; then
    exec "$@"
fi
[ -d /run/lock ] || { echo "private-run-lock: /run/lock is missing" >&2; exit 1; }
export ZEPH_PRIVATE_RUN_LOCK=1
exec unshare --mount --propagation private -- sh -c '
    mount -t tmpfs -o mode=1777,size=1m zeph-run-lock /run/lock &&
    install -m 0444 -o root -g root /dev/null /run/lock/zeph-probe.lock &&
    exec "$@"' sh "$@"
