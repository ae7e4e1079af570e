#!/usr/bin/env bash
# Runs the Windows build's tests under Wine: its ctest suite (unit tests and
# the shared logic, cross-built) in a network namespace of its own with only
# loopback up, then the end-to-end test on a simulated LAN
# (tests/windows/e2e_wine.sh). Run as root after tools/windows/build.sh.
#
#   bash tools/windows/test.sh [BUILD-DIR]     default build-windows
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$ROOT"
BUILD="${1:-build-windows}"
DIST="${ZEPH_DIST:-$ROOT/dist}"
[[ $EUID -eq 0 ]] || { echo "test.sh: needs root (network namespaces)" >&2; exit 1; }

TMP="$(mktemp -d /tmp/zeph-wine-ctest.XXXXXX)"
trap 'rm -rf "$TMP"' EXIT
export WINEPREFIX="$TMP/prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="

rc=0
printf '\n==> [windows] clang-tidy over the Windows files\n'
# clang reads the MinGW g++'s compile commands for the MinGW target, with that
# compiler's C++ library and Windows headers (not its own intrinsics headers:
# clang brings its own). The files: every *_windows.cpp, and the shared ones
# with a Windows branch.
tidy_args=(--extra-arg=--target=x86_64-w64-mingw32)
cxx="$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$BUILD"/CMakeFiles/*/CMakeCXXCompiler.cmake | head -n 1)"
while read -r dir; do
    dir="$(realpath "$dir")"
    case "$dir" in */lib/gcc/*/include | */lib/gcc/*/include-fixed) ;;
    *) tidy_args+=("--extra-arg=-isystem$dir") ;;
    esac
done < <("$cxx" -v -E -x c++ /dev/null 2>&1 |
    sed -n '/#include <...> search starts here/,/End of search/s/^ \(\/.*\)/\1/p')
windows_files="$(grep -rlE 'Q_OS_WIN|_WIN32' src --include='*.cpp' | sed 's/\./\\./g' | paste -sd'|')"
ZEPH_TIDY_FILES="(_windows\.cpp|${windows_files})\$" \
    sh tests/tools/check-tidy.sh "$ROOT" "$BUILD" "${tidy_args[@]}" || rc=1

printf '\n==> [windows] ctest under Wine (private network namespace)\n'
# The wineserver lives in the namespace and ends with it.
unshare --net -- bash -c '
    ip link set lo up
    wineserver -p
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    rc=0
    ctest --test-dir "$1" --output-on-failure --no-tests=error || rc=$?
    wineserver -k
    exit $rc' _ "$BUILD" 2>&1 | tee "$BUILD/ctest.log" || rc=1
grep -q '100% tests passed' "$BUILD/ctest.log" || rc=1

printf '\n==> [windows] end to end under Wine\n'
# The window facts the scripts click by are the definition's, the same on both
# platforms: a host build writes them (the test command's own Linux build, or
# one made here for them alone).
WINDOWDEF="${ZEPH_E2E_WINDOWDEF:-}"
if [[ -z $WINDOWDEF ]]; then
    HOST_BUILD=build-ci
    [[ -f $HOST_BUILD/CMakeCache.txt ]] || {
        HOST_BUILD="$BUILD/host"
        cmake -S . -B "$HOST_BUILD" -G Ninja -DZEPH_BUILD_BENCH=OFF >/dev/null
    }
    cmake --build "$HOST_BUILD" --target zeph_e2e_windowdef_sh >/dev/null
    WINDOWDEF="$ROOT/$HOST_BUILD/tests/e2e/windowdef.sh"
fi
VERSION="$(sed -n -E 's/^project\(zeph VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
ZEPH_SETUP_EXE="$DIST/zeph-$VERSION-setup.exe" ZEPH_E2E_WINDOWDEF="$WINDOWDEF" \
    ZEPH_E2E_ARTIFACTS="$ROOT/$BUILD/artifacts/e2e_wine" \
    bash tests/windows/e2e_wine.sh || rc=1
exit $rc
