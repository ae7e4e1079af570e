#!/bin/sh
# Builds a fuzz target with clang (a ZEPH_BUILD_FUZZ build of the repository
# of its own, only that target), replays its committed seed corpus and fuzzes
# for a few seconds. Exit 77 (skipped) where clang is missing.
# Usage: run-fuzz.sh FUZZ_SOURCE_DIR BUILD_DIR REPOSITORY_ROOT [TARGET]
# (FUZZ_SOURCE_DIR holds the corpus; TARGET: fuzz_message by default)
set -eu
src=$1
build=$2
root=$3
target=${4:-fuzz_message}
seconds=${ZEPH_FUZZ_SECONDS:-5}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ not found: fuzz target not built (apt packages clang, libclang-rt-14-dev)"
    exit 77
fi

# A build folder left by an older layout of the fuzz builds starts afresh.
if [ -f "$build/CMakeCache.txt" ] &&
    ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$build/CMakeCache.txt"; then
    rm -rf "$build"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER_LAUNCHER= -DCMAKE_C_COMPILER_LAUNCHER= -DZEPH_BUILD_FUZZ=ON \
    -DZEPH_BUILD_TESTS=OFF -DZEPH_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "$target"
exe=$(find "$build/fuzz" -name "$target" -type f -perm -u+x | head -n 1)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# Every seed on its own, then bounded fuzzing that writes new inputs only to a
# scratch folder (the committed corpus stays as it is). libFuzzer's own failure
# code is 77, which ctest reads as "skipped": any failure becomes exit 1.
"$exe" -error_exitcode=1 -timeout_exitcode=1 "$src"/corpus/* || exit 1
"$exe" -error_exitcode=1 -timeout_exitcode=1 -max_total_time="$seconds" \
    -max_len=8192 -timeout=10 -artifact_prefix="$build/" -print_final_stats=1 \
    "$work" "$src/corpus" || exit 1
echo "$target: seed corpus and ${seconds}s of fuzzing passed"
