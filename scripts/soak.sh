#!/usr/bin/env bash
# The soak run: builds bench_soak and performs CHANGES wallpaper changes through the timer tick's
# path (default 10000), then a shorter run under valgrind's leak checker (LEAK_CHANGES, default 200).
#   scripts/soak.sh [CHANGES] [LEAK_CHANGES]
# Not part of the test suite: it takes minutes. Set TMPDIR=/dev/shm to leave the disk out.
set -euo pipefail
cd "$(dirname "$0")/.."
changes=${1:-10000}
leakChanges=${2:-200}
build=${BUILD_DIR:-build}
scripts/deps.sh
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" --target bench_soak
echo "== soak: $changes changes"
"$build/bench/bench_soak" "$changes"
if command -v valgrind >/dev/null; then
    echo "== leak check: $leakChanges changes under valgrind"
    # Memory that system libraries keep for the life of the process (fontconfig's caches, Qt's
    # plug-in loader) is "still reachable", not lost; only definite and indirect losses count.
    valgrind --quiet --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
        --error-exitcode=3 "$build/bench/bench_soak" "$leakChanges"
else
    echo "valgrind is not installed: leak check skipped"
fi
