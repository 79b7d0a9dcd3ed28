#!/usr/bin/env bash
# Installs what is needed, builds everything with warnings as errors and runs every test.
# BUILD_ONLY=1 stops after the build (CI builds while it installs the large desktops).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${BUILD_DIR:-build}
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPISTO_WERROR=ON "${launcher[@]}" "$@"
cmake --build "$build"
[ -z "${BUILD_ONLY:-}" ] || exit 0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
