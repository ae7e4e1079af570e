#!/bin/sh
# Runs a command in a fresh network namespace that has only loopback, so a test
# can open sockets, resolve its own name and send to itself without any packet
# reaching a real network.
set -e
if [ "${ZEPH_IN_PRIVATE_NETNS:-}" = 1 ]; then
    exec "$@"
fi
export ZEPH_IN_PRIVATE_NETNS=1
exec unshare --net -- sh -c 'ip link set lo up && exec "$@"' sh "$@"
