#!/usr/bin/env bash
# Builds a static Qt for 64-bit Windows (MinGW-w64) from Debian's own qt6-base
# source, once: the result is cached outside the checkout, in a folder named by
# the source version and a hash of the options and toolchain file, and reused
# while both stay the same. Debian's Qt of the same version supplies the host
# tools (moc, rcc, uic). Run as root (apt-get source needs a deb-src line).
#
#   bash tools/windows/build-qt.sh    prints the Qt prefix on its last line
#
# Environment:
#   ZEPH_QT_CACHE=DIR   cache root (default /var/cache/zeph)
#   ZEPH_JOBS=N         parallel build jobs (default 2)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
CACHE="${ZEPH_QT_CACHE:-/var/cache/zeph}"
JOBS="${ZEPH_JOBS:-2}"

say() { printf '\n==> %s\n' "$*" >&2; }
die() {
    printf 'build-qt.sh: %s\n' "$*" >&2
    exit 1
}

# Only what a static Widgets + Network program needs. Debian's source has no
# wintab.h, so tablet events go; the bundled third-party libraries stand in
# for the Windows builds Debian does not ship.
QT_OPTIONS=(
    -xplatform win32-g++ -static -release
    -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu
    -no-feature-tabletevent -no-feature-sql -no-feature-printsupport
    -no-feature-concurrent -no-feature-xml -no-feature-vulkan
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-harfbuzz -qt-freetype
)

# The host Qt's version must equal the source's: its moc output is compiled
# against the new headers.
host_version() {
    dpkg-query -W -f='${source:Version}' qt6-base-dev-tools 2>/dev/null ||
        die "qt6-base-dev-tools is not installed"
}

# A deb-src twin of every deb entry in the machine's own apt sources, in a file
# of its own, so that apt-get source finds qt6-base wherever the machine's
# mirror is.
ensure_deb_src() {
    local out=/etc/apt/sources.list.d/zeph-deb-src.sources
    if apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base'; then
        return
    fi
    say "Adding deb-src entries ($out) derived from the apt sources"
    {
        local f
        for f in /etc/apt/sources.list.d/*.sources; do
            [[ -f $f && $f != "$out" ]] || continue
            # deb822 stanzas: keep those of type deb, turn them into deb-src.
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                 /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
                     sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
        done
        if [[ -f /etc/apt/sources.list ]]; then
            # One-line entries become stanzas too.
            sed -n -E 's/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+([^[:space:]]+)[[:space:]]+(.*)$/Types: deb-src\nURIs: \2\nSuites: \3\nComponents: \4\n/p' \
                /etc/apt/sources.list
        fi
    } >"$out.tmp"
    [[ -s $out.tmp ]] || die "no deb entries found in the apt sources"
    mv "$out.tmp" "$out"
    apt-get update >&2
}

main() {
    local version hash prefix
    version="$(host_version)"
    hash="$( (printf '%s\n' "${QT_OPTIONS[@]}"; cat "$TOOLCHAIN") | sha256sum | cut -c1-12)"
    prefix="$CACHE/qt6-mingw-${version//[:~]/_}-$hash"
    mkdir -p "$CACHE"
    # One build at a time: a second run waits here, then finds the first's Qt.
    exec 9>"$prefix.lock"
    if ! flock -n 9; then
        say "Another run is building this Qt; waiting for it ($prefix.lock)"
        flock 9
    fi
    if [[ -f $prefix/.complete ]]; then
        say "Static Qt for Windows cached in $prefix"
        printf '%s\n' "$prefix"
        return
    fi

    local work="$CACHE/build-$hash" src=""
    # A build that was stopped part-way (the machine's session ended) goes on
    # where it stopped: its configured tree is kept beside the cache.
    if [[ -f $work/build/build.ninja ]]; then
        src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"
    fi
    if [[ -n $src ]]; then
        say "Resuming the Qt build in $work"
    else
        ensure_deb_src
        rm -rf "$work" "$prefix"
        mkdir -p "$work"
        say "Fetching qt6-base $version source into $work"
        (cd "$work" && apt-get source --only-source "qt6-base=$version" >&2)
        src="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)"
        [[ -n $src ]] || die "apt-get source did not unpack qt6-base"

        say "Configuring Qt (log: $work/build/config.log)"
        mkdir -p "$work/build"
        (cd "$work/build" && "$src/configure" -prefix "$prefix" "${QT_OPTIONS[@]}" \
            -qt-host-path /usr -- -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) >&2
    fi
    say "Building Qt with $JOBS jobs"
    cmake --build "$work/build" --parallel "$JOBS" >&2
    cmake --install "$work/build" >&2
    # Zeph decodes its banner with libjpeg itself: the headers of the copy Qt
    # bundles (its static library is installed with Qt) go beside it.
    mkdir -p "$prefix/include/zeph-libjpeg"
    cp "$src"/src/3rdparty/libjpeg/src/{jpeglib.h,jconfig.h,jmorecfg.h,jerror.h} \
        "$prefix/include/zeph-libjpeg/"
    printf '%s\n' "${QT_OPTIONS[*]}" >"$prefix/.options"
    touch "$prefix/.complete"
    rm -rf "$work"
    say "Static Qt for Windows built into $prefix ($(du -sh "$prefix" | cut -f1))"
    printf '%s\n' "$prefix"
}

main "$@"
