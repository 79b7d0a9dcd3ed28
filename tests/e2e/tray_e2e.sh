#!/usr/bin/env bash
# The tray icon on a real XEmbed notification area: Xvfb, trayer as the tray host, xdotool as the
# user. A right-button press must open the icon's menu (and raise no mouse-down), a double click
# must raise the double-click event and no single click.
# Usage: tray_e2e.sh PATH_TO_tray_e2e_app. Exit 77 (skipped) when a tool is missing.
set -u
app=$1

. "$(dirname "$0")/xsession.sh"
require_tools Xvfb trayer xdotool

start_xvfb
start_trayer

start_tray_test_app

icon_window() { xdotool search --onlyvisible --classname "$(basename "$app")" | head -n 1; }
wait_for test -n "$(icon_window)" || fail "no icon window was embedded"
window=$(icon_window)
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
sleep 0.2

xdotool click 3
wait_for grep -q '^menu-shown' "$work/app.out" || fail "a right click did not open the menu"
wait_for test "$(xdotool search --onlyvisible --classname "$(basename "$app")" | wc -l)" -ge 2 ||
    fail "the menu window is not visible"
grep -q '^down right' "$work/app.out" && fail "the menu press also raised a mouse-down"
xdotool key Escape
sleep 0.3

xdotool click --repeat 2 --delay 80 1
wait_for grep -q '^dblclick' "$work/app.out" || fail "a double click raised no double-click event"
# The single click would come one double-click time (plus 50 ms) after the release.
sleep 1
grep -q '^click' "$work/app.out" && fail "a double click also raised a single click"
[ "$(grep -c '^dblclick' "$work/app.out")" -eq 1 ] || fail "the double-click event came more than once"

echo "PASS"
exit 0
