#!/usr/bin/env bash
# Tapisto's whole wallpaper change against the setters a Linux user picks instead, on bare X11.
#
# One Xvfb of 1920x1080 (-noreset, no window manager) for the whole run. Per picture kind, ROUNDS
# rounds (default 9), each running every setter once, interleaved (the order turns by one each
# round, so that no setter always follows the same one); one run of each before the rounds warms
# the page cache and checks that every setter leaves the same screen (PSNR of the root window
# against Tapisto's). The setters, all fitting the picture to the screen the same way:
#   Tapisto     tapistoctl apply PICTURE --position 中央 --correction 自動 [--plugins]
#               (TAPISTO_DESKTOP=x11, a temporary TAPISTO_HOME; PNG through the plug-in)
#   feh         feh --bg-fill          xwallpaper  xwallpaper --zoom
#   hsetroot    hsetroot -cover        nitrogen    nitrogen --set-zoom-fill
# "中央" with "自動" fits the picture's width and centres it: for pictures no wider than 16:9 that is
# the screen covered and the rest cut off, which is what the peers' modes above do. MODE=stretch
# compares "拡大" (stretched to the screen) with --bg-scale, --stretch, -fill and --set-scaled.
#
# Figures per run, the same way for every setter: CPU time (user + system) of the whole process
# tree, and its peak resident memory: the sum of the peak resident size (VmHWM) of every process of
# the tree: the setter's own from wait4 (ru_maxrss), its children's from their VmHWM read every 5 ms
# while they run (wait4 gives a parent that reaped a child only the larger of the two peaks), or from
# wait4 for a child left behind, which the script reaps as the tree's subreaper. Tapisto's tree is
# tapistoctl and, for a picture read by a plug-in, the plug-in helper tapisto-spihelper. Reported: medians over the rounds, and the ratio to the best of feh, xwallpaper and
# hsetroot (the one with the least CPU time; nitrogen is shown but not a yardstick). Not counted for
# anyone: the X server's own work.
#
# Then the tray program (TRAY=0 skips it): its idle resident size against the Qt floor
# (bench/qtfloor, a Qt 6 program with only a tray icon and its menu), both measured by
# bench/idle/idle.sh on Xvfb with trayer, and its peak (VmHWM) over 3 changes of each picture kind
# (idle.sh's 1024x768 screen, "拡大", "自動"; the plug-in helper is a process of its own and not in it).
#
# usage: bench/setter_compare.sh [BUILD_DIR] [CORPUS_DIR] [ROUNDS]
#   (defaults: build, build/render-corpus, 9; run bench/make_render_corpus.sh CORPUS_DIR first)
# KINDS=TEXT runs only the picture kinds whose label contains TEXT (e.g. KINDS=PNG).
# BEFORE=PATH adds "Tapisto before", the tapistoctl at PATH (a copy of an earlier build's bin/), to
# every round: before and after measured paired, in the same rounds.
# Takes 4 to 6 minutes with 9 rounds (on the shared 2-core machine at load 4 and 4 to 7: the
# setters 3 to 4.5 minutes, the tray rows 1.5).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
corpus=${2:-build/render-corpus}
rounds=${3:-9}
mode=${MODE:-cover}
tapistoctl=$build/bin/tapistoctl

for tool in Xvfb feh xwallpaper hsetroot nitrogen xwd compare-im6.q16; do
    command -v "$tool" >/dev/null || { echo "setter_compare: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
[ -x "$tapistoctl" ] || { echo "setter_compare: $tapistoctl is not built" >&2; exit 1; }
[ -f "$corpus/p1920.png" ] || { echo "setter_compare: run bench/make_render_corpus.sh $corpus" >&2; exit 1; }

work=$(mktemp -d)
xvfb=
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1920x1080x24 3>"$work/display" 2>"$work/xvfb.err" &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "setter_compare: Xvfb did not start: $(cat "$work/xvfb.err")" >&2; exit 1; }
display=":$(cat "$work/display")"
started=$(date +%s)

echo "setter_compare on $(uname -n), $(nproc) cores, kernel $(uname -r), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Tapisto $(git -C "$here" describe --always --dirty 2>/dev/null || echo '?'); peers:" \
    "$(dpkg-query -W -f='${Package} ${Version}, ' feh xwallpaper hsetroot nitrogen 2>/dev/null)"
python3 - "$tapistoctl" "$corpus" "$rounds" "$mode" "$display" "$work" <<'PY'
import ctypes, os, signal, statistics, subprocess, sys, threading, time

tapistoctl, corpus, rounds, mode, display, work = sys.argv[1:7]
tapistoctl, corpus, rounds = os.path.abspath(tapistoctl), os.path.abspath(corpus), int(rounds)
PR_SET_CHILD_SUBREAPER = 36
if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
    sys.exit("setter_compare: cannot become the subreaper of the setters' processes")

def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])

# Every setter gets the same small environment: the display, a home and runtime folder of the run's
# own (feh writes ~/.fehbg there), no session bus.
home, runtime, tapisto_home = (os.path.join(work, n) for n in ("home", "runtime", "tapisto"))
for d in (home, runtime, tapisto_home):
    os.makedirs(d, mode=0o700)
env = {"PATH": os.environ["PATH"], "DISPLAY": display, "HOME": home, "XDG_RUNTIME_DIR": runtime,
       "LANG": "C.UTF-8"}
tapisto_env = dict(env, TAPISTO_DESKTOP="x11", TAPISTO_HOME=tapisto_home)

position, peer_modes = {
    "cover": ("中央", {"feh": "--bg-fill", "xwallpaper": "--zoom", "hsetroot": "-cover", "nitrogen": "--set-zoom-fill"}),
    "stretch": ("拡大", {"feh": "--bg-scale", "xwallpaper": "--stretch", "hsetroot": "-fill", "nitrogen": "--set-scaled"}),
}[mode]

before = os.path.abspath(os.environ["BEFORE"]) if os.environ.get("BEFORE") else None

def setters(picture, plugin):
    args = ["apply", picture, "--position", position, "--correction", "自動"] + (["--plugins"] if plugin else [])
    earlier = [("Tapisto before", [before] + args, tapisto_env)] if before else []
    return [("Tapisto", [tapistoctl] + args, tapisto_env)] + earlier + [
        (name, [name, option, picture], env) for name, option in peer_modes.items()]

YARDSTICKS = ("feh", "xwallpaper", "hsetroot")

def reap_orphans(deadline):
    """{pid: (CPU seconds, peak KiB)} of each process left to us, waiting for them up to `deadline`."""
    found = {}
    while True:
        try:
            pid, status, usage = os.wait4(-1, os.WNOHANG)
        except ChildProcessError:
            return found
        if pid != 0:
            found[pid] = (usage.ru_utime + usage.ru_stime, usage.ru_maxrss)
            continue
        if time.monotonic() > deadline:
            for line in subprocess.run(["ps", "-o", "pid=", "--ppid", str(os.getpid())], capture_output=True,
                                       text=True).stdout.split():
                os.kill(int(line), signal.SIGKILL)  # a process of the run's own that would not end
            deadline = float("inf")
        time.sleep(0.002)

def descendants(pid):
    """The processes below `pid` now (every thread's children, recursively)."""
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        try:
            for task in os.listdir(f"/proc/{p}/task"):
                with open(f"/proc/{p}/task/{task}/children") as f:
                    todo += [int(c) for c in f.read().split()]
        except OSError:
            continue
        if p != pid:
            found.append(p)
    return found

def vmhwm(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0

def watch_children(pid, peaks, done):
    """Keeps the last VmHWM of every process below `pid` in `peaks` until `done` is set: the peak of a
    child that its parent waits for itself reaches no one else (wait4 gives the parent only the
    larger of the two)."""
    while not done.wait(0.005):
        for child in descendants(pid):
            peaks[child] = max(peaks.get(child, 0), vmhwm(child))

def run(argv, environment):
    """Wall seconds, CPU seconds and peak KiB of the whole tree of one setter run, and its process count.
    None when it failed."""
    # Errors go to a file, not a pipe: a helper that inherited it would hold the reader up.
    with open(os.path.join(work, "stderr"), "w+") as err:
        start = time.perf_counter()
        # In a folder of the run's own: tapistoctl also looks for plug-ins in the current folder.
        proc = subprocess.Popen(argv, env=environment, stdout=subprocess.DEVNULL, stderr=err, cwd=home)
        peaks, done = {}, threading.Event()
        watcher = threading.Thread(target=watch_children, args=(proc.pid, peaks, done))
        watcher.start()
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        done.set()
        watcher.join()
        orphans = reap_orphans(time.monotonic() + 5)
        if status != 0:
            err.seek(0)
            print(f"  failed ({status >> 8}): {' '.join(argv)}: {err.read().strip()[:300]}")
            return None
    # The setter's own CPU includes the children it waited for; the orphans' comes apart.
    cpu = usage.ru_utime + usage.ru_stime + sum(c for c, _ in orphans.values())
    peaks.update({pid: p for pid, (_, p) in orphans.items()})
    return wall, cpu, usage.ru_maxrss + sum(peaks.values()), 1 + len(peaks)

def root_psnr(reference, name):
    """The root window now, as a PSNR against `reference` (both xwd dumps); saves it when no reference."""
    dump = os.path.join(work, name + ".xwd")
    with open(dump, "wb") as f:
        subprocess.run(["xwd", "-root", "-silent", "-display", display], stdout=f, check=True)
    if reference is None:
        return dump, ""
    r = subprocess.run(["compare-im6.q16", "-metric", "PSNR", reference, dump, "null:"], capture_output=True, text=True)
    return dump, r.stderr.strip()

kinds = [
    ("6000x4000 JPEG", "p6000_baseline.jpg", False),
    ("6000x4000 progressive JPEG", "p6000_progressive.jpg", False),
    ("4000x3000 PNG", "p4000.png", True),
    ("1920x1080 JPEG", "p1920.jpg", False),
    ("1920x1080 PNG", "p1920.png", True),
    ("6000x4000 BMP (24 Mpx)", "p6000.bmp", False),
]
kinds = [k for k in kinds if os.environ.get("KINDS", "") in k[0]]

print(f"mode {mode}: Tapisto --position {position} --correction 自動 against " +
      ", ".join(f"{n} {o}" for n, o in peer_modes.items()))
print(f"load average before: {load()}")
print(f"{rounds} rounds per picture kind, interleaved; CPU = user + system of the process tree; "
      "peak = sum of its processes' peak resident sizes;\nround lines: CPU s / peak MiB of each run, [n] for a tree of n processes")
summary, paired = [], []
med = statistics.median
for label, file, plugin in kinds:
    picture = os.path.join(corpus, file)
    if not os.path.exists(picture):
        print(f"\n{label}: no {file} in {corpus}")
        continue
    tools = setters(picture, plugin)
    print(f"\n== {label} ({file}), load average {load()}")
    psnr, failed, reference = {}, set(), None
    for name, argv, environment in tools:  # warm-up, and what each leaves on the screen
        if run(argv, environment) is None:
            failed.add(name)
            continue
        dump, psnr[name] = root_psnr(reference, name)
        reference = reference or dump
    figures = {name: [] for name, _, _ in tools}
    for r in range(rounds):
        order = tools[r % len(tools):] + tools[:r % len(tools)]
        line = []
        for name, argv, environment in order:
            if name in failed:
                continue
            got = run(argv, environment)
            if got is None:
                failed.add(name)
                continue
            figures[name].append(got)
            line.append(f"{name} {got[1]:.3f}s/{got[2] / 1024:.1f}M" + (f"[{got[3]}]" if got[3] > 1 else ""))
        print(f"  round {r + 1}: " + "  ".join(line))
    print(f"  {'setter':14} {'CPU s':>7} {'wall s':>7} {'peak MiB':>8} {'procs':>5}  screen vs Tapisto's")
    medians = {}
    for name, _, _ in tools:
        runs = figures[name]
        if not runs:
            print(f"  {name:14} (failed or cannot read this picture)")
            continue
        medians[name] = (med(r[1] for r in runs), med(r[2] for r in runs) / 1024)
        same = "" if name == "Tapisto" else (psnr.get(name, "") + " dB").replace("inf dB", "identical")
        print(f"  {name:14} {medians[name][0]:7.3f} {med(r[0] for r in runs):7.3f} {medians[name][1]:8.1f} "
              f"{max(r[3] for r in runs):5}  {same}")
    peers = [n for n in YARDSTICKS if n in medians]
    if "Tapisto" in medians and peers:
        best = min(peers, key=lambda n: medians[n][0])
        lowest_peak = min(medians[n][1] for n in peers)
        summary.append((label, medians["Tapisto"], best, medians[best], lowest_peak))
    if "Tapisto" in medians and "Tapisto before" in medians:
        paired.append((label, medians["Tapisto before"], medians["Tapisto"]))

print(f"\nload average after the setters: {load()}")
print("\n| figure | Tapisto CPU / peak | best peer CPU / peak | ratio CPU / peak | peak vs lowest peer peak |")
print("|---|---|---|---|---|")
for label, (cpu, peak), best, (bcpu, bpeak), lowest in summary:
    print(f"| {label}, CPU / peak | {cpu:.3f} s / {peak:.1f} MiB | {best} {bcpu:.3f} s / {bpeak:.1f} MiB | "
          f"{cpu / bcpu:.2f} / {peak / bpeak:.2f} | {peak / lowest:.2f} ({lowest:.1f} MiB) |")
if paired:
    print("\n| figure | Tapisto before CPU / peak | Tapisto CPU / peak | after / before |")
    print("|---|---|---|---|")
    for label, (bcpu, bpeak), (cpu, peak) in paired:
        print(f"| {label} | {bcpu:.3f} s / {bpeak:.1f} MiB | {cpu:.3f} s / {peak:.1f} MiB | "
              f"{cpu / bcpu:.2f} / {peak / bpeak:.2f} |")
PY

if [ "${TRAY:-1}" = 1 ]; then
    # Runs idle.sh with the given environment and arguments; prints the resident size at its end and
    # its peak (kB), or nothing and its output on stderr when it failed.
    idle() {
        env "$@" >"$work/idle.out" 2>&1
        sed -n 's/.*VmRSS \([0-9]*\) kB, peak \([0-9]*\) kB.*/\1 \2/p' "$work/idle.out" | grep . ||
            grep -v 'fd limit' "$work/idle.out" | sed 's/^/    idle.sh: /' >&2
    }
    echo
    echo "== tray program (bench/idle/idle.sh: Xvfb 1024x768, trayer; settle 5 s, 10 s measured)"
    floor=$build/bench/qtfloor/qtfloor
    read -r ours _ < <(idle "$here/idle/idle.sh" "$build/bin/tapisto" 10) || true
    read -r qt _ < <(idle CLASS=qtfloor "$here/idle/idle.sh" "$floor" 10) || true
    if [ -n "${ours:-}" ] && [ -n "${qt:-}" ]; then
        awk -v a="$ours" -v b="$qt" 'BEGIN { printf "  idle resident: Tapisto %.1f MiB, Qt floor %.1f MiB: %.2fx the floor (target 1.2x)\n", a / 1024, b / 1024, a / b }'
    fi
    echo "  peak (VmHWM) over 3 changes of one picture, per kind (targets: 48 MiB, progressive JPEG 85 MiB):"
    for file in p6000_baseline.jpg p6000_progressive.jpg p4000.png p1920.jpg p1920.png p6000.bmp; do
        [ -f "$corpus/$file" ] || continue
        pictures=$work/tray-$file
        mkdir -p "$pictures"
        ln -sf "$(cd "$corpus" && pwd)/$file" "$pictures/$file"
        plugins=0
        [ "${file##*.}" = png ] && plugins=1
        read -r _ hwm < <(idle CHANGES=3 PICTURES="$pictures" PLUGINS=$plugins SETTLE=2 "$here/idle/idle.sh" \
            "$build/bin/tapisto" 1) || true
        [ -z "${hwm:-}" ] || awk -v f="$file" -v h="$hwm" 'BEGIN { printf "    %-24s %6.1f MiB\n", f, h / 1024 }'
        hwm=
    done
fi
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); took $(($(date +%s) - started)) s"
