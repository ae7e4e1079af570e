#!/bin/sh
# check-layering.sh SRC: fails when a file includes a layer above its own.
#   core < platform < lan < logic (history, messaging, discovery) < ui < app
# The probe helper is plain C++ and may use only the ICMP code and the IPv4 parser.
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
check lan 'core|platform|lan'
for logic in history messaging discovery; do
    check $logic 'core|platform|lan|history|messaging|discovery'
done
check ui 'core|platform|lan|history|messaging|discovery|ui'
hits=$(grep -rn '#include "' "$src/probe" | grep -vE '#include "(core/ipv4\.h|platform/icmpecho\.h)"' || true)
[ -z "$hits" ] || { echo "probe helper includes more than the ICMP code:"; echo "$hits"; bad=1; }
[ $bad -eq 0 ] && echo "every layer includes only itself and the layers below"
exit $bad
