#!/usr/bin/env bash
# Cross-builds Zeph for 64-bit Windows against the static Qt of build-qt.sh and
# packs it: dist/zeph-<version>-win64.zip (a folder with zeph.exe, runnable
# once unpacked) and dist/zeph-<version>-setup.exe (NSIS, per user, /S).
#
#   bash tools/windows/build.sh [BUILD-DIR]     default build-windows
#
# The tests are built too (run by tools/windows/test.sh). Environment:
# ZEPH_JOBS (default 2), ZEPH_DIST (default dist), ZEPH_QT_CACHE (see build-qt.sh),
# ZEPH_QT_PREFIX (a finished Qt: build-qt.sh is then not run).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$ROOT"
BUILD="${1:-build-windows}"
DIST="${ZEPH_DIST:-$ROOT/dist}"
JOBS="${ZEPH_JOBS:-2}"

say() { printf '\n==> %s\n' "$*" >&2; }

# ZEPH_QT_PREFIX: a finished static Qt to use as it is (the test command's).
QT="${ZEPH_QT_PREFIX:-$(bash tools/windows/build-qt.sh | tail -n1)}"
[[ -d $QT ]] || { echo "build.sh: no static Qt" >&2; exit 1; }

say "Cross-building Zeph in $BUILD against $QT"
# Qt's own toolchain file (what its qt-cmake uses) puts the static Qt on the
# find path and then loads the MinGW one.
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$QT/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 \
    -DZEPH_WERROR=ON -DZEPH_BUILD_BENCH=OFF >&2
cmake --build "$BUILD" -j"$JOBS" >&2

VERSION="$(sed -n -E 's/^project\(zeph VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
NAME="zeph-$VERSION-win64"
STAGE="$ROOT/$BUILD/stage"
rm -rf "$STAGE"
mkdir -p "$STAGE/$NAME" "$DIST"
cmake --install "$BUILD" --prefix "$STAGE/$NAME" >&2
x86_64-w64-mingw32-strip "$STAGE/$NAME/zeph.exe"

say "Packing $DIST/$NAME.zip"
rm -f "$DIST/$NAME.zip"
(cd "$STAGE" && zip -q -r -X "$DIST/$NAME.zip" "$NAME")

say "Building $DIST/zeph-$VERSION-setup.exe"
makensis -V2 -DVERSION="$VERSION" -DSOURCE="$STAGE/$NAME" \
    -DICON="$ROOT/src/ui/resources/zeph.ico" \
    -DOUTFILE="$DIST/zeph-$VERSION-setup.exe" packaging/windows/zeph.nsi >&2
printf '%s\n%s\n' "$DIST/$NAME.zip" "$DIST/zeph-$VERSION-setup.exe"
