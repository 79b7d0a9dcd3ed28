# Shared by the end-to-end scripts and the idle benchmark (sourced, not run): a scratch folder and
# the processes started into it, both removed at exit; polling; an Xvfb on a free display; trayer
# as the XEmbed notification area. Anything missing is a skip (exit 77), never a failure.

# Skips unless every named tool is installed.
require_tools() {
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (scripts/deps.sh installs it)"
            exit 77
        fi
    done
}

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Polls a command every 0.1 s, up to N times.
wait_for_n() {
    local n=$1
    shift
    for _ in $(seq "$n"); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}
wait_for() { wait_for_n 50 "$@"; }

# The list editor's window (its title begins 壁紙の設定), or nothing while it is not shown.
editor_window() { xdotool search --onlyvisible --name '^壁紙の設定' 2>/dev/null | head -n 1; }
editor_shown() { [ -n "$(editor_window)" ]; }

# Opens the tray menu of the program $program with a right click on its icon (the last one trayer
# shows for it); the menu is up when this returns.
open_tray_menu() {
    local icon= w
    for w in $(xdotool search --onlyvisible --classname "$(basename "$program")" 2>/dev/null); do icon=$w; done
    [ -n "$icon" ] || fail "no tray icon"
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
    sleep 0.2
    xdotool click 3
    sleep 0.6
}

# Progress lines, stamped with the seconds since the script began.
e2e_started=$(date +%s)
say() { echo "[$(($(date +%s) - e2e_started))s] $*"; }

# What a failed test of the running program prints before it ends: the program's status (through
# $ctl), its settings when $home is set, and its standard error ($work/app.err).
print_program_state() {
    echo "--- status:"; "$ctl" status 2>&1
    [ -z "${home:-}" ] || { echo "--- settings:"; cat "$home/Tapisto.ini" 2>/dev/null; }
    echo "--- program errors:"; cat "$work/app.err"
}

# The usual end of a failed test of the running program; a script that shows more defines its own.
fail() {
    echo "FAIL: $*"
    print_program_state
    exit 1
}

# -displayfd lets Xvfb pick a free display, so parallel runs do not collide; -noreset keeps it up
# between clients (the root pixmap survives).
start_xvfb() {
    Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.err" &
    pids+=($!)
    wait_for test -s "$work/display" || { echo "SKIP: Xvfb did not start: $(cat "$work/xvfb.err")"; exit 77; }
    export DISPLAY=":$(cat "$work/display")"
}

start_trayer() {
    trayer --edge top --align right --widthtype request --height 32 >"$work/trayer.log" 2>&1 &
    pids+=($!)
    wait_for xdotool search --onlyvisible --class trayer || { echo "SKIP: trayer did not start"; exit 77; }
}

# Starts the tray icon's test program $app with the arguments given and its debug lines on standard
# output ($work/app.out), and waits until it has registered its icon; from here a failure prints that
# output and its errors.
start_tray_test_app() {
    fail() {
        echo "FAIL: $*"
        echo "--- program output:"; cat "$work/app.out"
        echo "--- program errors:"; cat "$work/app.err"
        exit 1
    }
    : >"$work/app.out"
    QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="tapisto.tray.debug=true" "$app" "$@" >"$work/app.out" 2>"$work/app.err" &
    pids+=($!)
    wait_for grep -q '^registered' "$work/app.out" || fail "the icon was not registered"
}

# A 4 x 4 picture of one colour (RRGGBB), as a 24-bit BMP; tiled, it fills the screen with it.
make_bmp() {
    local file=$1 rgb=$2
    local r=${rgb:0:2} g=${rgb:2:2} b=${rgb:4:2}
    {
        printf 'BM\x66\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00'
        printf '\x28\x00\x00\x00\x04\x00\x00\x00\x04\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00'
        printf '\x30\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
        for _ in $(seq 16); do printf "\\x$b\\x$g\\x$r"; done
    } >"$file"
}

# Waits up to $2 seconds for the root window to show colour $1; the caller defines root_colour.
wait_root() {
    local want=$1 seconds=$2 got=
    for _ in $(seq $((seconds * 4))); do
        got=$(root_colour)
        [ "$got" = "$want" ] && return 0
        sleep 0.25
    done
    echo "root window shows $got, expected $want"
    return 1
}

# The visible main window: the window named "Tapisto" that is 231 pixels wide.
main_window() {
    local w X Y WIDTH HEIGHT SCREEN WINDOW
    for w in $(xdotool search --onlyvisible --name '^Tapisto$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$WIDTH" -eq 231 ]; then echo "$w"; return 0; fi
    done
    return 1
}
# The program's message boxes: its windows named "Tapisto" other than the main window.
boxes() {
    local w X Y WIDTH HEIGHT SCREEN WINDOW n=0
    for w in $(xdotool search --onlyvisible --name '^Tapisto$' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        [ "$WIDTH" -eq 231 ] || n=$((n + 1))
    done
    echo $n
}
boxes_are() { [ "$(boxes)" -eq "$1" ]; }

# A fresh home for the program, $work/home (`home`, its TAPISTO_HOME), with a folder for its
# configuration and a private runtime folder; the plain X11 backend, Qt on the X server.
make_program_home() {
    home=$work/home
    mkdir -p "$home" "$work/config" "$work/runtime"
    chmod 700 "$work/runtime"
    export TAPISTO_HOME=$home TAPISTO_DESKTOP=x11 XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
    export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
}

# The running program's status (through $ctl) has the line $1.
status_is() { "$ctl" status | grep -qx "$1"; }
# The position stored in the settings of $TAPISTO_HOME.
use_index() { sed -n 's/^UseIndex=\([0-9]*\).*/\1/p' "$TAPISTO_HOME/Tapisto.ini"; }

# Starts $program (its output in $work/app$1.out and $work/app$1.err) as `app_pid`, and waits until
# it answers on the bus; false when it does not.
start_tray_program() {
    "$program" >"$work/app${1:-}.out" 2>"$work/app${1:-}.err" &
    app_pid=$!
    pids+=("$app_pid")
    wait_for status_is "state: running"
}

# Runs FUNCTION_PREFIX$name for each name, each in a subshell of its own (its variables and processes
# end with it: it puts the processes it starts in `pids`), prints a summary and exits: 0 when every
# one that could run passed, 1 on a failure, 77 when none could run (a function exits 77 to skip).
run_each_and_exit() {
    local prefix=$1 name summary=() failed=0 ran=0
    shift
    for name in "$@"; do
        echo "== $name"
        if ! declare -F "$prefix$name" >/dev/null; then
            echo "SKIP [$name]: this script has no check for it"
            summary+=("$name: skipped (no check)")
            continue
        fi
        (
            # hard_pids: programs that may hang past SIGTERM (gnome-shell); they and their children
            # get SIGKILL.
            pids=() hard_pids=()
            trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
                for pid in "${hard_pids[@]}"; do pkill -KILL -P "$pid"; kill -KILL "$pid"; done 2>/dev/null
                end_bus_activated; wait 2>/dev/null' EXIT
            "$prefix$name"
        )
        case $? in
        0) summary+=("$name: passed") ran=$((ran + 1)) ;;
        77) summary+=("$name: skipped") ;;
        *) summary+=("$name: FAILED") ran=$((ran + 1)) failed=1 ;;
        esac
    done
    echo "== summary"
    printf '  %s\n' "${summary[@]}"
    [ $failed -eq 0 ] || exit 1
    [ $ran -gt 0 ] || exit 77
    exit 0
}

# Ends the programs that the private session bus in $dir started on demand and that outlive it (KDE's
# plasma_waitforname): those whose starter address is that bus.
end_bus_activated() {
    [ -n "${dir:-}" ] || return 0
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        tr '\0' '\n' 2>/dev/null <"$environ" | grep -q "^DBUS_STARTER_ADDRESS=unix:path=$dir/runtime/bus" &&
            kill "$pid" 2>/dev/null
    done
    return 0
}

# A desktop's user for the desktop scripts: `run_as` is empty, or setpriv's arguments (the program is
# started with it directly, so that $! is the program); `as_user` runs a command as that user.
run_as=()
as_user() { "${run_as[@]}" "$@"; }

# As root, makes everything after it run as the unprivileged user tapisto-e2e (sway refuses to run as
# root); skips (77) when that cannot be done, also when that user cannot reach the build (a tree under
# /root, say). Sets `session_user` for begin_private_session.
use_unprivileged_user() {
    [ "$(id -u)" -eq 0 ] || return 0
    command -v setpriv >/dev/null || skip "setpriv is not installed (package util-linux)"
    local user=tapisto-e2e
    id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" ||
        skip "cannot create the user $user"
    run_as=(setpriv --reuid="$user" --regid="$user" --init-groups --)
    "${run_as[@]}" test -x "$ctl" || skip "the user $user cannot run $ctl (a folder on its path is closed to it)"
    session_user=$user
}

# A fresh home, profile and Tapisto home in $work/$name (`dir`) and a private session bus of their own
# (a stray session bus of the user's would otherwise be started by D-Bus activation).
begin_private_session() {
    dir="$work/$name"
    mkdir -p "$dir/home/.config" "$dir/runtime" "$dir/tapisto"
    chmod 700 "$dir/runtime"
    export HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" XDG_RUNTIME_DIR="$dir/runtime"
    export TAPISTO_HOME="$dir/tapisto" XDG_SESSION_DESKTOP="" DESKTOP_SESSION=""
    unset WAYLAND_DISPLAY SWAYSOCK QT_QPA_PLATFORM
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/runtime/bus"
    [ -z "${session_user:-}" ] || chown -R "$session_user:" "$dir"
    "${run_as[@]}" dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >/dev/null 2>&1 &
    pids+=($!)
    wait_for test -S "$dir/runtime/bus" || fail "dbus-daemon did not start"
}

# sway's headless backend with N outputs, as the desktop's user, on the config in $dir/config; exports
# SWAYSOCK and WAYLAND_DISPLAY for the commands after it.
start_headless_sway() {
    export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=$1
    unset DISPLAY
    "${run_as[@]}" sway -c "$dir/config" >"$dir/desktop.log" 2>&1 &
    pids+=($!)
    wait_for_n 100 bash -c "ls '$XDG_RUNTIME_DIR'/sway-ipc.*.sock" || fail "sway did not start"
    export SWAYSOCK WAYLAND_DISPLAY=wayland-1
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
    wait_for test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || fail "no Wayland socket"
}
