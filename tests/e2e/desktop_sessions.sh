# The large desktops for the desktop end-to-end scripts (sourced after xsession.sh, by a script that
# defines fail and skip and has called begin_private_session, with the test helpers' folder in
# e2e_tools): Xorg with the dummy video driver,
# GNOME Shell headless on virtual monitors, KDE Plasma's plasmashell and Cinnamon on an X server.
# Every wait polls for the desktop being ready and gives up after a generous bound (the machine may
# be busy), then fails naming the desktop and the step.

# Runs a command until it succeeds, every 0.2 s for up to N seconds (however long each run takes).
wait_seconds() {
    local deadline=$((SECONDS + $1))
    shift
    while :; do
        "$@" >/dev/null 2>&1 && return 0
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}

# Keeps the last screenshot of a failed check where the log names it.
keep_failed_shot() {
    [ -s "$dir/shot.png" ] || return 0
    cp "$dir/shot.png" "${TMPDIR:-/tmp}/tapisto-e2e-$name-failed.png" &&
        echo "    the screen at the failure: ${TMPDIR:-/tmp}/tapisto-e2e-$name-failed.png"
}

# Hands the named variables to the programs that the private session bus starts on demand.
activation_environment() {
    local pairs='' name
    for name in "$@"; do pairs+="${pairs:+,}$name,${!name}"; done
    as_user dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.UpdateActivationEnvironment "dict:string:string:$pairs" >/dev/null ||
        fail "the session bus took no environment for its programs"
}

# --- Xorg with the dummy driver ------------------------------------------------------------------

# A framebuffer big enough for two monitors side by side or one above the other; no input devices
# are taken from the machine. Modes of about 60 Hz for the desktops that want a usual refresh rate;
# each monitor's preferred one (1024x768, 800x600 for the second) is what a desktop without a
# configuration of its own gives it.
write_xorg_config() {
    cat >"$1" <<'EOF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 256000
    Option "Monitor-DUMMY0" "monitor"
    Option "Monitor-DUMMY1" "monitor1"
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Modeline "1024x768_60.00"  63.50  1024 1072 1176 1328  768 771 775 798 -hsync +vsync
    Modeline "800x600_60.00"  38.25  800 832 912 1024  600 603 607 624 -hsync +vsync
    Option "PreferredMode" "1024x768_60.00"
EndSection
Section "Monitor"
    Identifier "monitor1"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
    Modeline "800x600_60.00"  38.25  800 832 912 1024  600 603 607 624 -hsync +vsync
    Option "PreferredMode" "800x600_60.00"
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768_60.00" "800x600_60.00"
        Virtual 3840 1600
    EndSubSection
EndSection
EOF
}

# Starts Xorg on a free display and exports DISPLAY; skips where Xorg or its dummy driver cannot run.
start_xorg() {
    command -v Xorg >/dev/null || skip "Xorg is not installed (package xserver-xorg-core; scripts/deps-desktops.sh)"
    [ -e /usr/lib/xorg/modules/drivers/dummy_drv.so ] ||
        skip "the X.Org dummy driver is not installed (package xserver-xorg-video-dummy; scripts/deps-desktops.sh)"
    write_xorg_config "$dir/xorg.conf"
    rm -f "$dir/display"
    # -sharevts -novtswitch: never touch the machine's consoles, even as root.
    Xorg -noreset -nolisten tcp -sharevts -novtswitch -config "$dir/xorg.conf" -logfile "$dir/xorg.log" \
        -displayfd 3 3>"$dir/display" >"$dir/xorg.out" 2>&1 &
    local xorg=$!
    pids+=("$xorg")
    # An Xorg that cannot run here (no permission, no driver) ends at once: no need to wait it out.
    for _ in $(seq 300); do
        [ -s "$dir/display" ] || ! kill -0 $xorg 2>/dev/null && break
        sleep 0.1
    done
    [ -s "$dir/display" ] ||
        skip "Xorg with the dummy driver did not start: $(grep -h -E '\(EE\)|Fatal|error' "$dir/xorg.out" "$dir/xorg.log" 2>/dev/null | head -3 | tr '\n' ' ')"
    DISPLAY=":$(cat "$dir/display")"
    export DISPLAY
    # The desktop's user draws on it too.
    [ -z "${session_user:-}" ] || xhost "+si:localuser:$session_user" >/dev/null
}

# One monitor (DUMMY0 1024x768) or two of different sizes (DUMMY1 800x600 to its right), at 60 Hz.
use_dummy_monitors() {
    # The screen just as big as the monitors (the dummy driver starts larger).
    xrandr --fb 1024x768 --output DUMMY0 --mode 1024x768_60.00 || fail "xrandr could not set DUMMY0 to 1024x768"
    if [ "$1" -eq 2 ]; then
        xrandr --addmode DUMMY1 800x600_60.00 &&
            xrandr --fb 1824x768 --output DUMMY1 --mode 800x600_60.00 --right-of DUMMY0 ||
            fail "xrandr could not add DUMMY1 800x600"
    fi
    # Until a client has asked for the monitors once, a desktop started right away may spread over the
    # first monitor only (seen with pcmanfm-qt; a session's own start-up asks).
    xrandr --listmonitors >/dev/null
}

# --- GNOME Shell -----------------------------------------------------------------------------------

# gnome-shell --headless on virtual monitors of the given sizes, as the desktop's user, with a second
# private bus as its system bus; exports WAYLAND_DISPLAY. It is ready when its Screenshot service
# answers and its start-up overview is closed; notification banners are off (they would cover pixels
# that are checked). gnome-shell 43 hangs now and then in its own code: at start (about one start in
# six here) in the child it forks to launch ibus-daemon, which deadlocks before exec, and later, more
# rarely, in a lock of its JavaScript objects. A start that is not ready in time is tried again; a
# hang later fails at once, named as such (run_large_desktops.sh runs the desktop once more then). A
# hung shell ignores SIGTERM: it and its children are killed with SIGKILL at the end.
start_gnome_shell() {
    command -v gnome-shell >/dev/null || skip "gnome-shell is not installed (package gnome-shell; scripts/deps-desktops.sh)"
    command -v gnome-screenshot >/dev/null || skip "gnome-screenshot is not installed (package gnome-screenshot)"
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/runtime/system_bus"
    "${run_as[@]}" dbus-daemon --session --nofork --address="$DBUS_SYSTEM_BUS_ADDRESS" >/dev/null 2>&1 &
    pids+=($!)
    wait_for test -S "$dir/runtime/system_bus" || fail "GNOME: the system bus stand-in did not start"
    export GSETTINGS_BACKEND=dconf XDG_SESSION_TYPE=wayland
    unset DISPLAY
    as_user gsettings set org.gnome.desktop.notifications show-banners false
    local monitors=() size try shell
    for size in "$@"; do monitors+=(--virtual-monitor "$size"); done
    for try in 1 2 3; do
        unset WAYLAND_DISPLAY
        "${run_as[@]}" gnome-shell --headless --wayland --no-x11 "${monitors[@]}" --wayland-display=tapisto-gnome \
            >"$dir/desktop.log" 2>&1 &
        shell=$!
        pids+=("$shell")
        hard_pids+=("$shell")
        export WAYLAND_DISPLAY=tapisto-gnome
        # The shell opens its overview once its start-up animation has run: closed until it stays closed.
        if wait_seconds 90 as_user gdbus introspect --session --dest org.gnome.Shell.Screenshot \
            --object-path /org/gnome/Shell/Screenshot && wait_seconds 60 gnome_overview_closed; then
            return 0
        fi
        note "GNOME: gnome-shell was not ready (try $try): $(tail -1 "$dir/desktop.log")"
        # A hung child first: it is gnome-shell's own, not yet the program it was to run.
        pkill -KILL -P "$shell" 2>/dev/null
        kill -KILL "$shell" 2>/dev/null
        wait "$shell" 2>/dev/null
    done
    fail "GNOME: gnome-shell was not ready in three tries (its screenshot service, then its overview closed)"
}

# gnome-shell answers on the bus (a hung one does not).
gnome_answers() {
    timeout 15 "${run_as[@]}" gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive >/dev/null 2>&1
}

gnome_overview_closed() {
    local shell=(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell)
    as_user "${shell[@]}" --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' &&
        sleep 1 &&
        as_user "${shell[@]}" --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive | grep -q false
}

# The serial of mutter's display configuration and, per monitor, its connector and current mode.
gnome_connectors=() gnome_modes=()
gnome_display_state() {
    local state
    state=$(as_user gdbus call --session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
        --method org.gnome.Mutter.DisplayConfig.GetCurrentState) || fail "GNOME: mutter's display configuration does not answer"
    echo "$state" >"$dir/display-state"
    gnome_serial=$(echo "$state" | sed -n 's/^(uint32 \([0-9]*\),.*/\1/p')
    # The monitors and modes of the start, when all are on, are the ones given back later.
    [ ${#gnome_modes[@]} -eq 0 ] || return 0
    # Each monitor: (('CONNECTOR', 'vendor', 'product', 'serial'), [modes...]); its current mode has
    # 'is-current': <true>.
    mapfile -t gnome_connectors < <(echo "$state" | grep -o "(('[^']*', '[^']*', '[^']*', '[^']*')" | cut -d"'" -f2)
    mapfile -t gnome_modes < <(echo "$state" | grep -o "('[^']*', [0-9]*, [0-9]*, [0-9.]*, [0-9.]*, \[[^]]*\], {[^}]*'is-current': <true>" |
        sed "s/^('\([^']*\)'.*/\1/")
    [ ${#gnome_connectors[@]} -ge 1 ] && [ ${#gnome_modes[@]} -eq ${#gnome_connectors[@]} ] ||
        fail "GNOME: cannot read the monitors from mutter's state: $(head -c 400 "$dir/display-state")"
}

# Applies, for now, the first N monitors side by side at their modes of the start, the first one primary.
gnome_apply_monitors() {
    local n=$1 i x=0 logical=''
    gnome_display_state
    for ((i = 0; i < n; i++)); do
        logical+="${logical:+, }($x, 0, 1.0, uint32 0, $([ $i -eq 0 ] && echo true || echo false), [('${gnome_connectors[$i]}', '${gnome_modes[$i]}', @a{sv} {})])"
        x=$((x + ${gnome_modes[$i]%%x*}))
    done
    as_user gdbus call --session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
        --method org.gnome.Mutter.DisplayConfig.ApplyMonitorsConfig "$gnome_serial" 1 "[$logical]" "@a{sv} {}" >/dev/null
}

# GNOME's screen (every monitor, in the layout's coordinates) into FILE; a few tries, since a shot
# asked for while the shell is busy can fail.
gnome_screenshot() {
    local try
    for try in 1 2 3 4 5; do
        rm -f "$1"
        timeout 30 "${run_as[@]}" gnome-screenshot -f "$1" >"$dir/screenshot.err" 2>&1 && [ -s "$1" ] && return 0
        gnome_answers || fail "GNOME: gnome-shell stopped answering on the bus (hung in its own code)"
        sleep 0.5
    done
    return 1
}

# --- KDE Plasma --------------------------------------------------------------------------------------

# plasmashell on the X server in DISPLAY with software GL and a fresh profile; ready once its script
# interface lists a desktop.
start_plasma() {
    command -v plasmashell >/dev/null ||
        skip "plasmashell is not installed (packages plasma-workspace plasma-desktop; scripts/deps-desktops.sh)"
    export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
    # The bus was started before the X server: the daemons it starts for Plasma need its display.
    activation_environment DISPLAY LIBGL_ALWAYS_SOFTWARE QT_QPA_PLATFORM KDE_FULL_SESSION KDE_SESSION_VERSION XDG_CURRENT_DESKTOP
    # Started and waited for first: plasmashell gives up loading its shell when the activity manager,
    # which it would start on demand, is slow to come on a busy machine.
    local kamd=/usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd
    [ -x "$kamd" ] || skip "kactivitymanagerd is not installed (package kactivitymanagerd)"
    "${run_as[@]}" "$kamd" >"$dir/kactivitymanagerd.log" 2>&1 &
    pids+=($!)
    wait_seconds 60 as_user dbus-send --session --print-reply --dest=org.kde.ActivityManager /ActivityManager/Activities \
        org.kde.ActivityManager.Activities.CurrentActivity ||
        fail "KDE Plasma: kactivitymanagerd did not answer within 60 s: $(tail -2 "$dir/kactivitymanagerd.log" | tr '\n' ' ')"
    "${run_as[@]}" plasmashell --no-respawn >"$dir/desktop.log" 2>&1 &
    pids+=($!)
    wait_seconds 120 plasma_has_desktops ||
        fail "KDE Plasma: plasmashell did not list its desktops within 120 s: $(grep -E -m3 "Abort|ERROR|rror" "$dir/desktop.log" | tr "\n" " ")"
}

# Runs a Plasma desktop script and prints what it printed.
plasma_eval() {
    as_user dbus-send --session --print-reply --dest=org.kde.plasmashell /PlasmaShell \
        org.kde.PlasmaShell.evaluateScript "string:$1" 2>/dev/null | sed -e '1d' -e '2s/^ *string "//' -e '$s/"$//'
}

plasma_has_desktops() { [ "$(plasma_eval 'print(desktops().length)')" -ge 1 ] 2>/dev/null; }

# Per desktop on a screen: "X,Y,WxH IMAGE FILLMODE".
plasma_wallpapers() {
    plasma_eval 'var all = desktops(); var out = [];
for (var i = 0; i < all.length; i++) { var d = all[i]; if (d.screen < 0) continue;
  var g = screenGeometry(d.screen); d.currentConfigGroup = ["Wallpaper", "org.kde.image", "General"];
  out.push(g.x + "," + g.y + "," + g.width + "x" + g.height + " " + d.readConfig("Image") + " " + d.readConfig("FillMode")); }
print(out.join("\n"));'
}

# --- Cinnamon ----------------------------------------------------------------------------------------

# Cinnamon (its window manager muffin) on the Xorg in DISPLAY. muffin gives each monitor it has no
# configuration for its preferred mode, which the Xorg configuration sets (about 60 Hz, as muffin
# wants); csd-background draws the picture its settings name onto the root window, which cinnamon
# shows. Ready once cinnamon answers on the bus and csd-background has drawn.
start_cinnamon() {
    command -v cinnamon >/dev/null || skip "cinnamon is not installed (package cinnamon; scripts/deps-desktops.sh)"
    local csd=/usr/lib/x86_64-linux-gnu/cinnamon-settings-daemon/csd-background
    [ -x "$csd" ] || skip "csd-background is not installed (package cinnamon-settings-daemon)"
    export GSETTINGS_BACKEND=dconf XDG_SESSION_TYPE=x11
    activation_environment DISPLAY XDG_CURRENT_DESKTOP GSETTINGS_BACKEND
    local stand_in=${e2e_tools:-}/session_stand_in
    [ -x "$stand_in" ] || skip "no $stand_in (built with the tests)"
    "${run_as[@]}" "$stand_in" >"$dir/session.out" 2>&1 &
    pids+=($!)
    wait_seconds 30 grep -q '^org.gnome.SessionManager ready' "$dir/session.out" ||
        fail "Cinnamon: the session manager's stand-in did not start: $(cat "$dir/session.out")"
    "${run_as[@]}" cinnamon --sm-disable --replace >"$dir/desktop.log" 2>&1 &
    pids+=($!)
    wait_seconds 120 as_user gdbus introspect --session --dest org.Cinnamon --object-path /org/Cinnamon ||
        fail "Cinnamon: cinnamon did not answer on the bus within 120 s: $(grep -E -m3 'rror|Abort' "$dir/desktop.log" | tr '\n' ' ')"
    "${run_as[@]}" "$csd" >"$dir/csd-background.log" 2>&1 &
    pids+=($!)
    wait_seconds 30 root_pixmap_set || fail "Cinnamon: csd-background did not draw the root window within 30 s: $(tail -2 "$dir/csd-background.log" | tr '\n' ' ')"
}

root_pixmap_set() { xprop -root _XROOTPMAP_ID | grep -q 'pixmap id'; }
