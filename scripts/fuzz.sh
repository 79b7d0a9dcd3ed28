#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan, and runs each one for
# a bounded time on its seed corpus. A crashing input is copied to tests/data/fuzz/<target>/ so the
# ordinary test suite replays it from then on.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=${FUZZ_BUILD_DIR:-build-fuzz}
scripts/deps.sh
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Everything is built with coverage instrumentation (fuzzer-no-link), so the fuzzers are guided by
# the code under test and not only by the harnesses; the decoder plug-ins included.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    -DTAPISTO_SANITIZE=ON -DTAPISTO_FUZZ=ON -DTAPISTO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
targets=$(cd "$build" && ninja -t targets all | sed -n 's/^\(fuzz_[a-z0-9_]*\): .*/\1/p' | sort -u)
# shellcheck disable=SC2086
cmake --build "$build" --target $targets
status=0
for t in $targets; do
    name=${t#fuzz_}
    work="$build/corpus/$name"
    mkdir -p "$work" "$build/crashes/$name"
    if [ -d "tests/data/fuzz/$name" ]; then
        cp -r "tests/data/fuzz/$name/." "$work/"
    fi
    echo "== fuzzing $name for ${seconds}s"
    if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 QT_QPA_PLATFORM=offscreen \
        "$build/fuzz/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2560 -malloc_limit_mb=1100 -max_len=1048576 \
        -artifact_prefix="$build/crashes/$name/" -print_final_stats=1 "$work" 2>"$build/fuzz-$name.log"; then
        status=1
        echo "!! $name found a failure; inputs in $build/crashes/$name:"
        ls "$build/crashes/$name"
        mkdir -p "tests/data/fuzz/$name"
        cp "$build/crashes/$name/"* "tests/data/fuzz/$name/" 2>/dev/null || true
    fi
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$build/fuzz-$name.log" | sed "s/^/   $name /" || true
done
exit $status
