#!/bin/sh
# check-layering.sh SRC: fails when a file includes a layer above its own,
# or a text is written inline or a text name is given twice (see CONTRIBUTING).
#   core < platform < lan < names < history < discovery < messaging < ui < app
# Each layer may include itself and those below it, except that messaging
# needs nothing of the scan: it reaches the computer list through its form.
# Inside the platform, net, process and session stand alone and echo builds
# on them and on icmp.
# The ICMP library and the probe helper are plain C++: the helper may use only
# that library (with its line protocol), the IPv4 type and the descriptor and
# socket-address helpers; the library only those three headers; neither Qt.
# check-layering.sh --self-test SRC: each of a few upward includes, an inline
# text and a text name given twice, planted in a copy of SRC, fails the check.
set -u
if [ "$1" = --self-test ]; then
    tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
    plant() { # FILE LINE SRC: the check must fail once LINE is added to FILE
        rm -rf "$tmp/src" && cp -R "$3" "$tmp/src"
        echo "$2" >>"$tmp/src/$1"
        if sh "$0" "$tmp/src" >/dev/null; then
            echo "not caught: $2 in $1"
            return 1
        fi
    }
    for plant in history/history.cpp:names/namelookup.h history/history.cpp:discovery/scanner.h \
        names/namelookup.cpp:discovery/scanner.h messaging/messenger.cpp:discovery/scanner.h \
        discovery/scanner.cpp:messaging/messenger.h ui/controls.cpp:app/zephapp.h \
        lan/packet.cpp:names/namelookup.h; do
        plant "${plant%%:*}" "#include \"${plant#*:}\"" "$2" || exit 1
    done
    plant messaging/messenger.cpp 'const auto t = G(u"x");' "$2" || exit 1
    plant ui/texts.h 'inline constexpr QStringView kScanRunning = u"x";' "$2" || exit 1
    echo "every planted upward include, inline text and second name was caught"
    exit 0
fi
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
check names 'core|platform|lan|names'
check history 'core|platform|history'
check discovery 'core|platform|lan|names|history|discovery'
check messaging 'core|platform|lan|names|history|messaging'
check ui 'core|platform|lan|names|history|discovery|messaging|ui'
check app 'core|platform|lan|names|history|discovery|messaging|ui|app'
plain='core/ipv4\.h|core/securerandom\.h|platform/uniquefd\.h|platform/sockaddr\.h'
plain_only() { # FOLDER ALLOWED-REGEX WHAT
    hits=$(grep -rnE '#include [<"]' "$src/$1" |
        grep -E '#include (<Q|"[^"]*")' | grep -vE "#include \"($2)\"" || true)
    [ -z "$hits" ] || { echo "$3 includes more than it may:"; echo "$hits"; bad=1; }
}
plain_only platform/icmp "platform/icmp/[a-z]+\.h|$plain" "the ICMP library"
plain_only probe "platform/icmp/[a-z]+\.h|$plain" "the probe helper"
# Where texts live: in a layer's texts.h or the wire's, never inline, and no
# name is given to two texts.
homes=$(find "$src" -name texts.h -o -name wiretexts.h)
inline=$(grep -rn 'G(u"' "$src" --include='*.cpp' --include='*.h' | grep -v 'e\.g\. zeph::G(u"' || true)
[ -z "$inline" ] || { echo "texts written inline instead of in a texts.h:"; echo "$inline"; bad=1; }
# shellcheck disable=SC2086 # one word a file
twice=$(sed -n 's/^inline constexpr QStringView \(k[A-Za-z0-9]*\) =.*/\1/p' $homes | sort | uniq -d)
[ -z "$twice" ] || { echo "text names used twice:"; echo "$twice"; bad=1; }
[ $bad -eq 0 ] && echo "every layer includes only itself and the layers below; every text has one home"
exit $bad
