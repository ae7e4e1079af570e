#!/bin/sh
# check-layering.sh SRC: fails when a file includes a layer above its own.
#   core < platform < lan < logic (history, messaging, discovery) < ui < app
# Inside the platform, net, process and session stand alone and echo builds
# on them and on icmp.
# The ICMP library and the probe helper are plain C++: the helper may use only
# that library (with its line protocol), the IPv4 type and the descriptor and
# socket-address helpers; the library only those three headers; neither Qt.
set -u
src=$1
bad=0
check() { # FOLDER ALLOWED-REGEX
    hits=$(grep -rnoE '#include "[a-z]+/' "$src/$1" | grep -vE "#include \"($2)/" || true)
    if [ -n "$hits" ]; then
        echo "$1 includes a layer above it:"
        echo "$hits"
        bad=1
    fi
}
check core 'core'
check platform 'core|platform'
# Inside the platform: each concern folder includes its own headers and the
# shared ones at the platform's root; only the echo transports build on the
# others (the privileged library, the local address, spawning the helper).
inner() { # FOLDER ALLOWED-FOLDERS-REGEX
    hits=$(grep -rnoE '#include "platform/[a-z]+/' "$src/platform/$1" |
        grep -vE "#include \"platform/($2)/" || true)
    if [ -n "$hits" ]; then
        echo "platform/$1 includes another platform folder:"
        echo "$hits"
        bad=1
    fi
}
inner net 'net'
inner process 'process'
inner session 'session'
inner echo 'echo|icmp|net|process'
check lan 'core|platform|lan'
for logic in history messaging discovery; do
    check $logic 'core|platform|lan|history|messaging|discovery'
done
check ui 'core|platform|lan|history|messaging|discovery|ui'
plain='core/ipv4\.h|core/securerandom\.h|platform/uniquefd\.h|platform/sockaddr\.h'
plain_only() { # FOLDER ALLOWED-REGEX WHAT
    hits=$(grep -rnE '#include [<"]' "$src/$1" |
        grep -E '#include (<Q|"[^"]*")' | grep -vE "#include \"($2)\"" || true)
    [ -z "$hits" ] || { echo "$3 includes more than it may:"; echo "$hits"; bad=1; }
}
plain_only platform/icmp "platform/icmp/[a-z]+\.h|$plain" "the ICMP library"
plain_only probe "platform/icmp/[a-z]+\.h|$plain" "the probe helper"
[ $bad -eq 0 ] && echo "every layer includes only itself and the layers below"
exit $bad
