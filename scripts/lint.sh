#!/usr/bin/env bash
# The written rules, checked, in two stages (both without an argument):
#
#   scripts/lint.sh sources   seconds, nothing built: every C and C++ file as clang-format
#                             (.clang-format) would write it, and every #include under src/ and bench/
#                             within the include table of docs/ARCHITECTURE.md (check-includes.sh).
#   scripts/lint.sh tidy [FILE...]
#                             clang-tidy (.clang-tidy, findings are errors, the project's own headers
#                             included) on the given C++ files, or else on those changed since
#                             TIDY_BASE (default: the parent of the last commit) together with, for
#                             every header changed, one C++ file that includes it. TIDY_ALL=1 checks
#                             every C++ file (tens of minutes on two cores). Needs a build (BUILD_DIR,
#                             default build): its compile_commands.json and the sources it generates.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
stage=${1:-all}
[ $# -gt 0 ] && shift

check_sources() {
    mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
    if ! clang-format --dry-run --Werror "${sources[@]}"; then
        echo "lint: run clang-format -i on the files above" >&2
        return 1
    fi
    scripts/check-includes.sh
}

# One C++ file that includes `header`, named from src/ or, for a test's or a plug-in's header, bare.
includer_of() {
    local header=$1 name
    case $header in
    src/*) name=${header#src/} ;;
    *) name=${header##*/} ;;
    esac
    git grep -l -F "#include \"$name\"" -- '*.cpp' | head -n 1 || true
}

check_tidy() {
    local tidy=("$@")
    if [ ${#tidy[@]} -eq 0 ]; then
        if [ "${TIDY_ALL:-0}" = 1 ]; then
            mapfile -t tidy < <(git ls-files '*.cpp')
        else
            local base=${TIDY_BASE:-HEAD~1} header includer
            mapfile -t tidy < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp')
            while IFS= read -r header; do
                includer=$(includer_of "$header")
                if [ -n "$includer" ]; then
                    tidy+=("$includer")
                else
                    echo "lint: no C++ file includes $header, so clang-tidy does not see it"
                fi
            done < <(git diff --name-only --diff-filter=d "$base" -- '*.h')
            if [ ${#tidy[@]} -eq 0 ]; then
                echo "lint: no C++ file or header changed since $base"
                return 0
            fi
            mapfile -t tidy < <(printf '%s\n' "${tidy[@]}" | sort -u)
        fi
    fi
    if [ ! -f "$build/compile_commands.json" ]; then
        echo "lint: clang-tidy needs a configured and built $build (BUILD_DIR)" >&2
        return 1
    fi
    # The compile commands are GCC's; clang does not know every warning option in them.
    clang-tidy -p "$build" --quiet --warnings-as-errors='*' --extra-arg=-Wno-unknown-warning-option "${tidy[@]}"
}

case $stage in
sources) check_sources ;;
tidy) check_tidy "$@" ;;
all) check_sources && check_tidy ;;
*)
    echo "usage: scripts/lint.sh [sources | tidy [FILE...]]" >&2
    exit 2
    ;;
esac
