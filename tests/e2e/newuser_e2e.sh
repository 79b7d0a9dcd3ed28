#!/usr/bin/env bash
# A new user's first minutes with the real program, on Xvfb with openbox drawing the windows' frames
# (the close box is the window manager's), trayer as the notification area, the plain X11 desktop
# backend and a private session bus, driven with xdotool as a user would:
#   a fresh home: the window says what to do first and offers 1:0:0; 実　行 without a group warns;
#   the list editor gets four pictures from its add-pictures dialog (a path typed into it), one of
#   which is deleted on disk afterwards; its close box asks while the list is unsaved; saved, the
#   close box closes it without asking and the group is in the main window's list; 実　行 with the
#   offered interval stores 1:0:0; back in the window, 0:0:10 and 実　行; the first timed change
#   passes over the missing picture to the next one (one notice, status names it), the second goes
#   on without another box; the tray menu's 一時停止, then 次へ twice (the second passes over the
#   missing picture again, silently): the picture changes, the state stays paused and no timed
#   change comes for longer than the interval.
# Screenshots of every step are kept on failure in ARTEFACT_DIR/newuser, and always when
# TAPISTO_NEWUSER_SHOTS names a folder.
# Usage: newuser_e2e.sh TAPISTO TAPISTOCTL E2E_HELPER ARTEFACT_DIR. Exit 77 (skipped) when a tool is
# missing.
set -u

# Everything runs on a bus of its own, never on the session bus of whoever runs the tests.
. "$(dirname "$0")/private_bus.sh" "$@"

program=$1 ctl=$2 helper=$3 artefacts=$4/newuser

. "$(dirname "$0")/xsession.sh"
require_tools Xvfb openbox trayer xdotool xwininfo convert
[ -e "$(dirname "$program")/png.spi" ] || { echo "SKIP: png.spi is not built beside the program"; exit 77; }

shots=$work/shots
mkdir -p "$shots"
keep_shots() {
    mkdir -p "$1" && rm -f "$1"/*.png && cp "$shots"/*.png "$1"/ 2>/dev/null
    echo "screenshots in $1"
}
fail() {
    echo "FAIL: $*"
    shot_screen zz-failure
    keep_shots "$artefacts"
    print_program_state
    exit 1
}

start_xvfb
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for_n 100 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || { echo "SKIP: openbox did not start"; exit 77; }
start_trayer

# --- windows, screenshots and the root window ---

shot_area() { "$helper" shot "$shots/$1.png" "$2" "$3" "$4" "$5" >/dev/null 2>&1; }
shot_screen() { shot_area "$1" 0 0 1024 768; }
# A window's place on the screen (its client area, without the frame): sets x, y, w, h.
place_of() {
    local info
    info=$(xwininfo -id "$1" 2>/dev/null) || return 1
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/.*Width: *//p' <<<"$info")
    h=$(sed -n 's/.*Height: *//p' <<<"$info")
}
# A window with its frame and title bar.
shot_window() {
    local x y w h
    place_of "$2" || return 0
    shot_area "$1" $((x - 8)) $((y - 30)) $((w + 16)) $((h + 38))
}
# A spot of the root window that no window covers.
root_colour() { "$helper" pixel 8 760; }
# Whether colour $1 is $2 give or take a JPEG's rounding.
near() {
    local i a b
    for i in 0 2 4; do
        a=$((16#${1:i:2})) b=$((16#${2:i:2}))
        [ $((a > b ? a - b : b - a)) -le 4 ] || return 1
    done
}
# Waits up to $2 seconds for the root window to show colour $1.
wait_colour() {
    local want=$1 deadline=$(($(date +%s) + $2)) got=
    while :; do
        got=$(root_colour)
        near "$got" "$want" && return 0
        [ "$(date +%s)" -lt "$deadline" ] || break
        sleep 0.2
    done
    echo "root window shows $got, expected $want"
    return 1
}

# The visible windows with a name: those of the programs, not the window manager's frames.
visible_windows() { xdotool search --onlyvisible --name . 2>/dev/null | sort; }
# The window that is visible now and was not in the list $1.
new_window() { visible_windows | comm -13 "$1" - | head -n 1; }
wait_new_window() {
    local before=$1 found=
    for _ in $(seq 50); do
        found=$(new_window "$before")
        [ -n "$found" ] && { sleep 0.3; echo "$found"; return 0; }
        sleep 0.1
    done
    return 1
}
# Keys go to the window that has the input focus: it gets it first.
press() {
    local win=$1
    shift
    timeout 3 xdotool windowactivate --sync "$win" >/dev/null 2>&1 || xdotool windowfocus "$win" 2>/dev/null
    sleep 0.1
    xdotool key "$@"
}
gone() { ! xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$1"; }
# The window manager's close box, in the top right corner of the frame's title bar.
click_close_box() {
    local x y w h
    place_of "$1"
    xdotool mousemove $((x + w - 10)) $((y - 10)) sleep 0.2 click 1
}
# Distinct colours in a screenshot: 1 for an empty area, more where text is drawn.
colours_in() { convert "$shots/$1.png" -format %k info:; }

# --- the pictures and the fresh home ---

pics=$work/pictures
mkdir -p "$pics"
red=C03020 green=20A040 blue=3050D0
make_bmp "$pics/b-red.bmp" $red
make_bmp "$pics/a-gone.bmp" 808000
# A real JPEG and a PNG that the bundled plug-in reads.
convert -size 16x16 "xc:#$green" -quality 100 "$pics/c-green.jpg" || fail "cannot make the JPEG"
convert -size 16x16 "xc:#$blue" "$pics/d-blue.png" || fail "cannot make the PNG"

make_program_home
export HOME=$work
group=holiday.dat

# --- first start ---

say "first start on an empty home"
"$program" >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
pids+=("$app_pid")
wait_for_n 100 main_window || fail "the main window did not appear"
main=$(main_window)
eval "$(xdotool getwindowgeometry --shell "$main")"
menu_height=$((HEIGHT - 140))
click_main() {
    xdotool mousemove --window "$main" "$1" $((menu_height + $2)) sleep 0.1 click 1
    sleep 0.3
}
status_bar_shot() {
    local x y w h
    place_of "$main"
    shot_area "$1" "$x" $((y + menu_height + 124)) 231 15
}
sleep 0.5
shot_window 01-first-start "$main"
status_bar_shot 01-status-bar
[ "$(colours_in 01-status-bar)" -gt 1 ] || fail "no first-start hint in the status bar"

say "実　行 without a group warns"
visible_windows >"$work/before"
click_main 143 110
box=$(wait_new_window "$work/before") || fail "実　行 without a group did not warn"
shot_window 02-no-group-warning "$box"
press "$box" Return
wait_for gone "$box" || fail "the warning did not close with Enter"

# --- the list editor ---

say "open the list editor with 壁紙の設定"
click_main 182 32
wait_for_n 50 editor_shown || fail "the list editor did not open"
editor=$(editor_window)
main_window >/dev/null && fail "the main window stayed visible beside the editor"

say "add four pictures with 画像読み込み, typing their folder and names"
visible_windows >"$work/before"
press "$editor" alt+e
sleep 0.4
xdotool key r
dialog=$(wait_new_window "$work/before") || fail "the add-pictures dialog did not open"
shot_window 03-add-pictures-dialog "$dialog"
xdotool type --delay 15 "$pics/"
xdotool key Return
sleep 0.5
# The dialog may hand the names back in its own (alphabetical) order: the names sort as typed.
xdotool type --delay 15 '"a-gone.bmp" "b-red.bmp" "c-green.jpg" "d-blue.png"'
sleep 0.3
shot_window 04-add-pictures-typed "$dialog"
xdotool key Return
wait_for gone "$dialog" || fail "the add-pictures dialog did not close"
sleep 0.3
shot_window 05-editor-with-pictures "$editor"

say "the close box asks while the list is unsaved; No keeps the editor"
visible_windows >"$work/before"
click_close_box "$editor"
question=$(wait_new_window "$work/before") || fail "the close box did not ask about the unsaved list"
[ "$(xdotool getwindowname "$question")" = "確認" ] || fail "the question is titled '$(xdotool getwindowname "$question")'"
shot_window 06-close-box-asks "$question"
press "$question" n
wait_for gone "$question" || fail "the question did not close with N"
gone "$editor" && fail "No closed the editor"

say "save it as $group (Ctrl+S on a new list asks for a name)"
visible_windows >"$work/before"
press "$editor" ctrl+s
dialog=$(wait_new_window "$work/before") || fail "no save dialog opened"
xdotool type --delay 30 "$group"
sleep 0.3
shot_window 07-save-dialog "$dialog"
xdotool key Return
wait_for test -s "$home/$group" || fail "the group was not saved"
"$ctl" list "$home/$group" >"$work/list.out" 2>&1 || fail "tapistoctl cannot read the group: $(cat "$work/list.out")"
i=0
for name in a-gone.bmp b-red.bmp c-green.jpg d-blue.png; do
    i=$((i + 1))
    sed -n "${i}p" "$work/list.out" | grep -q "$pics/$name" || fail "entry $i is not $name: $(cat "$work/list.out")"
done
[ "$(wc -l <"$work/list.out")" -eq 4 ] || fail "the group has not four entries: $(cat "$work/list.out")"
rm "$pics/a-gone.bmp"

say "saved, the close box closes the editor; the group is in the main window's list"
click_close_box "$editor"
wait_for_n 50 main_window || fail "the main window did not come back after the close box"
gone "$editor" || fail "the editor stayed open"
sleep 0.3
status_bar_shot 08-status-bar
[ "$(colours_in 08-status-bar)" -eq 1 ] || fail "the first-start hint stayed after a group was made"
click_main 128 34
sleep 0.5
shot_area 08-group-list 0 0 1024 768
xdotool key Return
sleep 0.3
shot_window 09-group-chosen "$main"

say "実　行 with the interval a first start offers"
tray_icon() {
    xdotool search --onlyvisible --classname "$(basename "$program")" 2>/dev/null | grep -vx "$main" | head -n 1
}
click_main 143 110
wait_for_n 50 tray_icon || fail "no tray icon after 実　行 (the group was not chosen?)"
wait_for_n 30 sh -c "! xdotool search --onlyvisible --name '^Tapisto\$' | grep -qx '$main'" ||
    fail "the main window stayed visible after 実　行"
for key in UseSection=$group IntervalHH=1 IntervalMM=0 IntervalSS=0; do
    grep -q "^$key" <(iconv -f CP932 -t UTF-8 "$home/Tapisto.ini") || fail "実　行 did not store $key"
done

say "back to the window with a double click on the tray icon; 0:0:10 and 実　行"
icon=$(tray_icon)
place_of "$icon"
icon_x=$((x + w / 2)) icon_y=$((y + h / 2))
xdotool mousemove "$icon_x" "$icon_y" sleep 0.2 click --repeat 2 --delay 80 1
wait_for_n 50 main_window || fail "a double click on the tray icon did not show the window"
sleep 0.3
set_field() {
    click_main "$1" 79
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
}
set_field 28 0
set_field 100 0
set_field 155 10
sleep 0.2
shot_window 10-ten-seconds "$main"
click_main 143 110
wait_for_n 50 tray_icon || fail "no tray icon after the second 実　行"
started_at=$(date +%s)
for key in IntervalHH=0 IntervalMM=0 IntervalSS=10; do
    grep -q "^$key" "$home/Tapisto.ini" || fail "the interval 0:0:10 was not stored ($key)"
done
icon=$(tray_icon)
place_of "$icon"
icon_x=$((x + w / 2)) icon_y=$((y + h / 2))

say "the first timed change passes over the missing picture to red"
wait_colour $red 25 || fail "red did not come after the missing picture"
say "  red after $(($(date +%s) - started_at)) s"
wait_for test "$(use_index)" = 2 || fail "UseIndex is $(use_index) after red, expected 2"
"$ctl" status >"$work/status.out"
grep -q "^picture: $pics/b-red.bmp" "$work/status.out" || fail "status does not show red: $(cat "$work/status.out")"
grep -q "^last_error: 表示できない画像を飛ばしました。.*a-gone.bmp" "$work/status.out" ||
    fail "status does not name the missing picture: $(cat "$work/status.out")"
wait_for boxes_are 1 || fail "$(boxes) boxes after the first change, expected the one notice"
notice=$(xdotool search --onlyvisible --name '^Tapisto$' | grep -vx "$main" | head -n 1)
shot_window 11-missing-notice "$notice"
shot_screen 12-desktop-red

say "the second timed change goes on to green, without another box"
wait_colour $green 15 || fail "green did not come at the second change"
say "  green after $(($(date +%s) - started_at)) s"
wait_for test "$(use_index)" = 3 || fail "UseIndex is $(use_index) after green, expected 3"
sleep 0.5
boxes_are 1 || fail "$(boxes) boxes after the second change"
press "$notice" Return
wait_for gone "$notice" || fail "the notice did not close with Enter"

# The tray menu from the bottom: 次へ, 戻る, (separator), 一時停止, 再開, (separator), 終了, 設定.
# Up from no selection starts at the last item; disabled items are passed over.
menu_pick() {
    xdotool mousemove "$icon_x" "$icon_y" sleep 0.2 click 3
    sleep 0.6
    [ -n "${2:-}" ] && shot_area "$2" 724 0 300 260
    xdotool key --delay 120 $(for _ in $(seq "$1"); do printf 'Up '; done) Return
    sleep 0.3
}

say "一時停止 from the tray menu"
menu_pick 3 13-tray-menu
wait_for status_is "state: paused" || fail "一時停止 did not pause"
paused_at=$(date +%s)

say "次へ while paused shows blue and stays paused"
menu_pick 1
wait_colour $blue 5 || fail "次へ while paused did not show blue"
status_is "state: paused" || fail "次へ ended the pause"
status_is "seconds_to_next: -1" || fail "a timed change is due after 次へ while paused"
[ "$(use_index)" = 0 ] || fail "UseIndex is $(use_index) after blue, expected 0"

say "次へ again passes over the missing picture to red, with no second notice"
menu_pick 1
wait_colour $red 5 || fail "次へ did not pass over the missing picture to red"
[ "$(use_index)" = 2 ] || fail "UseIndex is $(use_index) after red, expected 2"
sleep 0.5
boxes_are 0 || fail "$(boxes) boxes after the missing picture came round again"
shot_area 14-paused-tray 724 0 300 40

say "no timed change while paused, for longer than the interval"
while [ $(($(date +%s) - paused_at)) -lt 12 ]; do
    [ "$(root_colour)" = $red ] || fail "the wallpaper changed while paused"
    sleep 0.5
done
status_is "state: paused" || fail "the pause did not hold"
[ "$(use_index)" = 2 ] || fail "UseIndex moved while paused: $(use_index)"
kill -0 "$app_pid" || fail "the program ended"
grep -v '^tapisto: ' "$work/app.err" | grep -q . && fail "the program wrote to standard error: $(cat "$work/app.err")"

[ -n "${TAPISTO_NEWUSER_SHOTS:-}" ] && keep_shots "$TAPISTO_NEWUSER_SHOTS"
say "PASS"
exit 0
