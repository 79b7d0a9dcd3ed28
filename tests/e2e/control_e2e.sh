#!/usr/bin/env bash
# Outside control of the running program over its own private session bus, on Xvfb with trayer as
# the notification area and the plain X11 desktop backend:
#   a tray start with a one-hour interval; tapistoctl next shows entry 0 and stores UseIndex 1; a
#   second next shows entry 1, and the program's own next change (its tray menu's 次へ) goes on with
#   entry 2; pause stops the schedule and status says so; resume is refused while running; a second
#   start of tapisto brings up the window and ends; show brings it up too; after the exit status
#   says the program is not running and next works on the files as before.
# Usage: control_e2e.sh TAPISTO TAPISTOCTL E2E_HELPER. Exit 77 (skipped) when a tool is missing.
set -u

# Everything runs on a bus of its own, never on the session bus of whoever runs the tests.
. "$(dirname "$0")/private_bus.sh" "$@"

program=$1 ctl=$2 helper=$3

. "$(dirname "$0")/xsession.sh"
require_tools Xvfb trayer xdotool

start_xvfb
start_trayer

# A spot of the root window that no window covers.
root_colour() { "$helper" pixel 8 760; }
colours=(C03020 20A040 3050D0)

make_program_home
{
    printf '[Main]\r\nIdx=2\r\n'
    # "並べて" (tile) in CP932.
    for i in 0 1 2; do
        make_bmp "$work/picture$i.bmp" "${colours[$i]}"
        printf 'file%d=%s,\x95\xc0\x82\xd7\x82\xc4,,\r\n' "$i" "$work/picture$i.bmp"
    done
} >"$home/g.dat"
printf '[Main]\r\nOp1Checked=1\r\nUseSection=g.dat\r\nUseIndex=0\r\nIntervalHH=1\r\nIntervalMM=0\r\nIntervalSS=0\r\n' \
    >"$home/Tapisto.ini"

no_main_window() { ! main_window; }

say "tray start with a one-hour interval"
start_tray_program || fail "the program does not answer on the bus"
status_is "group: g.dat" || fail "status names another group"
status_is "desktop: x11" || fail "status names another desktop backend"
no_main_window || fail "a tray start showed the main window"

say "tapistoctl next shows entry 0 and stores UseIndex 1"
"$ctl" next || fail "tapistoctl next failed"
wait_root "${colours[0]}" 2 || fail "entry 0 did not come within two seconds"
[ "$(use_index)" = 1 ] || fail "UseIndex is $(use_index), expected 1"

say "a second tapistoctl next shows entry 1"
"$ctl" next || fail "the second tapistoctl next failed"
wait_root "${colours[1]}" 2 || fail "entry 1 did not come within two seconds"
[ "$(use_index)" = 2 ] || fail "UseIndex is $(use_index), expected 2"
status_is "next_entry: 2" || fail "the program's own position is not entry 2"
status_is "picture: $work/picture1.bmp" || fail "status does not name the picture shown"
status_is "last_error: " || fail "status reports an error"
seconds=$("$ctl" status | sed -n 's/^seconds_to_next: //p')
[ "$seconds" -gt 3500 ] && [ "$seconds" -le 3600 ] || fail "the next timed change is $seconds s away, not a fresh hour"
"$ctl" status --json | grep -q '"state":"running"' || fail "status --json is not the JSON object"
"$ctl" status >"$work/status.txt"

say "the program's own 次へ continues with entry 2"
open_tray_menu
# Up from no selection starts at the last item, 次へ.
xdotool key --delay 120 Up Return
wait_root "${colours[2]}" 3 || fail "the tray menu's 次へ did not show entry 2"
[ "$(use_index)" = 0 ] || fail "UseIndex is $(use_index) after entry 2, expected 0"

say "pause stops the changes, status says so"
"$ctl" pause || fail "tapistoctl pause failed"
status_is "state: paused" || fail "status does not say paused"
status_is "seconds_to_next: -1" || fail "a change is still due while paused"
"$ctl" pause 2>"$work/pause2.err" && fail "a second pause was accepted"
grep -q "一時停止中です" "$work/pause2.err" || fail "a second pause gave no reason: $(cat "$work/pause2.err")"

say "with --home, next is about that folder's files and leaves the program alone"
mkdir -p "$work/other"
"$ctl" --home "$work/other" next 2>"$work/other.err" && fail "next on an empty home succeeded"
status_is "next_entry: 0" || fail "next with --home reached the running program"

say "resume runs again; a resume while running is refused and changes nothing"
"$ctl" resume || fail "tapistoctl resume failed"
status_is "state: running" || fail "status does not say running after resume"
"$ctl" resume 2>"$work/resume.err"
rc=$?
[ "$rc" -eq 1 ] || fail "resume while running exited with $rc"
grep -q "一時停止中ではありません" "$work/resume.err" || fail "resume while running gave no reason: $(cat "$work/resume.err")"
status_is "state: running" || fail "a refused resume changed the state"

say "a second start brings up the window and ends"
"$program" >"$work/second.out" 2>&1 &
second=$!
wait_for_n 50 sh -c "! kill -0 $second" || { kill "$second"; fail "the second start did not end"; }
wait "$second"; rc=$?
[ "$rc" -eq 0 ] || fail "the second start ended with $rc"
wait_for main_window || fail "the second start did not bring up the main window"
status_is "state: stopped" || fail "with the window up the schedule is not stopped"
"$ctl" next 2>"$work/next-stopped.err" && fail "next was accepted while the schedule is stopped"
grep -q "開始されていません" "$work/next-stopped.err" || fail "next while stopped gave no reason"

say "実　行 goes back to the tray; tapistoctl show brings the window up"
main=$(main_window)
eval "$(xdotool getwindowgeometry --shell "$main")"
main_x=$X client_y=$((Y + HEIGHT - 140))
xdotool mousemove $((main_x + 143)) $((client_y + 110)) click 1
wait_for no_main_window || fail "実　行 did not hide the main window"
wait_for status_is "state: running" || fail "実　行 did not start the schedule"
"$ctl" show || fail "tapistoctl show failed"
wait_for main_window || fail "tapistoctl show did not bring up the main window"

say "終　了; then status says the program is not running"
main=$(main_window)
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 197)) $((Y + HEIGHT - 140 + 110)) click 1
wait_for_n 50 sh -c "! kill -0 $app_pid" || fail "the program did not end"
wait "$app_pid"; rc=$?
[ "$rc" -eq 0 ] || fail "the program ended with $rc"
"$ctl" status >"$work/after.out" 2>"$work/after.err"
rc=$?
[ "$rc" -eq 1 ] || fail "status after the exit ended with $rc"
grep -q "Tapisto は起動していません" "$work/after.err" || fail "status after the exit said: $(cat "$work/after.err")"
"$ctl" pause 2>/dev/null && fail "pause after the exit succeeded"
# Without the program next works on the files: UseIndex still says 0, stored after entry 2.
"$ctl" next || fail "tapistoctl next on the files failed"
wait_root "${colours[0]}" 2 || fail "next on the files did not show entry 0"

echo "--- tapistoctl status, as it read while running:"
cat "$work/status.txt"
say "PASS"
exit 0
