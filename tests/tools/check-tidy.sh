#!/bin/sh
# clang-tidy with the repository's .clang-tidy over every file of src/ that the
# build compiles (its compile_commands.json), two at a time. Any finding fails:
# .clang-tidy turns every warning into an error.
# Usage: check-tidy.sh SOURCE_DIR BUILD_DIR [CLANG_TIDY_ARGS...]
# ZEPH_TIDY_FILES: an extended regex; only the files it matches are read (the
# Windows stage reads the *_windows.cpp files of the cross build).
set -eu
usage="usage: check-tidy.sh SOURCE_DIR BUILD_DIR [CLANG_TIDY_ARGS...]"
src=$(cd "${1:?$usage}" && pwd)
build=$(cd "${2:?$usage}" && pwd)
shift 2
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
[ -n "$tidy" ] || { echo "check-tidy: clang-tidy-14 is missing (tools/deps/test-gates.txt)" >&2; exit 1; }
[ -f "$build/compile_commands.json" ] || { echo "check-tidy: no $build/compile_commands.json" >&2; exit 1; }

list=$(mktemp) out=$(mktemp)
trap 'rm -f "$list" "$out"' EXIT
sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
    grep "^$src/src/" | grep -E "${ZEPH_TIDY_FILES:-.}" | sort -u >"$list" || true
[ -s "$list" ] || { echo "check-tidy: no file of $src/src in the build" >&2; exit 1; }
echo "check-tidy: $(wc -l <"$list") files, ${ZEPH_TIDY_JOBS:-2} at a time"

rc=0
xargs -P "${ZEPH_TIDY_JOBS:-2}" -n 1 "$tidy" -p "$build" --quiet "$@" <"$list" >"$out" 2>&1 || rc=$?
# Only the findings: not the count of warnings suppressed in system headers.
grep -v '^[0-9]* warnings\{0,1\} \(and [0-9]* errors\{0,1\} \)\{0,1\}generated\.$' "$out" || true
if [ "$rc" != 0 ]; then
    echo "check-tidy: FAILED (see the findings above)" >&2
    exit 1
fi
echo "check-tidy: no findings"
