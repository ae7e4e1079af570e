#!/bin/sh
# Every C++ file under src/, tests/ and bench/ is as clang-format-14 writes it
# with the repository's .clang-format. With --fix, rewrites those that are not.
# Usage: check-format.sh SOURCE_DIR [--fix]
set -eu
src=$(cd "${1:?usage: check-format.sh SOURCE_DIR [--fix]}" && pwd)
fmt=$(command -v clang-format-14 || true)
[ -n "$fmt" ] || { echo "check-format: clang-format-14 is missing (tools/deps/test-gates.txt)" >&2; exit 1; }
cd "$src"
list=$(mktemp) out=$(mktemp)
trap 'rm -f "$list" "$out"' EXIT
find src tests bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort >"$list"
if [ "${2:-}" = --fix ]; then
    xargs "$fmt" -i <"$list"
    echo "check-format: formatted $(wc -l <"$list") files"
    exit 0
fi
if xargs "$fmt" --dry-run --Werror <"$list" 2>"$out"; then
    echo "check-format: $(wc -l <"$list") files, no differences"
    exit 0
fi
# "FILE:LINE:COL: error: code should be clang-formatted [...]", per difference.
bad=$(sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: .*clang-format.*/\1/p' "$out" | sort -u)
if [ -z "$bad" ]; then
    cat "$out" >&2 # clang-format itself failed
    exit 1
fi
echo "$bad" | sed 's/$/: differs from the layout of clang-format-14/'
echo "check-format: $(echo "$bad" | wc -l) files differ; 'bash tools/setup.sh format' rewrites them" >&2
exit 1
