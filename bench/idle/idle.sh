#!/usr/bin/env bash
# Idle footprint: starts tapisto in the notification area with a one-hour interval (so no change is
# due during the run) on Xvfb with trayer as the tray host, lets it settle, then reports over the
# measured span (60 s by default):
#   CPU time used (user + system, all threads), voluntary and involuntary context switches (the
#   process's wake-ups), and resident memory (VmRSS at the end, VmHWM the peak).
# Targets: 0 ms of CPU and no periodic wake-ups between ticks; VmRSS under 40 MB.
# With CHANGES=N and PICTURES=DIR the program first makes N changes of the pictures in DIR (each
# enlarged to the 1024x768 screen: "拡大", "自動"), asked for one by one with `tapistoctl next` over a
# private session bus, and the resident size idle after them is compared with the one idle before the
# first change. Target: at most 2 MB more (24 MP pictures, 100 changes). PLUGINS=1 turns the plug-ins
# on (for pictures that only a plug-in reads).
# CLASS=NAME measures another tray program the same way, one whose tray window has that class name
# (the Qt floor: CLASS=qtfloor bench/idle/idle.sh build/bench/qtfloor/qtfloor).
# Usage: [CHANGES=N PICTURES=DIR [PLUGINS=1]] [CLASS=NAME] bench/idle/idle.sh [PATH_TO_tapisto] [SECONDS]
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../../build/bin/tapisto}
span=${2:-60}
settle=${SETTLE:-5}
changes=${CHANGES:-0}
class=${CLASS:-tapisto}

# The changes are asked for on a bus of the run's own, never on the session bus of whoever runs it.
if [ "$changes" -gt 0 ] && [ "${TAPISTO_IDLE_BUS:-}" != "$$" ]; then
    command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session is not installed"; exit 77; }
    [ -d "${PICTURES:-}" ] || { echo "PICTURES must name a folder of pictures"; exit 1; }
    unset DBUS_SESSION_BUS_ADDRESS
    exec dbus-run-session -- bash -c 'TAPISTO_IDLE_BUS=$$ exec bash "$0" "$@"' "$0" "$@"
fi

. "$here/../../tests/e2e/xsession.sh"
require_tools Xvfb trayer xdotool
[ -x "$program" ] || { echo "no program at $program (build it first)"; exit 1; }

wait_for() { wait_for_n 100 "$@"; }
start_xvfb
start_trayer

# A fresh home: start in the tray, one hour between changes, a one-picture group (or the pictures to
# change to), the file backend (the bitmap is written, no desktop is touched).
home=$work/home
mkdir -p "$home"
# The INI engine reads CR LF line ends only.
printf '[Main]\r\nOp1Checked=1\r\nUseSection=idle.dat\r\nUseIndex=0\r\nIntervalHH=1\r\nIntervalMM=0\r\nIntervalSS=0\r\n' \
    >"$home/Tapisto.ini"
[ "${PLUGINS:-0}" = 1 ] && printf 'OpSusie=1\r\n' >>"$home/Tapisto.ini"
if [ "$changes" -gt 0 ]; then
    entries=("$PICTURES"/*)
    {
        printf '[Main]\r\nIdx=%d\r\n' $((${#entries[@]} - 1))
        for i in "${!entries[@]}"; do printf 'file%d=%s,拡大,自動,\r\n' "$i" "${entries[$i]}"; done
    } | iconv -f UTF-8 -t CP932 >"$home/idle.dat"
else
    printf '[Main]\r\nIdx=0\r\nfile0=%s/none.bmp,並べて,,\r\n' "$home" | iconv -f UTF-8 -t CP932 >"$home/idle.dat"
    unset DBUS_SESSION_BUS_ADDRESS
fi

export TAPISTO_HOME=$home TAPISTO_DESKTOP=file XDG_RUNTIME_DIR=$work LANG=C.UTF-8
QT_QPA_PLATFORM=xcb "$program" >"$work/out" 2>"$work/err" &
pid=$!
pids+=($pid)
# In the tray: an icon window embedded in trayer's panel, and no main window shown.
in_tray() {
    local w found=1 X Y WIDTH HEIGHT SCREEN WINDOW
    for w in $(xdotool search --onlyvisible --classname "$class" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        [ "$WIDTH" -eq 231 ] && return 1 # the main window
        found=0
    done
    return $found
}
wait_for in_tray || { echo "the program did not start in the tray"; cat "$work/err"; exit 1; }
echo "program pid $pid, settling ${settle} s"
sleep "$settle"

if [ "$changes" -gt 0 ]; then
    ctl=$(dirname "$program")/tapistoctl
    rss_before=$(awk '$1 == "VmRSS:" { print $2 }' /proc/"$pid"/status)
    started=$(date +%s.%N)
    for i in $(seq "$changes"); do
        "$ctl" next >/dev/null 2>"$work/next.err" || { echo "change $i failed: $(cat "$work/next.err")"; exit 1; }
    done
    took=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }')
    [ -s "$home/Tapisto_WallPaper.bmp" ] || { echo "no wallpaper was written"; cat "$work/err"; exit 1; }
    sleep "$settle"
    rss_after=$(awk '$1 == "VmRSS:" { print $2 }' /proc/"$pid"/status)
    echo "$changes changes of ${#entries[@]} pictures in ${took} s (each asked for with tapistoctl next)"
    echo "  resident memory idle before the first change: ${rss_before} kB"
    echo "  resident memory idle after $changes changes:   ${rss_after} kB ($(((rss_after - rss_before) / 1024)) MB more, $((rss_after - rss_before)) kB; target: at most 2 MB)"
fi

# Sums a field over every thread of the process.
sum_status() { cat /proc/"$pid"/task/*/status 2>/dev/null | awk -v k="$1:" '$1 == k { s += $2 } END { print s + 0 }'; }
cpu_ticks() { cat /proc/"$pid"/task/*/stat 2>/dev/null | awk '{ sub(/^.*\) /, ""); s += $12 + $13 } END { print s + 0 }'; }
threads() {
    for t in /proc/"$pid"/task/*; do
        printf '  %-16s vol %s\n' "$(cat "$t/comm")" "$(awk '$1 == "voluntary_ctxt_switches:" { print $2 }' "$t/status")"
    done
}

hz=$(getconf CLK_TCK)
cpu0=$(cpu_ticks); vol0=$(sum_status voluntary_ctxt_switches); inv0=$(sum_status nonvoluntary_ctxt_switches)
threads >"$work/threads0"
sleep "$span"
kill -0 "$pid" 2>/dev/null || { echo "the program ended during the run"; cat "$work/err"; exit 1; }
cpu1=$(cpu_ticks); vol1=$(sum_status voluntary_ctxt_switches); inv1=$(sum_status nonvoluntary_ctxt_switches)
threads >"$work/threads1"
rss=$(awk '$1 == "VmRSS:" { print $2 }' /proc/"$pid"/status)
hwm=$(awk '$1 == "VmHWM:" { print $2 }' /proc/"$pid"/status)

echo "idle footprint of $(basename "$program") over ${span} s, in the tray, interval 1:00:00"
echo "  CPU time:              $(((cpu1 - cpu0) * 1000 / hz)) ms"
echo "  voluntary switches:    $((vol1 - vol0))"
echo "  involuntary switches:  $((inv1 - inv0))"
echo "  resident memory:       $((rss / 1024)) MB (VmRSS ${rss} kB, peak ${hwm} kB)"
echo "  threads and their voluntary switches, before / after:"
paste "$work/threads0" "$work/threads1" | awk -F'\t' '{ print $1 "  /" $2 }' | sed 's/  vol / /2'
