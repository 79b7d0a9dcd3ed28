#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPISTO_BUILD_TESTS=OFF -DTAPISTO_BUILD_BENCH=OFF
cmake --build "$build"
exec "$build/bin/tapisto" "$@"
