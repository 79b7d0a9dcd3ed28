#!/usr/bin/env bash
# The schedule going on through what a user meets, with the real program on Xvfb, trayer as the
# notification area and its own private session bus:
#   a group [red, missing, blue]: next shows red, then passes over the missing picture to blue (exit 0,
#   the picture named on standard error, UseIndex 0), one notice box says so, status names it; the
#   next round passes over it again without another box. Paused, next and back change the picture and
#   stay paused (no timed change due). With every picture gone, 300 failing calls from the bus each
#   get their error, the program opens no second box and stays running with its next change due.
# Usage: schedule_e2e.sh TAPISTO TAPISTOCTL E2E_HELPER. Exit 77 (skipped) when a tool is missing.
set -u

# Everything runs on a bus of its own, never on the session bus of whoever runs the tests.
. "$(dirname "$0")/private_bus.sh" "$@"

program=$1 ctl=$2 helper=$3

. "$(dirname "$0")/xsession.sh"
require_tools Xvfb trayer xdotool dbus-send

start_xvfb
start_trayer

root_colour() { "$helper" pixel 8 760; }
red=C03020 blue=3050D0

make_program_home
make_bmp "$work/red.bmp" $red
make_bmp "$work/blue.bmp" $blue
# "並べて" (tile) in CP932.
printf '[Main]\r\nIdx=2\r\nfile0=%s,\x95\xc0\x82\xd7\x82\xc4,,\r\nfile1=%s,,,\r\nfile2=%s,\x95\xc0\x82\xd7\x82\xc4,,\r\n' \
    "$work/red.bmp" "$work/missing.bmp" "$work/blue.bmp" >"$home/g.dat"
printf '[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nUseIndex=0\r\nIntervalHH=1\r\nIntervalMM=0\r\nIntervalSS=0\r\n' \
    >"$home/Tapisto.ini"
say "tray start"
start_tray_program || fail "the program does not answer on the bus"

say "next shows red; the next one passes over the missing picture to blue"
"$ctl" next || fail "the first next failed"
wait_root $red 2 || fail "red did not come"
"$ctl" next 2>"$work/next.err" || fail "next failed on the missing picture: $(cat "$work/next.err")"
grep -q "表示できない画像を飛ばしました: .*missing.bmp" "$work/next.err" || fail "next did not name it: $(cat "$work/next.err")"
wait_root $blue 2 || fail "blue did not come after the missing picture"
[ "$(use_index)" = 0 ] || fail "UseIndex is $(use_index) after blue, expected 0"
"$ctl" status | grep -q "^last_error: 表示できない画像を飛ばしました。.*missing.bmp" || fail "status does not name it"
wait_for boxes_are 1 || fail "$(boxes) boxes, expected the one notice"

say "the next round passes over it again without another box"
"$ctl" next && "$ctl" next 2>/dev/null || fail "the second round failed"
wait_root $blue 2 || fail "blue did not come in the second round"
sleep 0.5
boxes_are 1 || fail "$(boxes) boxes after the second round"

say "paused, next and back change the picture and stay paused"
"$ctl" pause || fail "pause failed"
"$ctl" next || fail "next while paused failed"
wait_root $red 2 || fail "next while paused did not show red"
status_is "state: paused" || fail "next ended the pause"
status_is "seconds_to_next: -1" || fail "a timed change is due after next while paused"
"$ctl" back 2>/dev/null || fail "back while paused failed"
wait_root $blue 2 || fail "back while paused did not show blue"
status_is "seconds_to_next: -1" || fail "a timed change is due after back while paused"
"$ctl" resume || fail "resume failed"

say "every picture gone: 300 failing calls, one box, the schedule runs on"
rm "$work/red.bmp" "$work/blue.bmp"
failed=0
for _ in $(seq 300); do
    dbus-send --session --print-reply --reply-timeout=30000 --dest=org.tapisto.Tapisto /org/tapisto/Tapisto \
        org.tapisto.Tapisto1.Next >/dev/null 2>>"$work/send.err" || failed=$((failed + 1))
done
[ "$failed" -eq 300 ] || fail "$failed of 300 calls failed, expected all"
grep -q "どれも表示できません" "$work/send.err" || fail "the callers did not get the reason: $(head -1 "$work/send.err")"
sleep 1
boxes_are 1 || fail "$(boxes) boxes after 300 failing calls"
kill -0 "$app_pid" || fail "the program ended"
status_is "state: running" || fail "the schedule is not running"
seconds=$("$ctl" status | sed -n 's/^seconds_to_next: //p')
[ "$seconds" -gt 0 ] || fail "no timed change is due after the failed calls ($seconds)"
import -window root "$work/boxes.png" 2>/dev/null && [ -n "${TAPISTO_E2E_ARTIFACTS:-}" ] &&
    mkdir -p "$TAPISTO_E2E_ARTIFACTS" && cp "$work/boxes.png" "$TAPISTO_E2E_ARTIFACTS/schedule-boxes.png"

say "PASS"
exit 0
