#!/usr/bin/env bash
# A plug-in that crashes or hangs costs one picture, never the program. On Xvfb with trayer, a
# private session bus and the plain X11 backend, the tray program reads pictures through trap.spi (a
# test plug-in that crashes or loops on a marker in the picture, or in GetPluginInfo on a marker file):
#   a change to a picture that crashes the plug-in: tapistoctl next prints the Japanese error naming
#   the plug-in and the picture and exits 1; the program stays up and answers status;
#   a change to a picture that hangs it: status answers within 2 s while the change waits, saying a
#   change is being made; the change ends within the bound with the error; a next asked for meanwhile
#   waits for its turn and then shows a good picture; show and a second start are answered at once;
#   a plug-in that crashes when asked for its information: the program starts all the same and says
#   which plug-in it skipped;
#   終了 from the tray menu while a change hangs: the menu opens, the program ends within seconds, the
#   waiting next is told why, the helper is gone and the position stays.
# Usage: plugin_e2e.sh TAPISTO TAPISTOCTL E2E_HELPER TESTPLUGIN_DIR. Exit 77 (skipped) when a tool is
# missing.
set -u

# Everything runs on a bus of its own, never on the session bus of whoever runs the tests.
. "$(dirname "$0")/private_bus.sh" "$@"

program=$1 ctl=$2 helper=$3 testplugins=$4

. "$(dirname "$0")/xsession.sh"
require_tools Xvfb trayer xdotool

start_xvfb
start_trayer

# A spot of the root window that no window covers.
root_colour() { "$helper" pixel 8 760; }

make_program_home
spi=$work/spi
mkdir -p "$work/config/tapisto" "$spi"
# The test plug-in in a folder of its own that only its owner may write, named as the Susie folder.
chmod 755 "$work" "$spi"
install -m 755 "$testplugins/trap.spi" "$spi/trap.spi"
printf '[Software\\Sorameki\\Susie\\Plug-in]\r\nPath=%s\r\n' "$spi" >"$work/config/tapisto/registry.ini"
printf 'TRAPCRSH%024d' 0 >"$work/crash.trap"
printf 'TRAPLOOP%024d' 0 >"$work/loop.trap"
make_bmp "$work/good.bmp" 20A040
group() { printf '[Main]\r\nIdx=0\r\nfile0=%s,\x95\xc0\x82\xd7\x82\xc4,,\r\n' "$2" >"$home/$1"; }
group crash.dat "$work/crash.trap"
group loop.dat "$work/loop.trap"
group good.dat "$work/good.bmp"
settings() {
    printf '[Main]\r\nOp1Checked=1\r\nOpSusie=1\r\nUseSection=%s\r\nUseIndex=0\r\nIntervalHH=1\r\nIntervalMM=0\r\nIntervalSS=0\r\n' \
        "$1" >"$home/Tapisto.ini"
}
settings crash.dat

program_alive() { kill -0 "$app_pid" 2>/dev/null; }

say "tray start with plug-ins on"
start_tray_program || fail "the program does not answer on the bus"

say "a picture that crashes the plug-in: one error, the program stays"
"$ctl" next >"$work/crash.out" 2>"$work/crash.err"
rc=$?
[ "$rc" -eq 1 ] || fail "tapistoctl next ended with $rc on a crashing plug-in: $(cat "$work/crash.err")"
grep -q "プラグイン $spi/trap.spi が $work/crash.trap の読み込み中に異常終了しました" "$work/crash.err" ||
    fail "no error naming the plug-in and the picture: $(cat "$work/crash.err")"
program_alive || fail "the program died with the plug-in"
status_is "state: running" || fail "the program does not answer status after the crash"
"$ctl" status | grep -q "^last_error: .*異常終了しました" || fail "status does not report the crash"

say "a picture that hangs the plug-in: status answers at once meanwhile, the change ends in an error"
settings loop.dat
before=$(date +%s%N)
"$ctl" next >"$work/loop.out" 2>"$work/loop.err" &
next_pid=$!
sleep 1
sent=$(date +%s%N)
"$ctl" status >"$work/loop-status.out" 2>&1 || fail "status failed while the plug-in hung: $(cat "$work/loop-status.out")"
status_ms=$((($(date +%s%N) - sent) / 1000000))
grep -qx "state: running" "$work/loop-status.out" || fail "status while hanging: $(cat "$work/loop-status.out")"
grep -qx "changing: true" "$work/loop-status.out" || fail "status does not say a change is being made: $(cat "$work/loop-status.out")"
[ "$status_ms" -lt 2000 ] || fail "status took $status_ms ms to answer while the plug-in hung (at most 2000)"
# Asked for while the plug-in hangs, a next waits for its turn; it reads the group when it begins.
settings good.dat
"$ctl" next >"$work/queued.out" 2>"$work/queued.err" &
queued_pid=$!
wait "$next_pid"
rc=$?
next_ms=$((($(date +%s%N) - before) / 1000000))
[ "$rc" -eq 1 ] || fail "tapistoctl next ended with $rc on a hanging plug-in: $(cat "$work/loop.err")"
grep -q "プラグイン $spi/trap.spi が $work/loop.trap の読み込み中に応答しなくなりました" "$work/loop.err" ||
    fail "no error naming the plug-in and the picture: $(cat "$work/loop.err")"
[ "$next_ms" -lt 25000 ] || fail "the hang took $next_ms ms to end, past the bound"
program_alive || fail "the program died waiting for the plug-in"
say "status answered in $status_ms ms while the plug-in hung; the hung change ended after $next_ms ms"
wait "$queued_pid" || fail "the next asked for during the hang failed: $(cat "$work/queued.err")"
wait_root 20A040 3 || fail "the next asked for during the hang did not show its picture"

say "a good picture after both: the wallpaper changes"
settings good.dat
"$ctl" next 2>"$work/good.err" || fail "tapistoctl next on a good picture failed: $(cat "$work/good.err")"
wait_root 20A040 3 || fail "the good picture did not come"

say "while a change hangs, show and a second start are answered at once"
settings loop.dat
"$ctl" next >/dev/null 2>&1 &
hang_pid=$!
sleep 1
# (The window's box with the earlier errors is open: show raises it, as the user has to answer it first.)
sent=$(date +%s%N)
"$ctl" show >"$work/show.out" 2>&1 || fail "show failed while the plug-in hung: $(cat "$work/show.out")"
show_ms=$((($(date +%s%N) - sent) / 1000000))
[ "$show_ms" -lt 2000 ] || fail "show took $show_ms ms to answer while the plug-in hung (at most 2000)"
sent=$(date +%s%N)
"$program" >"$work/second.out" 2>&1 || fail "the second start failed: $(cat "$work/second.out")"
second_ms=$((($(date +%s%N) - sent) / 1000000))
# It asks the first one to show itself and waits 3 s at most for the answer.
[ "$second_ms" -lt 2000 ] || fail "the second start took $second_ms ms while the plug-in hung (its answer did not come)"
say "show answered in $show_ms ms, a second start ended after $second_ms ms"
wait "$hang_pid"
program_alive || fail "the program died"
settings good.dat

say "a plug-in that crashes when asked what it is: the program starts all the same"
"$ctl" pause >/dev/null 2>&1
kill "$app_pid"; wait "$app_pid" 2>/dev/null
touch "$spi/trap.spi.crash"
start_tray_program 2 || fail "the program did not start with a plug-in that crashes at search"
grep -q "プラグイン $spi/trap.spi が情報の問い合わせ中に異常終了しました" "$work/app2.err" ||
    fail "the skipped plug-in was not told: $(cat "$work/app2.err")"
"$ctl" next 2>"$work/good2.err" || fail "a change without the skipped plug-in failed: $(cat "$work/good2.err")"
program_alive || fail "the program died"
kill "$app_pid"; wait "$app_pid" 2>/dev/null

say "終了 from the tray menu while a change hangs: the menu opens, the program ends within its bound"
rm -f "$spi/trap.spi.crash"
settings loop.dat
start_tray_program 3 || fail "the program did not start again"
"$ctl" next >"$work/quit-next.out" 2>"$work/quit-next.err" &
quit_next_pid=$!
wait_for status_is "changing: true" || fail "the change on the hanging picture did not begin"
helper_pid=$(pgrep -P "$app_pid" -f tapisto-spihelper)
[ -n "$helper_pid" ] || fail "no plug-in helper runs"
open_tray_menu
sent=$(date +%s%N)
# Down from no selection starts at the first item, 設定; 終了 follows it.
xdotool key --delay 120 Down Down Return
# The end waits 3 s for the change; the helper's own bound would take 10 s.
until_ns=$((sent + 6000000000))
while program_alive && [ "$(date +%s%N)" -lt "$until_ns" ]; do sleep 0.05; done
quit_ms=$((($(date +%s%N) - sent) / 1000000))
program_alive && fail "the program still runs $quit_ms ms after 終了 while a plug-in hung"
say "the program ended $quit_ms ms after 終了 (the helper's bound is 10 s)"
wait "$quit_next_pid" && fail "the next cut off by the end reported success"
grep -q "Tapisto を終了するため、壁紙は変更しませんでした" "$work/quit-next.err" ||
    fail "the next cut off by the end was not told why: $(cat "$work/quit-next.err")"
kill -0 "$helper_pid" 2>/dev/null && fail "the plug-in helper outlived the program"
grep -q "^UseIndex=0" "$home/Tapisto.ini" || fail "the change given up at the end moved the position: $(cat "$home/Tapisto.ini")"

say "PASS"
exit 0
