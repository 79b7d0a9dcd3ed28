#!/usr/bin/env bash
# The written rules, checked: every C and C++ file as clang-format (.clang-format) would write it,
# and clang-tidy (.clang-tidy, findings are errors) on the C++ files changed since TIDY_BASE
# (default: the parent of the last commit). TIDY_ALL=1 lints every C++ file instead, which takes
# about ten minutes on two cores. Needs a configured build folder (BUILD_DIR, default build) for
# its compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "lint: run clang-format -i on the files above" >&2
    exit 1
fi

if [ "${TIDY_ALL:-0}" = 1 ]; then
    mapfile -t tidy < <(git ls-files '*.cpp')
else
    base=${TIDY_BASE:-HEAD~1}
    mapfile -t tidy < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp')
fi
if [ ${#tidy[@]} -eq 0 ]; then
    echo "lint: no C++ file changed since ${TIDY_BASE:-HEAD~1}"
    exit 0
fi
# The compile commands are GCC's; clang does not know every warning option in them.
clang-tidy -p "$build" --quiet --warnings-as-errors='*' --extra-arg=-Wno-unknown-warning-option "${tidy[@]}"
