#!/usr/bin/env bash
# The tray icon on a real XEmbed notification area: Xvfb, trayer as the tray host, xdotool as the
# user. A right-button press must open the icon's menu (and raise no mouse-down), a double click
# must raise the double-click event and no single click.
# Usage: tray_e2e.sh PATH_TO_tray_e2e_app. Exit 77 (skipped) when a tool is missing.
set -u
app=$1

for tool in Xvfb trayer xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/deps.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- program output:"; cat "$work/app.out"
    echo "--- program errors:"; cat "$work/app.err"
    exit 1
}

# Polls a command for up to about five seconds.
wait_for() {
    for _ in $(seq 50); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}

# -displayfd lets Xvfb pick a free display, so parallel runs do not collide; -noreset keeps it up
# between clients.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.err" &
pids+=($!)
wait_for test -s "$work/display" || { echo "SKIP: Xvfb did not start: $(cat "$work/xvfb.err")"; exit 77; }
export DISPLAY=":$(cat "$work/display")"

trayer --edge top --align right --widthtype request --height 32 >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for xdotool search --onlyvisible --class trayer || { echo "SKIP: trayer did not start"; exit 77; }

: >"$work/app.out"
QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="tapisto.tray.debug=true" "$app" >"$work/app.out" 2>"$work/app.err" &
pids+=($!)
wait_for grep -q '^registered' "$work/app.out" || fail "the icon was not registered"

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
