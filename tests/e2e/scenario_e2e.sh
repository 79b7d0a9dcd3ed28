#!/usr/bin/env bash
# The whole program as a user meets it, on Xvfb with trayer as the notification area and the plain
# X11 desktop backend, driven with xdotool:
#   an empty home; the list editor builds a group of three pictures (dragged in from another
#   program) and saves it; the main window selects it, sets 10 s and starts; the tray icon appears
#   and the root window shows pictures 0, 1, 2, 0 over the ticks; the tray menu's next, back, pause
#   and resume work; a second start returns at once; a double click on the icon shows the window;
#   "終　了" ends the program.
# Screenshots of every window go to ARTEFACT_DIR; TAPISTO_GUIDE_IMAGES=DIR also copies the user
# guide's pictures there.
# Usage: scenario_e2e.sh TAPISTO TAPISTOCTL E2E_HELPER ARTEFACT_DIR. Exit 77 (skipped) when a tool
# is missing.
set -u
program=$1 ctl=$2 helper=$3 artefacts=$4

. "$(dirname "$0")/xsession.sh"
require_tools Xvfb trayer xdotool iconv

app_pid=
mkdir -p "$artefacts"
rm -f "$artefacts"/*.png

fail() {
    echo "FAIL: $*"
    shot_screen failure
    echo "--- settings:"; cat "$home/Tapisto.ini" 2>/dev/null
    echo "--- program output:"; cat "$work/app.out"
    echo "--- program errors:"; cat "$work/app.err"
    exit 1
}

start_xvfb
start_trayer

# --- screenshots and the root window ---

shot_area() { "$helper" shot "$artefacts/$1.png" "$2" "$3" "$4" "$5" >/dev/null 2>&1; }
shot_screen() { shot_area "$1" 0 0 1024 768; }
shot_window() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$2")"
    shot_area "$1" "$X" "$Y" "$WIDTH" "$HEIGHT"
}
# A spot of the root window that no window covers.
root_colour() { "$helper" pixel 8 760; }

# --- pictures and the fresh home ---

colours=(C03020 20A040 3050D0)
mkdir -p "$work/pictures"
for i in 0 1 2; do make_bmp "$work/pictures/picture$i.bmp" "${colours[$i]}"; done

make_program_home
# Never the session bus of whoever runs the tests (the program would take its name there).
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus

# --- the main window ---

say "start tapisto on an empty home"
"$program" >"$work/app.out" 2>"$work/app.err" &
app_pid=$!
pids+=($app_pid)

wait_for main_window || fail "the main window did not appear"
sleep 0.5
main=$(main_window)
eval "$(xdotool getwindowgeometry --shell "$main")"
main_x=$X main_y=$Y
# The menu bar sits above the 140-pixel client area that holds the controls.
client_y=$((Y + HEIGHT - 140))
[ $((HEIGHT - 140)) -ge 10 ] && [ $((HEIGHT - 140)) -le 60 ] || fail "main window of unexpected height $HEIGHT"
click_main() {
    xdotool mousemove $((main_x + $1)) $((client_y + $2)) click 1
    sleep 0.3
}
shot_window 01-main-window "$main"

say "open the list editor with 壁紙の設定"
click_main 182 32
wait_for_n 50 editor_shown || fail "the list editor did not open"
editor=$(editor_window)
main_window >/dev/null && fail "the main window stayed visible beside the editor"
eval "$(xdotool getwindowgeometry --shell "$editor")"
ed_x=$X ed_y=$Y ed_w=$WIDTH ed_h=$HEIGHT

say "drag three pictures from another program onto the editor"
"$helper" drag "$work/pictures/picture0.bmp" "$work/pictures/picture1.bmp" "$work/pictures/picture2.bmp" \
    >"$work/drag.out" 2>"$work/drag.err" &
pids+=($!)
wait_for_n 50 sh -c "xdotool search --onlyvisible --name '^e2e drag source$' | grep -q ." || fail "the drag source did not appear"
sleep 0.3
xdotool mousemove 80 630 mousedown 1
sleep 0.3
for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((80 + (ed_x + ed_w / 2 - 80) * step / 8)) $((630 + (ed_y + ed_h / 2 - 630) * step / 8))
    sleep 0.1
done
sleep 0.5
xdotool mouseup 1
wait_for grep -q '^drag-done' "$work/drag.out" || fail "the drag did not end"
grep -q '^drag-done 0$' "$work/drag.out" && fail "the editor refused the drop"
sleep 0.5
shot_window 02-list-editor "$editor"

visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }
# The window that is visible now and was not in the list $1.
new_window() { visible_windows | comm -13 "$1" - | head -n 1; }
# Keys go to the window that has the input focus; with no window manager we give it.
focus() { xdotool windowfocus "$1"; sleep 0.3; }

say "save the group as e2e.dat (名前を付けて保存)"
focus "$editor"
visible_windows >"$work/before"
xdotool key alt+f
sleep 0.4
xdotool key a
sleep 0.5
for _ in $(seq 30); do dialog=$(new_window "$work/before"); [ -n "$dialog" ] && break; sleep 0.1; done
[ -n "$dialog" ] || fail "no save dialog opened"
sleep 0.5
shot_window 03-save-dialog "$dialog"
focus "$dialog"
xdotool key ctrl+a
xdotool type --delay 20 "e2e.dat"
xdotool key Return
wait_for test -s "$home/e2e.dat" || fail "the group was not saved"
"$ctl" list "$home/e2e.dat" >"$work/list.out" 2>&1 || fail "tapistoctl cannot read the saved group: $(cat "$work/list.out")"
[ "$(grep -c 'picture[012]\.bmp' "$work/list.out")" -eq 3 ] || fail "the saved group is not the three pictures: $(cat "$work/list.out")"
for i in 0 1 2; do
    sed -n "$((i + 1))p" "$work/list.out" | grep -q "picture$i\.bmp" || fail "entry $i is not picture$i: $(cat "$work/list.out")"
done

say "back to the main window (終了)"
focus "$editor"
xdotool key alt+f
sleep 0.4
xdotool key x
wait_for main_window || fail "the main window did not come back after the editor's exit"
sleep 0.5

say "the About box from ヘルプ > バージョン"
focus "$main"
visible_windows >"$work/before"
xdotool key alt+h
sleep 0.4
xdotool key a
dialog=
for _ in $(seq 30); do dialog=$(new_window "$work/before"); [ -n "$dialog" ] && break; sleep 0.1; done
[ -n "$dialog" ] || fail "the About box did not open"
sleep 0.5
shot_window 04-about-box "$dialog"
focus "$dialog"
xdotool key Escape
wait_for_n 30 sh -c "! xdotool search --onlyvisible --name '' | grep -qx '$dialog'" || fail "the About box did not close"

say "select the group, set 0:0:10 (a first start offers 1:0:0), press 実　行"
focus "$main"
click_main 60 34
xdotool key ctrl+a
xdotool type --delay 20 "e2e.dat"
click_main 28 79
xdotool key ctrl+a
xdotool type --delay 20 "0"
click_main 155 79
xdotool key ctrl+a
xdotool type --delay 20 "10"
sleep 0.3
shot_window 05-main-window-ready "$main"
click_main 143 110
tray_icon() { xdotool search --onlyvisible --classname "$(basename "$program")" 2>/dev/null | while read -r w; do
    [ "$w" = "$main" ] || echo "$w"; done | head -n 1; }
wait_for_n 50 sh -c "xdotool search --onlyvisible --classname '$(basename "$program")' | grep -v '^$main\$' | grep -q ." ||
    fail "no tray icon appeared"
wait_for_n 30 sh -c "! xdotool search --onlyvisible --name '^Tapisto\$' | grep -q '^$main\$'" ||
    fail "the main window stayed visible after 実　行"
icon=$(tray_icon)
jikko_at=$(date +%s)
grep -q '^UseSection=e2e.dat' "$home/Tapisto.ini" || fail "実　行 did not store the group"

say "the root window shows pictures 0, 1, 2, 0, one per tick"
for i in 0 1 2 0; do
    wait_root "${colours[$i]}" 14 || fail "picture $i did not come"
    say "  picture $i"
done
shot_screen 06-desktop

eval "$(xdotool getwindowgeometry --shell "$icon")"
icon_x=$((X + WIDTH / 2)) icon_y=$((Y + HEIGHT / 2))
tray_menu() {
    xdotool mousemove "$icon_x" "$icon_y"
    sleep 0.2
    xdotool click 3
    sleep 0.6
}
# The tray menu from the bottom: 次へ, 戻る, (separator), 一時停止, 再開, (separator), 終了, 設定.
# Up from no selection starts at the last item; disabled items are passed over.
menu_pick() {
    tray_menu
    xdotool key --delay 120 $(for _ in $(seq "$1"); do printf 'Up '; done) Return
    sleep 0.3
}

say "second start while the first runs returns at once"
start2=$(date +%s%N)
"$program" >"$work/second.out" 2>&1 &
second=$!
wait_for_n 30 sh -c "! kill -0 $second" || { kill "$second"; fail "the second start did not return"; }
wait "$second"; rc=$?
[ "$rc" -eq 0 ] || fail "the second start ended with $rc"
say "  returned after $((($(date +%s%N) - start2) / 1000000)) ms"
kill -0 "$app_pid" || fail "the first instance ended"

say "tray menu: 次へ shows picture 1"
tray_menu
shot_area 07-tray-menu 724 0 300 260
xdotool key Escape
sleep 0.3
menu_pick 1
wait_root "${colours[1]}" 3 || fail "次へ did not show picture 1"

say "tray menu: 戻る shows picture 0"
menu_pick 2
wait_root "${colours[0]}" 3 || fail "戻る did not show picture 0"
grep -q '^UseIndex=1' "$home/Tapisto.ini" || fail "UseIndex is not 1 after 戻る"

say "tray menu: 一時停止 stops the ticks"
menu_pick 3
sleep 12
[ "$(root_colour)" = "${colours[0]}" ] || fail "the wallpaper changed while paused"

say "tray menu: 再開 starts them again"
menu_pick 3
wait_root "${colours[1]}" 14 || fail "no change after 再開"

say "double click on the tray icon shows the main window"
xdotool mousemove "$icon_x" "$icon_y"
sleep 0.2
xdotool click --repeat 2 --delay 80 1
wait_for main_window || fail "a double click did not show the main window"
sleep 0.5
xdotool search --onlyvisible --classname "$(basename "$program")" | grep -qv "^$main\$" && fail "the tray icon stayed after the double click"
shot_window 08-main-window-again "$main"

say "終　了 ends the program"
click_main 197 110
wait_for_n 50 sh -c "! kill -0 $app_pid" || fail "the program did not end"
wait "$app_pid"; rc=$?
[ "$rc" -eq 0 ] || fail "the program ended with $rc"

# TAPISTO_GUIDE_IMAGES=docs/images refreshes the pictures of the user guide.
if [ -n "${TAPISTO_GUIDE_IMAGES:-}" ]; then
    cp "$artefacts/08-main-window-again.png" "$TAPISTO_GUIDE_IMAGES/main-window.png"
    cp "$artefacts/02-list-editor.png" "$TAPISTO_GUIDE_IMAGES/list-editor.png"
    cp "$artefacts/07-tray-menu.png" "$TAPISTO_GUIDE_IMAGES/tray-menu.png"
fi
say "PASS (screenshots in $artefacts)"
exit 0
