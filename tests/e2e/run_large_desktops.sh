#!/usr/bin/env bash
# GNOME, KDE Plasma and Cinnamon through their own programs (desktops_e2e.sh, then monitors_e2e.sh),
# for CI's desktop stage: unlike under ctest, a desktop that is skipped is a failure here, since CI
# installs their packages first (scripts/deps-desktops.sh).
#   run_large_desktops.sh BUILD_DIR
set -uo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
rc=0
"$here/desktops_e2e.sh" "$build/bin/tapistoctl" gnome kde cinnamon 2>&1 | tee "$log" || rc=1
"$here/monitors_e2e.sh" "$build/bin/tapisto" "$build/bin/tapistoctl" gnome kde cinnamon 2>&1 | tee -a "$log" || rc=1
if grep -E '^  [a-z0-9]+: (skipped|FAILED)' "$log" >/dev/null; then
    echo "!! the large desktops: $(grep -E '^  [a-z0-9]+: (skipped|FAILED)' "$log" | tr -s ' ' | tr '\n' ';')"
    rc=1
fi
exit $rc
