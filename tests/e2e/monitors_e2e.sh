#!/usr/bin/env bash
# One picture per monitor on real sessions with two monitors of different sizes, through the real
# programs, checked on the screen's own pixels:
#   x11: an Xorg with the dummy video driver, whose RandR outputs DUMMY0 1024x768+0+0 and DUMMY1
#     800x600+1024+0 Qt lists as two screens (Xvfb gives Qt one screen, whatever its monitors).
#     tapistoctl next (no program running) puts its own entry of a five-entry group on each monitor,
#     fitted to that monitor; UseIndex moves on by two; back steps back by two. Then the tray program
#     runs and changes; DUMMY1 is switched off, back on, moved to the left of DUMMY0, then below it:
#     each time the program renders the same pictures again for the new layout, once, within five
#     seconds of the change (about 1.3 on an idle machine), each monitor keeping its own picture, and
#     UseIndex stays.
#   xfce, mate: the same two monitors with xfdesktop or caja drawing the desktop, handed one picture
#     spanning both monitors; tapistoctl next puts each monitor's own entry on it.
#   lxqt: the same two monitors with pcmanfm-qt drawing the desktop, which is handed one picture over
#     both monitors; tapistoctl next puts each monitor's own entry on it.
#   lxde: pcmanfm drawing it, whose running desktop takes a picture for the first monitor only: the
#     change says so naming LXDE, shows one entry there and moves on by one.
#   sway: its headless backend with two outputs of different sizes, HEADLESS-2 on the left;
#     tapistoctl next starts swaybg with an -o group per output, and grim -o shows each output's own
#     entry, the left one the first.
#   gnome, kde, cinnamon: GNOME Shell headless on two virtual monitors (1024x768, 800x600), KDE
#     Plasma's plasmashell and Cinnamon on the dummy Xorg's two monitors; tapistoctl next twice, then
#     the tray program (GNOME's icon on a watcher's stand-in): a change through it, a burst of five
#     changes 200 ms apart that must end on the fifth, the second monitor taken away and given back
#     (xrandr; mutter's display configuration for GNOME). Named only: their start takes long.
# Every pixel checked (which monitor, which point, expected and seen colour) and every time taken is
# printed: the summary is meant to be read.
#
#   monitors_e2e.sh TAPISTO TAPISTOCTL [x11|xfce|mate|lxqt|lxde|sway|gnome|kde|cinnamon...]
#
# Exit 0 when every session that could run passed, 1 on a failure, 77 when none could run.
set -uo pipefail
program=$(realpath "$1")
ctl=$(realpath "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=xsession.sh
source "$here/xsession.sh"
# shellcheck source=desktop_sessions.sh
source "$here/desktop_sessions.sh"
# The test helpers built beside the program (the tray's and the session manager's stand-ins).
e2e_tools=${TAPISTO_E2E_TOOLS:-$(dirname "$ctl")/../tests}
require_tools convert identify import dbus-daemon
chmod 755 "$work"

sessions=("$@")
[ ${#sessions[@]} -gt 0 ] || sessions=(x11 xfce mate lxqt lxde sway)

# --- the group -----------------------------------------------------------------------------------
# Each entry is a picture of upright bands. Stretched ("拡大"), a monitor's left corners show the
# first band, its right corners the last and its centre the middle one, whatever its size, so a
# picture fitted to the wrong rectangle shows at once. The centred one with correction "自動" is four
# times as wide as high: it spans its monitor's width, a quarter of that high, black above and below.
# The tiled one, 24 pixels wide, is laid from its own monitor's corner.
entry_colours=("red white green" "blue yellow magenta" "cyan magenta yellow" "green blue" "yellow cyan red"
    "magenta green cyan" "white blue red")
entry_kinds=(stretch stretch band tile stretch stretch stretch)
hex_of() {
    case $1 in
    red) echo ff0000 ;; green) echo 00ff00 ;; blue) echo 0000ff ;; yellow) echo ffff00 ;;
    cyan) echo 00ffff ;; magenta) echo ff00ff ;; white) echo ffffff ;; black) echo 000000 ;;
    esac
}
make_entry_picture() {
    local e=$1 w h c args=()
    read -r -a c <<<"${entry_colours[$e]}"
    case ${entry_kinds[$e]} in
    stretch) w=16 h=48 ;;
    band) w=16 h=12 ;;
    tile) w=12 h=24 ;;
    esac
    for colour in "${c[@]}"; do args+=(-size "${w}x$h" "xc:#$(hex_of "$colour")"); done
    convert "${args[@]}" +append "BMP3:$work/entry$e.bmp"
}
# In CP932: 拡大, 中央, 並べて, 自動.
enlarge=$'\x8a\x67\x91\xe5' centre=$'\x92\x86\x89\x9b' tile=$'\x95\xc0\x82\xd7\x82\xc4' auto=$'\x8e\xa9\x93\xae'
entry_fields=("$enlarge," "$enlarge," "$centre,$auto" "$tile," "$enlarge," "$enlarge," "$enlarge,")
entry_words=("拡大" "拡大" "中央 自動" "並べて" "拡大" "拡大" "拡大")
for e in 0 1 2 3 4 5 6; do make_entry_picture "$e"; done
chmod 644 "$work"/*.bmp

# Tapisto.ini and the group of the first N entries (5 unless given) in the home folder; UseIndex 0,
# one picture per monitor, a tray start.
write_home() {
    local home=$1 count=${2:-5} e
    {
        printf '[Main]\r\nIdx=%d\r\n' $((count - 1))
        for e in $(seq 0 $((count - 1))); do printf 'file%d=%s,%s,\r\n' "$e" "$work/entry$e.bmp" "${entry_fields[$e]}"; done
    } >"$home/g.dat"
    printf '[Main]\r\nOp1Checked=1\r\nOpPerMonitor=1\r\nUseSection=g.dat\r\nUseIndex=0\r\n' >"$home/Tapisto.ini"
    printf 'IntervalHH=1\r\nIntervalMM=0\r\nIntervalSS=0\r\n' >>"$home/Tapisto.ini"
}
bitmap() { echo "$TAPISTO_HOME/Tapisto_WallPaper.bmp"; }
# The output bitmap's size, WxH, from its header.
bitmap_size() {
    local w h
    read -r w h < <(od -An -td4 -j18 -N8 "$(bitmap)" 2>/dev/null) || return 1
    echo "${w}x${h#-}"
}

# The colour entry E shows at (X, Y) of a W x H monitor.
expect() {
    local e=$1 w=$2 h=$3 x=$4 y=$5 c bh top
    read -r -a c <<<"${entry_colours[$e]}"
    case ${entry_kinds[$e]} in
    stretch) ;;
    band)
        bh=$(((w + 2) / 4)) top=$(((h - (w + 2) / 4) / 2))
        if [ "$y" -lt "$top" ] || [ "$y" -ge $((top + bh)) ]; then echo black && return; fi
        ;;
    tile)
        if [ $((x % 24)) -lt 12 ]; then echo "${c[0]}"; else echo "${c[1]}"; fi
        return
        ;;
    esac
    if [ $((x * 3)) -lt "$w" ]; then echo "${c[0]}"; elif [ $((x * 3)) -ge $((2 * w)) ]; then echo "${c[2]}"; else echo "${c[1]}"; fi
}

# The points of a W x H monitor that are checked for entry E: "LABEL X Y" (X, Y within the monitor).
# The corners' rows are `edge_top` and `edge_bottom` rows in, clear of a desktop's own panels.
edge_top=0 edge_bottom=0
points_of() {
    local e=$1 w=$2 h=$3
    echo "top-left 0 $edge_top"
    echo "top-right $((w - 1)) $edge_top"
    echo "bottom-left 0 $((h - 1 - edge_bottom))"
    echo "bottom-right $((w - 1)) $((h - 1 - edge_bottom))"
    echo "centre $((w / 2)) $((h / 2))"
    if [ "${entry_kinds[$e]}" = band ]; then
        local top=$(((h - (w + 2) / 4) / 2)) bottom=$(((h - (w + 2) / 4) / 2 + (w + 2) / 4))
        echo "band-left 2 $((h / 2))"
        echo "band-right $((w - 3)) $((h / 2))"
        echo "above-band $((w / 2)) $((top - 3))"
        echo "band-top $((w / 2)) $((top + 2))"
        echo "below-band $((w / 2)) $((bottom + 2))"
    fi
}

# Names the colour of "R G B", or gives its hex.
colour_name() {
    local r=$1 g=$2 b=$3 name
    for name in black white red green blue yellow cyan magenta; do
        local hex
        hex=$(hex_of "$name")
        if near "$r" $((16#${hex:0:2})) && near "$g" $((16#${hex:2:2})) && near "$b" $((16#${hex:4:2})); then
            echo "$name"
            return
        fi
    done
    printf '#%02x%02x%02x\n' "$r" "$g" "$b"
}
near() { [ $(($1 > $2 ? $1 - $2 : $2 - $1)) -le 60 ]; }

# A screenshot as raw RGB rows in $dir/IMAGE.rgb, its width in shot_width[IMAGE]: the X root
# window, or with sway one output's own pixels.
declare -A shot_width=()
take_shot() {
    local image=$1
    if [ "$image" = root ] && [ "${shot_method:-}" = gnome ]; then
        gnome_screenshot "$dir/$image.png" || return 1
    elif [ "$image" = root ]; then
        import -window root "$dir/$image.png" 2>/dev/null || return 1
    else
        as_user grim -o "$image" "$dir/$image.png" 2>/dev/null || return 1
    fi
    shot_width[$image]=$(identify -format '%w' "$dir/$image.png") || return 1
    convert "$dir/$image.png" -depth 8 "rgb:$dir/$image.rgb" 2>/dev/null
}
# "NAME #RRGGBB" of the pixel at (X, Y) of the screenshot IMAGE.
pixel_of() {
    local image=$1 x=$2 y=$3 r g b
    read -r r g b < <(od -An -tu1 -j $(((y * ${shot_width[$image]} + x) * 3)) -N3 "$dir/$image.rgb")
    printf '%s #%02x%02x%02x\n' "$(colour_name "$r" "$g" "$b")" "$r" "$g" "$b"
}

# check_screen "IMAGE NAME X Y W H ENTRY"... ["IMAGE outside X Y"...]: every monitor NAME at X,Y of
# the screenshot IMAGE shows entry ENTRY, and the points outside every monitor are black. Tries for
# up to three seconds (a desktop draws after it was told); prints every point of the last try.
check_screen() {
    local check image name ox oy w h e label x y want got raw place lines=() bad=1
    for _ in $(seq 15); do
        lines=() bad=0
        local -A taken=()
        for check in "$@"; do
            read -r image name ox oy w h e <<<"$check"
            if [ -z "${taken[$image]:-}" ]; then
                take_shot "$image" || { bad=1 && lines+=("    cannot read the screen ($image): $(tr '\n' ' ' <"$dir/screenshot.err" 2>/dev/null)") && continue; }
                taken[$image]=1
            fi
            if [ "$name" = outside ]; then
                read -r got raw < <(pixel_of "$image" "$ox" "$oy")
                [ "$got" = black ] || bad=1
                lines+=("$(printf '    no monitor     (%4d,%4d)  expected %-8s got %-8s %s  %s' "$ox" "$oy" black "$got" "$raw" \
                    "$([ "$got" = black ] && echo ok || echo WRONG)")")
                continue
            fi
            # On the X root the points are in root coordinates; grim gives an output's own pixels.
            place=$([ "$image" = root ] && printf '%+d%+d' "$ox" "$oy" || echo " (grim -o $image)")
            lines+=("$(printf '    %s %dx%d%s: entry %d (%s, %s)' "$name" "$w" "$h" "$place" "$e" \
                "${entry_words[$e]}" "${entry_colours[$e]// /|}")")
            while read -r label x y; do
                want=$(expect "$e" "$w" "$h" "$x" "$y")
                read -r got raw < <(pixel_of "$image" $((ox + x)) $((oy + y)))
                [ "$got" = "$want" ] || bad=1
                lines+=("$(printf '      %-12s (%4d,%4d)  expected %-8s got %-8s %s  %s' "$label" $((ox + x)) $((oy + y)) \
                    "$want" "$got" "$raw" "$([ "$got" = "$want" ] && echo ok || echo WRONG)")")
            done < <(points_of "$e" "$w" "$h")
        done
        [ $bad -eq 0 ] && break
        sleep 0.2
    done
    printf '%s\n' "${lines[@]}"
    return $bad
}

# tapistoctl with its run time in ms printed.
run_ctl() {
    local start end
    start=$(date +%s%N)
    as_user "$ctl" "$@" >"$dir/ctl.out" 2>"$dir/ctl.err" || fail "tapistoctl $*: $(cat "$dir/ctl.err")"
    end=$(date +%s%N)
    took=$(((end - start) / 1000000))
}

note() { echo "  $*"; }
fail() {
    echo "FAIL [$name]: $*"
    [ -f "$dir/app.err" ] && tail -5 "$dir/app.err" | sed 's/^/    program | /'
    [ -f "$dir/desktop.log" ] && tail -5 "$dir/desktop.log" | sed 's/^/    desktop | /'
    [ -n "${DISPLAY:-}" ] && xrandr --listmonitors 2>/dev/null | sed 's/^/    xrandr | /'
    exit 1
}
skip() {
    echo "SKIP [$name]: $*"
    exit 77
}
expect_index() {
    [ "$(use_index)" = "$1" ] || fail "UseIndex is $(use_index), expected $1"
}

# A fresh home, profile and private session bus, with the group of N entries (5 unless given) written.
begin_session() {
    begin_private_session
    write_home "$TAPISTO_HOME" "${1:-5}"
    [ -z "${session_user:-}" ] || chown -R "$session_user:" "$TAPISTO_HOME"
}

# --- X11 ---------------------------------------------------------------------------------------------

root_pixmap() { xprop -root _XROOTPMAP_ID 2>/dev/null | awk '/pixmap id/ {print $NF}'; }
status_line() { as_user "$ctl" status 2>/dev/null | sed -n "s/^$1: //p"; }
program_running() { [ "$(status_line state)" = running ]; }
layout_is() { [ "$(status_line monitors)" = "$1" ]; }

# Runs an xrandr change and watches the root pixmap and the output bitmap for six seconds: exactly
# one new root pixmap must come, within five seconds, with the bitmap at WxH.
hotplug() {
    local what=$1 size=$2 start now first='' pixmap last seen=() bitmap_now
    shift 2
    last=$(root_pixmap)
    start=$(date +%s%N)
    xrandr "$@" || fail "xrandr $*"
    while :; do
        now=$(date +%s%N)
        [ $(((now - start) / 1000000)) -lt 6000 ] || break
        pixmap=$(root_pixmap)
        if [ -n "$pixmap" ] && [ "$pixmap" != "$last" ]; then
            seen+=("$pixmap")
            last=$pixmap
            [ -n "$first" ] || first=$(((now - start) / 1000000))
        fi
        sleep 0.05
    done
    bitmap_now=$(bitmap_size)
    note "$what (xrandr $*): the wallpaper was drawn again after ${first:-never} ms, ${#seen[@]} time(s) in 6 s; bitmap $bitmap_now"
    [ -n "$first" ] || fail "$what: the wallpaper was not drawn again"
    # About 1.3 s on an idle machine; the bound leaves room for a busy one.
    [ "$first" -le 5000 ] || fail "$what: drawn again only after $first ms"
    [ ${#seen[@]} -eq 1 ] || fail "$what: drawn ${#seen[@]} times, not once"
    [ "$bitmap_now" = "$size" ] || fail "$what: the output bitmap is $bitmap_now, expected $size"
}

session_x11() {
    require_session_tools xprop trayer xdotool
    begin_session
    start_two_monitors
    note "X server: Xorg $(Xorg -version 2>&1 | sed -n 's/^X.Org X Server //p') with the dummy driver on $DISPLAY"
    note "monitors: $(xrandr --listmonitors | sed -n 's/^ *[0-9]*: [+*]*\([A-Z0-9]*\) \([0-9]*\)\/[0-9]*x\([0-9]*\)\/[0-9]*\([+-][0-9]*[+-][0-9]*\).*/\1 \2x\3\4/p' | tr '\n' ' ')"
    export TAPISTO_DESKTOP=x11 QT_QPA_PLATFORM=xcb XDG_CURRENT_DESKTOP=""
    local beside=("root DUMMY0 0 0 1024 768" "root DUMMY1 1024 0 800 600")
    local step
    for step in "next 0 1 2" "next 2 3 4" "next 4 0 1" "back 2 3 4" "back 0 1 2"; do
        local command a b index
        read -r command a b index <<<"$step"
        run_ctl "$command"
        echo "-- tapistoctl $command: ${took} ms; UseIndex now $(use_index) (expected $index); bitmap $(bitmap_size)"
        check_screen "${beside[0]} $a" "${beside[1]} $b" "root outside 1424 700" || fail "tapistoctl $command: wrong pixels"
        expect_index "$index"
        [ "$(bitmap_size)" = 1824x768 ] || fail "the output bitmap is $(bitmap_size), not the two monitors' box 1824x768"
    done

    echo "-- the tray program"
    start_trayer_centred
    "$program" >"$dir/app.out" 2>"$dir/app.err" &
    pids+=($!)
    wait_for_n 100 sh -c "'$ctl' status | grep -qx 'state: running'" || fail "the program does not answer on the bus"
    run_ctl next
    echo "-- tapistoctl next through the program: ${took} ms; UseIndex now $(use_index); monitors $(status_line monitors)"
    check_screen "${beside[0]} 2" "${beside[1]} 3" "root outside 1424 700" || fail "the program's change: wrong pixels"
    expect_index 4
    [ "$(status_line next_entry)" = 4 ] || fail "the program's own position is $(status_line next_entry), not 4"
    [ "$(status_line monitors)" = "DUMMY0=1024x768+0+0,DUMMY1=800x600+1024+0" ] ||
        fail "the program made its change for $(status_line monitors)"

    hotplug "DUMMY1 switched off" 1024x256 --output DUMMY1 --off
    check_screen "root DUMMY0 0 0 1024 768 2" || fail "after DUMMY1 was switched off: wrong pixels"
    expect_index 4
    [ "$(status_line next_entry)" = 4 ] || fail "the program's own position moved to $(status_line next_entry)"
    [ "$(status_line monitors)" = "DUMMY0=1024x768+0+0" ] || fail "rendered for $(status_line monitors)"

    hotplug "DUMMY1 back on" 1824x768 --output DUMMY1 --mode 800x600_60.00 --right-of DUMMY0
    check_screen "${beside[0]} 2" "${beside[1]} 3" "root outside 1424 700" || fail "after DUMMY1 came back: wrong pixels"
    expect_index 4

    # Monitors are known by their names: moved, each keeps its own picture.
    hotplug "DUMMY1 moved to the left of DUMMY0" 1824x768 --output DUMMY1 --left-of DUMMY0
    check_screen "root DUMMY1 0 0 800 600 3" "root DUMMY0 800 0 1024 768 2" "root outside 400 700" ||
        fail "after DUMMY1 moved: wrong pixels"
    expect_index 4
    [ "$(status_line monitors)" = "DUMMY1=800x600+0+0,DUMMY0=1024x768+800+0" ] || fail "rendered for $(status_line monitors)"

    # One above the other: the upper monitor comes first.
    hotplug "DUMMY1 moved below DUMMY0" 1024x1368 --output DUMMY0 --pos 0x0 --output DUMMY1 --pos 0x768
    check_screen "root DUMMY0 0 0 1024 768 2" "root DUMMY1 0 768 800 600 3" "root outside 900 1000" ||
        fail "after DUMMY1 moved below: wrong pixels"
    expect_index 4
    [ "$(status_line monitors)" = "DUMMY0=1024x768+0+0,DUMMY1=800x600+0+768" ] || fail "rendered for $(status_line monitors)"
    status_line last_error | grep -q . && fail "the program reports: $(status_line last_error)"
    exit 0
}

# A fresh Xorg with two monitors of different sizes: DUMMY0 1024x768+0+0 and DUMMY1 800x600+1024+0
# (the dummy driver's second output is given a mode first).
start_two_monitors() {
    require_session_tools Xorg xrandr
    start_xorg
    use_dummy_monitors 2
}

# LXQt and LXDE: the file manager draws the desktop as one window over both monitors and is handed
# the box of both pictures; tapistoctl next twice, each monitor checked on the screen.
# A fresh session on two monitors with the desktop program COMMAND... running.
start_desktop_program() {
    local program=$1
    shift
    require_session_tools "$program" xwininfo
    begin_session
    start_two_monitors
    export QT_QPA_PLATFORM=xcb XDG_CURRENT_DESKTOP=""
    "$program" "$@" >"$dir/desktop.log" 2>&1 &
    pids+=($!)
}
# Checks `tapistoctl next` twice; "A B INDEX" per step: the entries on DUMMY0 and DUMMY1 (- for a
# monitor not checked) and UseIndex after it.
check_next_steps() {
    local beside=("root ${monitor_names[0]} 0 0 1024 768" "root ${monitor_names[1]} 1024 0 800 600") step a b index checks
    for step in "$@"; do
        read -r a b index <<<"$step"
        run_ctl next
        echo "-- tapistoctl next: ${took} ms; UseIndex now $(use_index) (expected $index)"
        [ -s "$dir/ctl.err" ] && echo "   it says: $(cat "$dir/ctl.err")"
        checks=("${beside[0]} $a")
        [ "$b" = - ] || checks+=("${beside[1]} $b")
        [ "$b" = - ] || [ "${outside_seen:-yes}" = no ] || checks+=("root outside 1424 700")
        check_screen "${checks[@]}" || fail "wrong pixels"
        expect_index "$index"
    done
}

monitor_names=(DUMMY0 DUMMY1)

# --- GNOME, KDE Plasma, Cinnamon -------------------------------------------------------------------

# On a desktop session with both monitors: tapistoctl next twice; then the tray program (a group of
# seven entries): a change through it; a burst of five changes 200 ms apart, which must end on the
# fifth; the second monitor switched off with `monitors_off`, and back with `monitors_on`.
# Each step is checked on the screen's pixels at every monitor's corners and centre.
check_desktop_monitors() {
    local desktop=$1
    check_next_steps "0 1 2" "2 3 4"
    echo "-- the tray program"
    "${run_as[@]}" "$program" >"$dir/app.out" 2>"$dir/app.err" &
    pids+=($!)
    wait_seconds 60 program_running ||
        fail "$desktop: the program does not answer on the bus within 60 s"
    local two="${monitor_names[0]}=1024x768+0+0,${monitor_names[1]}=800x600+1024+0" one="${monitor_names[0]}=1024x768+0+0"
    run_ctl next
    echo "-- tapistoctl next through the program: ${took} ms; UseIndex now $(use_index)"
    layout_is "$two" || fail "$desktop: the program made its change for $(status_line monitors), not $two"
    check_screen "root ${monitor_names[0]} 0 0 1024 768 4" "root ${monitor_names[1]} 1024 0 800 600 5" ||
        fail "$desktop: the program's change: wrong pixels"
    expect_index 6

    # Five changes 200 ms apart, each through the program: they end on the fifth, which shows entries
    # 0 and 1 (the changes show 6 0, 1 2, 3 4, 5 6, 0 1).
    local start end i burst=()
    start=$(date +%s%N)
    for i in 1 2 3 4 5; do
        as_user "$ctl" next >"$dir/burst$i.out" 2>&1 &
        burst+=($!)
        sleep 0.2
    done
    for i in "${burst[@]}"; do wait "$i" || fail "$desktop: a change of the burst failed: $(cat "$dir"/burst*.out)"; done
    end=$(date +%s%N)
    echo "-- a burst of 5 changes 200 ms apart: all answered after $(((end - start) / 1000000)) ms; UseIndex now $(use_index)"
    check_screen "root ${monitor_names[0]} 0 0 1024 768 0" "root ${monitor_names[1]} 1024 0 800 600 1" ||
        fail "$desktop: the burst did not end on its fifth change"
    expect_index 2

    desktop_hotplug "$desktop" "${monitor_names[1]} switched off" "$one" monitors_off
    check_screen "root ${monitor_names[0]} 0 0 1024 768 0" || fail "$desktop: after ${monitor_names[1]} was switched off: wrong pixels"
    expect_index 2

    desktop_hotplug "$desktop" "${monitor_names[1]} back on" "$two" monitors_on
    check_screen "root ${monitor_names[0]} 0 0 1024 768 0" "root ${monitor_names[1]} 1024 0 800 600 1" ||
        fail "$desktop: after ${monitor_names[1]} came back: wrong pixels"
    expect_index 2
    status_line last_error | grep -q . && fail "$desktop: the program reports: $(status_line last_error)"
    exit 0
}

# Runs COMMAND (a hot-plug) and waits until the program has made its change for LAYOUT: prints how
# long that took.
desktop_hotplug() {
    local desktop=$1 what=$2 layout=$3 start end
    shift 3
    start=$(date +%s%N)
    "$@" || fail "$desktop: $what: the desktop refused the change of monitors"
    wait_seconds 30 layout_is "$layout" ||
        fail "$desktop: $what: the program made no change for $layout within 30 s (it has $(status_line monitors))"
    end=$(date +%s%N)
    note "$what: the program rendered for $layout after $(((end - start) / 1000000)) ms"
}

# GNOME: gnome-shell headless on two virtual monitors; the second is taken away and given back through
# mutter's own display configuration interface. The tray icon goes to a StatusNotifierItem watcher's
# stand-in (as with GNOME's AppIndicator extension).
session_gnome() {
    use_unprivileged_user
    begin_session 7
    export XDG_CURRENT_DESKTOP=GNOME QT_QPA_PLATFORM=wayland
    shot_method=gnome
    unset TAPISTO_DESKTOP
    start_gnome_shell 1024x768 800x600
    [ -x "$e2e_tools/sni_watcher" ] || skip "no $e2e_tools/sni_watcher (built with the tests)"
    "${run_as[@]}" "$e2e_tools/sni_watcher" >"$dir/watcher.out" 2>&1 &
    pids+=($!)
    wait_seconds 30 grep -q '^watcher ready' "$dir/watcher.out" || fail "GNOME: the tray watcher's stand-in did not start"
    gnome_display_state
    note "$(as_user gnome-shell --version), headless; monitors ${gnome_connectors[*]}: ${gnome_modes[*]}"
    read -r -a monitor_names <<<"${gnome_connectors[*]}"
    # Its top bar covers the top 32 rows of the first monitor.
    edge_top=40
    monitors_off() { gnome_apply_monitors 1; }
    monitors_on() { gnome_apply_monitors 2; }
    check_desktop_monitors GNOME
}

session_kde() {
    begin_session 7
    start_two_monitors
    export XDG_CURRENT_DESKTOP=KDE
    unset TAPISTO_DESKTOP
    start_plasma
    note "$(plasmashell --version 2>/dev/null) on Xorg's dummy driver, software GL; Plasma's screens: $(plasma_wallpapers | awk '{print $1}' | tr '\n' ' ')"
    # Its panel covers the bottom rows of the first monitor.
    edge_bottom=50
    monitors_off() { xrandr --output DUMMY1 --off; }
    monitors_on() { xrandr --output DUMMY1 --mode 800x600_60.00 --right-of DUMMY0; }
    check_desktop_monitors "KDE Plasma"
}

session_cinnamon() {
    begin_session 7
    start_two_monitors
    export XDG_CURRENT_DESKTOP=X-Cinnamon
    unset TAPISTO_DESKTOP
    start_cinnamon
    note "$(cinnamon --version) on Xorg's dummy driver"
    edge_bottom=50
    # Cinnamon draws each monitor's part of the background; the root window's rest, which no monitor
    # shows, holds whatever was there before.
    outside_seen=no
    monitors_off() { xrandr --output DUMMY1 --off; }
    monitors_on() { xrandr --output DUMMY1 --mode 800x600_60.00 --right-of DUMMY0; }
    check_desktop_monitors Cinnamon
}

# LXQt: pcmanfm-qt draws one desktop window over both monitors and is handed the box of both pictures.
session_lxqt() {
    TAPISTO_DESKTOP=lxqt start_desktop_program pcmanfm-qt --desktop --profile=lxqt
    export TAPISTO_DESKTOP=lxqt
    wait_for_n 50 sh -c "xwininfo -root -children | grep -q '\"pcmanfm-qt\": (.* 1824x768+0+0'" ||
        fail "pcmanfm-qt --desktop did not cover both monitors: $(xwininfo -root -children | grep pcmanfm-qt)"
    check_next_steps "0 1 2" "2 3 4"
    exit 0
}

# LXDE: pcmanfm's running desktop takes a new picture for its first monitor only, so the change
# says so and shows one entry, on the first monitor, and moves on by one.
session_lxde() {
    start_desktop_program pcmanfm --desktop --profile LXDE
    export TAPISTO_DESKTOP=lxde
    wait_for_n 50 bash -c "ls '$XDG_RUNTIME_DIR'/pcmanfm-socket-*" || fail "pcmanfm --desktop did not start"
    check_next_steps "0 - 1" "1 - 2"
    grep -q "LXDE (pcmanfm)" "$dir/ctl.err" || fail "the refusal does not name LXDE: $(cat "$dir/ctl.err")"
    exit 0
}

# Xfce: xfdesktop spans the box over both monitors (image-style 6), set on every monitor's property.
session_xfce() {
    require_session_tools xfconf-query
    start_desktop_program xfdesktop --disable-wm-check
    export TAPISTO_DESKTOP=xfce
    check_next_steps "0 1 2" "2 3 4"
    note "xfconf: $(xfconf-query -c xfce4-desktop -l | grep -c 'last-image$') last-image properties, styles $(
        for p in $(xfconf-query -c xfce4-desktop -l | grep 'image-style$'); do xfconf-query -c xfce4-desktop -p "$p"; done | sort -u | tr '\n' ' ')"
    exit 0
}

# MATE: caja draws the desktop, picture-options 'spanned' over both monitors.
session_mate() {
    gsettings list-schemas 2>/dev/null | grep -x org.mate.background >/dev/null || skip "no org.mate.background schema"
    export GSETTINGS_BACKEND=dconf
    start_desktop_program caja --force-desktop -n
    export TAPISTO_DESKTOP=mate
    wait_for_n 50 sh -c "xwininfo -root -children | grep -q 'caja'" || fail "caja did not start"
    sleep 1
    check_next_steps "0 1 2" "2 3 4"
    note "gsettings: $(gsettings get org.mate.background picture-options) $(gsettings get org.mate.background picture-filename)"
    exit 0
}

# trayer at the top, in the middle of the screen, clear of every point that is checked.
start_trayer_centred() {
    trayer --edge top --align center --widthtype request --height 24 >"$dir/trayer.log" 2>&1 &
    pids+=($!)
    wait_for xdotool search --onlyvisible --class trayer || fail "trayer did not start"
}

require_session_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps.sh, scripts/deps-desktops.sh)"
    done
}

# --- sway --------------------------------------------------------------------------------------------

session_sway() {
    require_session_tools sway swaybg grim swaymsg
    # sway refuses to run as root: it runs, and so does tapistoctl, as an unprivileged user.
    use_unprivileged_user
    begin_session
    cat >"$dir/config" <<'EOF'
output HEADLESS-1 mode 1024x768 position 800 0
output HEADLESS-2 mode 800x600 position 0 0
output * bg #000000 solid_color
EOF
    export XDG_CURRENT_DESKTOP=sway TAPISTO_DESKTOP=sway
    start_headless_sway 2
    note "sway $(as_user sway --version | awk '{print $3}'), headless outputs: $(as_user swaymsg -p -t get_outputs |
        awk '/^Output/ {n = $2} /Current mode:/ {m = $3} /Position:/ {sub(",", "+", $2); printf "%s %s+%s  ", n, m, $2}')"
    local step
    for step in "0 1 2" "2 3 4"; do
        local a b index swaybg
        read -r a b index <<<"$step"
        run_ctl next
        swaybg=$(pgrep -a -x -u "${session_user:-$(id -u)}" swaybg | grep -e ' -o ' | cut -d' ' -f2-)
        echo "-- tapistoctl next: ${took} ms; UseIndex now $(use_index) (expected $index)"
        echo "   swaybg: $swaybg"
        local piece1 piece2
        piece1="$TAPISTO_HOME/Tapisto_WallPaper.HEADLESS-1.bmp" piece2="$TAPISTO_HOME/Tapisto_WallPaper.HEADLESS-2.bmp"
        [[ $swaybg == *"-o HEADLESS-1 -i $piece1 -m stretch"* && $swaybg == *"-o HEADLESS-2 -i $piece2 -m stretch"* ]] ||
            fail "swaybg has no -o group for each output"
        check_screen "HEADLESS-2 HEADLESS-2 0 0 800 600 $a" "HEADLESS-1 HEADLESS-1 0 0 1024 768 $b" ||
            fail "wrong pixels on the outputs"
        expect_index "$index"
    done
    exit 0
}

# --- the sessions ------------------------------------------------------------------------------------

run_each_and_exit session_ "${sessions[@]}"
