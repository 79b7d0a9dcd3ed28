#!/usr/bin/env bash
# The tray icon on a StatusNotifierItem host: a stand-in watcher on a private session bus, Qt on
# Xvfb, gdbus as the host. The item must export the icon's menu and tip; two activations within the
# double-click time must raise the double-click event alone; a secondary activation is the middle button.
# Usage: tray_sni_e2e.sh PATH_TO_tray_e2e_app PATH_TO_sni_watcher. Exit 77 (skipped) when a tool is missing.
set -u
app=$1
watcher=$2

for tool in Xvfb dbus-run-session gdbus; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/deps.sh installs it)"; exit 77; }
done

if [ -z "${TAPISTO_SNI_BUS:-}" ]; then
    # Again inside a session bus of our own.
    exec env TAPISTO_SNI_BUS=1 dbus-run-session -- "$0" "$@"
fi

. "$(dirname "$0")/xsession.sh"

start_xvfb

"$watcher" >"$work/watcher.out" 2>&1 &
pids+=($!)
wait_for grep -q '^watcher ready' "$work/watcher.out" || { echo "SKIP: no watcher: $(cat "$work/watcher.out")"; exit 77; }

start_tray_test_app --double-click-ms 1000
wait_for grep -q '^item ' "$work/watcher.out" || fail "no item registered with the watcher"
service=$(awk '/^item /{print $2; exit}' "$work/watcher.out")

item() { gdbus call --session --dest "$service" --object-path /StatusNotifierItem "$@"; }
properties=$(item --method org.freedesktop.DBus.Properties.GetAll org.kde.StatusNotifierItem) ||
    fail "the item's properties cannot be read"
grep -q "'Menu': <objectpath '/MenuBar'>" <<<"$properties" || fail "no menu exported: $properties"
grep -q "壁紙変更中" <<<"$properties" || fail "the tip is missing: $properties"

item --method org.kde.StatusNotifierItem.Activate 10 10 >/dev/null
item --method org.kde.StatusNotifierItem.Activate 10 10 >/dev/null
wait_for grep -q '^dblclick' "$work/app.out" || fail "two activations raised no double-click event"
sleep 1.5
grep -q '^click' "$work/app.out" && fail "a double click also raised a single click"

item --method org.kde.StatusNotifierItem.SecondaryActivate 10 10 >/dev/null
wait_for grep -q '^down middle' "$work/app.out" || fail "a secondary activation is no middle press"

echo "PASS"
exit 0
