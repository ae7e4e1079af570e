#!/usr/bin/env bash
# Sets up Zeph on Debian 12: installs the packages it needs, builds it, and then
# either starts it or runs the whole test suite. Run as root, from anywhere:
#
#   bash tools/setup.sh run    Release build in build/, `cmake --install build`
#                              (prefix /usr/local), then starts the installed
#                              zeph as the desktop user who called sudo.
#   bash tools/setup.sh test   two builds, each followed by ctest:
#                              build-ci   (-DZEPH_WERROR=ON), with the gates:
#                                         format, shellcheck, clang_tidy, layering
#                              build-asan (-DZEPH_SANITIZE=ON -DZEPH_WERROR=ON)
#                              then the Windows build (as `windows` does,
#                              building the static Qt first when the cache
#                              has none) and its tests under Wine
#                              (tools/windows/test.sh)
#   bash tools/setup.sh quick  the fast edit loop: build-dev (-DZEPH_WERROR=ON,
#                              no sanitizers), then only the in-process tests
#                              and the quick gates (ctest -L 'unit|gate' -LE tidy);
#                              installs no packages
#   bash tools/setup.sh format rewrites every C++ file under src/, tests/ and
#                              bench/ with clang-format-14 (what `format` checks)
#   bash tools/setup.sh package  Release build (prefix /usr) in build-package/,
#                              then dist/zeph_<version>_<arch>.deb (cpack)
#   bash tools/setup.sh windows  MinGW-w64 cross build in build-windows/ against
#                              a static Qt built once from Debian's qt6-base
#                              source (cached in /var/cache/zeph; builds it, or
#                              waits for a build already running), then
#                              dist/zeph-<version>-win64.zip and
#                              dist/zeph-<version>-setup.exe
#
# Packages: every name in tools/deps/run-*.txt (all commands),
# tools/deps/test-*.txt (test only), tools/deps/package-*.txt (package
# only) and tools/deps/windows-*.txt (windows, and test when it runs the
# Windows stage), one a line, '#' starts a comment.
#
# Environment:
#   ZEPH_NETNS=1          run: start zeph inside a private network namespace with
#                         only loopback up, so that nothing it sends (messages,
#                         the subnet scan) leaves the machine. For development
#                         and test machines; by default zeph starts normally.
#   ZEPH_SKIP_PACKAGES=1  skip apt-get (everything is installed already)
#   ZEPH_JOBS=N           parallel build jobs (default 2)
#   ZEPH_CTEST_JOBS=N     parallel tests (default 1: some tests share ports)
#   ZEPH_PREFIX=DIR       run: install prefix (default /usr/local)
#   ZEPH_QUICK_BUILD=DIR  quick: build folder (default build-dev)
#   ZEPH_PACKAGE_BUILD=DIR, ZEPH_DIST=DIR
#                         package: build folder and output folder
#                         (default build-package and dist, in the repository)
#   ZEPH_SKIP_WINDOWS=1   test: leave out the Windows build and its tests
#   ZEPH_QT_CACHE=DIR     windows: where the static Qt is kept (/var/cache/zeph)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${ZEPH_JOBS:-2}"
BUILD_TOOLS=(cmake ninja-build g++ pkg-config)

say() { printf '\n==> %s\n' "$*"; }
die() {
    printf 'setup.sh: %s\n' "$*" >&2
    exit 1
}

usage() { # the comment at the top of this file
    sed -n '2,/^[^#]/p' "${BASH_SOURCE[0]}" | sed -e '$d' -e 's/^# \{0,1\}//'
    exit 2
}

# The package names of the given lists: comments, blanks and duplicates dropped.
packages_from() {
    local f
    for f in "$@"; do
        [[ -f $f ]] && sed -e 's/#.*//' "$f"
    done | tr -s ' \t\r' '\n' | sed '/^$/d' | sort -u
}

install_packages() {
    local kinds=("$@") lists=() k
    shopt -s nullglob
    for k in "${kinds[@]}"; do
        lists+=(tools/deps/"$k"-*.txt)
    done
    shopt -u nullglob
    local pkgs
    mapfile -t pkgs < <(packages_from "${lists[@]}")
    pkgs+=("${BUILD_TOOLS[@]}")
    if [[ ${ZEPH_SKIP_PACKAGES:-0} == 1 ]]; then
        say "Skipping apt-get (ZEPH_SKIP_PACKAGES=1): ${pkgs[*]}"
        return
    fi
    [[ $EUID -eq 0 ]] || die "run as root (apt-get installs packages), or set ZEPH_SKIP_PACKAGES=1"
    say "Installing packages from ${lists[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y "${pkgs[@]}"
}

# ---------------------------------------------------------------- run

# Who to start zeph as: the user behind sudo or pkexec, else whoever runs this.
desktop_user() {
    local u="${SUDO_USER:-}"
    if [[ -z $u && -n ${PKEXEC_UID:-} ]]; then
        u="$(id -nu "$PKEXEC_UID" 2>/dev/null || true)"
    fi
    [[ $u == root ]] && u=""
    printf '%s' "$u"
}

start_zeph() {
    local prefix="$1" user
    local zeph="$prefix/bin/zeph"
    [[ -x $zeph ]] || die "$zeph was not installed"
    user="$(desktop_user)"

    # The desktop session's variables; sudo drops some, so fill in the usual
    # places of the user's own session where they are missing.
    local home runtime uid
    if [[ -n $user ]]; then
        uid="$(id -u "$user")"
        home="$(getent passwd "$user" | cut -d: -f6)"
    else
        uid="$(id -u)"
        home="$HOME"
    fi
    runtime="${XDG_RUNTIME_DIR:-}"
    if [[ -z $runtime || $runtime != "/run/user/$uid" ]] && [[ -d /run/user/$uid ]]; then
        runtime="/run/user/$uid"
    fi
    local display="${DISPLAY:-}" wayland="${WAYLAND_DISPLAY:-}"
    local xauth="${XAUTHORITY:-}" bus="${DBUS_SESSION_BUS_ADDRESS:-}"
    if [[ -z $display && -z $wayland ]]; then
        if [[ -n $runtime && -S $runtime/wayland-0 ]]; then
            wayland="wayland-0"
        elif [[ -S /tmp/.X11-unix/X0 ]]; then
            display=:0
        fi
    fi
    [[ -z $xauth && -f $home/.Xauthority ]] && xauth="$home/.Xauthority"
    [[ -z $bus && -n $runtime && -S $runtime/bus ]] && bus="unix:path=$runtime/bus"
    if [[ -z $display && -z $wayland ]]; then
        die "zeph is installed as $zeph, but no desktop display was found to start it on
(set DISPLAY or WAYLAND_DISPLAY, or start zeph from the desktop's menu)"
    fi

    local env_vars=()
    [[ -n $display ]] && env_vars+=("DISPLAY=$display")
    [[ -n $wayland ]] && env_vars+=("WAYLAND_DISPLAY=$wayland")
    [[ -n $xauth ]] && env_vars+=("XAUTHORITY=$xauth")
    [[ -n $runtime ]] && env_vars+=("XDG_RUNTIME_DIR=$runtime")
    [[ -n $bus ]] && env_vars+=("DBUS_SESSION_BUS_ADDRESS=$bus")
    local cmd=(env "${env_vars[@]}" "$zeph")
    if [[ -n $user && $EUID -eq 0 ]]; then
        cmd=(runuser -u "$user" -- "${cmd[@]}")
    fi

    if [[ ${ZEPH_NETNS:-0} == 1 ]]; then
        say "Starting $zeph as ${user:-$(id -un)} in a private network namespace (loopback only)"
        exec unshare --net -- sh -c 'ip link set lo up && exec "$@"' sh "${cmd[@]}"
    fi
    say "Starting $zeph as ${user:-$(id -un)}"
    exec "${cmd[@]}"
}

cmd_run() {
    local prefix="${ZEPH_PREFIX:-/usr/local}"
    local extra=()
    [[ ${ZEPH_NETNS:-0} == 1 ]] && extra+=(iproute2)
    BUILD_TOOLS+=("${extra[@]}")
    install_packages run
    say "Configuring a Release build in build/"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DZEPH_BUILD_TESTS=OFF -DZEPH_BUILD_BENCH=OFF
    say "Building"
    cmake --build build -j"$JOBS"
    say "Installing into $prefix"
    cmake --install build
    start_zeph "$prefix"
}

# ---------------------------------------------------------------- test

declare -A BUILD_RESULT CTEST_RESULT CTEST_LINE PASSED FAILED
CTEST_ARGS=() # further ctest options for every suite (quick: the labels)

# suite NAME DIR CMAKE-ARGS...: configure, build (keep going past errors, so
# every test that can be built still runs), then ctest.
suite() {
    local name="$1" dir="$2"
    shift 2
    local log="$ROOT/$dir/ctest.log"
    say "[$name] configure $dir $*"
    BUILD_RESULT[$name]=ok
    if ! cmake -S . -B "$dir" -G Ninja "$@"; then
        BUILD_RESULT[$name]="configure FAILED"
        CTEST_RESULT[$name]="not run"
        CTEST_LINE[$name]=""
        return
    fi
    say "[$name] build -j$JOBS"
    if ! cmake --build "$dir" -j"$JOBS" -- -k 0; then
        BUILD_RESULT[$name]="build FAILED"
    fi
    say "[$name] ctest ${CTEST_ARGS[*]}"
    local rc=0
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"${ZEPH_CTEST_JOBS:-1}" \
        "${CTEST_ARGS[@]}" 2>&1 | tee "$log" || rc=$?
    if [[ $rc -eq 0 ]]; then
        CTEST_RESULT[$name]=ok
    else
        CTEST_RESULT[$name]=FAILED
    fi
    # "NN% tests passed, F tests failed out of T"
    local line
    line="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1 || true)"
    CTEST_LINE[$name]="$line"
    if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        FAILED[$name]="${BASH_REMATCH[1]}"
        PASSED[$name]=$((BASH_REMATCH[2] - BASH_REMATCH[1]))
    fi
}

# The Windows build and its tests under Wine, as one more row of the summary.
# The static Qt comes from the cache; on a machine without one it is built
# first (about half an hour on 2 cores, once), or waited for when another run
# is building it.
windows_suite() {
    local name=windows qt
    install_packages windows
    say "[$name] static Qt for MinGW (tools/windows/build-qt.sh)"
    BUILD_RESULT[$name]=ok
    if ! qt="$(bash tools/windows/build-qt.sh | tail -n1)" || [[ ! -d $qt ]]; then
        BUILD_RESULT[$name]="Qt build FAILED"
        CTEST_RESULT[$name]="not run"
        return
    fi
    say "[$name] cross build and packages (tools/windows/build.sh) against $qt"
    if ! ZEPH_QT_PREFIX="$qt" bash tools/windows/build.sh build-windows; then
        BUILD_RESULT[$name]="build FAILED"
        CTEST_RESULT[$name]="not run"
        return
    fi
    say "[$name] tests under Wine (tools/windows/test.sh)"
    if bash tools/windows/test.sh build-windows; then
        CTEST_RESULT[$name]=ok
    else
        CTEST_RESULT[$name]=FAILED
    fi
    local line
    line="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' \
        build-windows/ctest.log 2>/dev/null | tail -n1 || true)"
    CTEST_LINE[$name]="$line + clang-tidy + e2e_wine"
    if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        FAILED[$name]="${BASH_REMATCH[1]}"
        PASSED[$name]=$((BASH_REMATCH[2] - BASH_REMATCH[1]))
    fi
}

cmd_test() {
    local suites=(build-ci build-asan)
    install_packages run test
    if command -v ccache >/dev/null; then
        ccache --max-size=2G >/dev/null 2>&1 || true
    fi

    suite build-ci build-ci -DZEPH_WERROR=ON

    # Leaks are checked too; the sanitizers stop at their first report, so any
    # finding fails its test.
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    suite build-asan build-asan -DZEPH_SANITIZE=ON -DZEPH_WERROR=ON

    if [[ ${ZEPH_SKIP_WINDOWS:-0} != 1 ]]; then
        windows_suite
        suites+=(windows)
    fi

    summary "${suites[@]}"
}

# summary SUITE...: one line per suite, the totals, and the exit status.
summary() {
    local total_pass=0 total_fail=0 ok=1 s
    printf '\n==== Zeph test summary ====\n'
    for s in "$@"; do
        printf '%-11s %-18s ctest %-8s %s\n' "$s" "${BUILD_RESULT[$s]}" "${CTEST_RESULT[$s]}" \
            "${CTEST_LINE[$s]:-}"
        total_pass=$((total_pass + ${PASSED[$s]:-0}))
        total_fail=$((total_fail + ${FAILED[$s]:-0}))
        [[ ${BUILD_RESULT[$s]} == ok && ${CTEST_RESULT[$s]} == ok ]] || ok=0
    done
    printf 'summary: %d passed, %d failed\n' "$total_pass" "$total_fail"
    if [[ $ok == 1 ]]; then
        printf 'RESULT: all builds and tests passed\n'
        return 0
    fi
    printf 'RESULT: FAILED\n'
    return 1
}

# ---------------------------------------------------------------- quick

# The fast edit loop: one build without sanitizers, then the in-process tests
# (label unit) and the gates but clang-tidy. About a minute on a warm build.
cmd_quick() {
    local dir="${ZEPH_QUICK_BUILD:-build-dev}"
    CTEST_ARGS=(-L 'unit|gate' -LE tidy)
    suite quick "$dir" -DZEPH_WERROR=ON -DZEPH_SANITIZE=OFF
    summary quick
}

cmd_format() {
    sh tests/tools/check-format.sh "$ROOT" --fix
}

# ---------------------------------------------------------------- package

cmd_package() {
    install_packages run package
    local dir="${ZEPH_PACKAGE_BUILD:-$ROOT/build-package}" dist="${ZEPH_DIST:-$ROOT/dist}"
    # Debian's hardening flags, all of them (format checks, fortify, stack
    # protector, PIE, relro with immediate binding), on top of the project's own.
    local flags=()
    if command -v dpkg-buildflags >/dev/null; then
        export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
        flags=(-DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
            -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)")
    fi
    say "Configuring a Release build with prefix /usr in $dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DZEPH_BUILD_TESTS=OFF -DZEPH_BUILD_BENCH=OFF "${flags[@]}"
    say "Building"
    cmake --build "$dir" -j"$JOBS"
    say "Packing"
    mkdir -p "$dist"
    (cd "$dir" && cpack -G DEB -B "$dist")
    rm -rf "$dist/_CPack_Packages"
    local deb
    deb=$(ls -t "$dist"/zeph_*.deb | head -n1)
    say "Package: $deb"
    printf '%s\n' "$deb"
}

# ---------------------------------------------------------------- windows

cmd_windows() {
    install_packages run windows
    bash tools/windows/build.sh build-windows
}

case "${1:-}" in
run) cmd_run ;;
test) cmd_test ;;
quick) cmd_quick ;;
format) cmd_format ;;
package) cmd_package ;;
windows) cmd_windows ;;
*) usage ;;
esac
