#!/bin/sh
# Runs shellcheck at warning level over every shell script of the repository: each
# *.sh outside build folders, and the CI entry point. The repository's
# .shellcheckrc lets it follow the files a script sources.
# Usage: check-shell.sh SOURCE_DIR
set -eu
src=$(cd "${1:?usage: check-shell.sh SOURCE_DIR}" && pwd)
command -v shellcheck >/dev/null 2>&1 ||
    { echo "check-shell: shellcheck is missing (tools/deps/test-gates.txt)" >&2; exit 1; }
cd "$src"
list=$(mktemp)
trap 'rm -f "$list"' EXIT
{
    find . \( -path './build*' -o -path './dist' -o -path './.git' \) -prune -o \
        -type f -name '*.sh' -print
    [ -f .ci/run ] && echo ./.ci/run
} | sort >"$list"
if xargs -P 2 -n 8 shellcheck -S warning <"$list"; then
    echo "check-shell: $(wc -l <"$list") scripts, no warnings"
else
    echo "check-shell: FAILED" >&2
    exit 1
fi
