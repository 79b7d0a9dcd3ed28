#!/usr/bin/env bash
# The program on a desktop without a notification area (Xvfb and no tray host): a start in the
# tray tells the user once, in a box captioned "警告", and the schedule runs all the same, writing
# the wallpaper bitmap at the first tick; the program stays alive and reachable through its window.
# Usage: notray_e2e.sh TAPISTO. Exit 77 (skipped) when a tool is missing.
set -u
program=$1

. "$(dirname "$0")/xsession.sh"
require_tools Xvfb xdotool

fail() {
    echo "FAIL: $*"
    echo "--- settings:"; cat "$home/Tapisto.ini" 2>/dev/null
    echo "--- program errors:"; cat "$work/app.err"
    exit 1
}

start_xvfb

home=$work/home
mkdir -p "$home" "$work/run" "$work/config"
chmod 700 "$work/run"
# A 1 x 1 24-bit bitmap.
printf 'BM\x3a\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\x18\0\0\0\0\0\x04\0\0\0\x13\x0b\0\0\x13\x0b\0\0\0\0\0\0\0\0\0\0\xff\0\0\0' \
    >"$work/blue.bmp"
# "並べて" in CP932.
printf '[Main]\r\nIdx=0\r\nfile0=%s,\x95\xc0\x82\xd7\x82\xc4,,\r\n' "$work/blue.bmp" >"$home/g.dat"
printf '[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nUseIndex=0\r\nIntervalSS=10\r\n' >"$home/Tapisto.ini"

DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus TAPISTO_HOME=$home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config TAPISTO_DESKTOP=file \
    XDG_CURRENT_DESKTOP=GNOME QT_QPA_PLATFORM=xcb "$program" >/dev/null 2>"$work/app.err" &
app=$!
pids+=($app)

wait_for xdotool search --onlyvisible --name '^警告$' || fail "no notice about the missing notification area"
xdotool key Return
wait_for_n 150 test -s "$home/Tapisto_WallPaper.bmp" || fail "the schedule did not change the wallpaper"
kill -0 "$app" 2>/dev/null || fail "the program has ended"
[ "$(xdotool search --name '^警告$' | wc -l)" -le 1 ] || fail "the notice came more than once"

echo "PASS"
exit 0
