#!/usr/bin/env bash
# The cost of one picture per monitor: a change for two 1920x1080 monitors from two 6000x4000 JPEGs
# against a change for one monitor from one of them, paired in one run (A B A B ...), whole processes.
# Prints the medians and their ratio (target: at most 2.2). Run bench/make_render_corpus.sh first.
# usage: bench/monitors_compare.sh [TAPISTOCTL] [CORPUS_DIR] [RUNS]
set -euo pipefail
tapistoctl=${1:-build/bin/tapistoctl}
corpus=${2:-build/render-corpus}
runs=${3:-9}
[ -x "$tapistoctl" ] || { echo "monitors_compare: $tapistoctl is not built" >&2; exit 1; }
for f in p6000_baseline.jpg p6000_flipped.jpg; do
    [ -f "$corpus/$f" ] || { echo "monitors_compare: run bench/make_render_corpus.sh $corpus" >&2; exit 1; }
done

exec python3 - "$tapistoctl" "$corpus" "$runs" <<'PY'
import os, statistics, subprocess, sys, tempfile, time

tapistoctl, corpus, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
out = tempfile.mkdtemp(prefix="monitors-compare-")
bmp = os.path.join(out, "out.bmp")
left, right = os.path.join(corpus, "p6000_baseline.jpg"), os.path.join(corpus, "p6000_flipped.jpg")

def run(argv):
    """Wall seconds, CPU seconds and peak resident KiB of one whole process."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=dict(os.environ, DISPLAY="", WAYLAND_DISPLAY=""))
    _, status, usage = os.wait4(proc.pid, 0)
    if status != 0:
        sys.exit(f"monitors_compare: failed: {' '.join(argv)}")
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime, usage.ru_maxrss

one = [tapistoctl, "render", left, bmp, "--correction", "自動", "--screen", "1920x1080"]
two = [tapistoctl, "render", left, right, bmp, "--correction", "自動",
       "--monitors", "HDMI-1=1920x1080+0+0,HDMI-2=1920x1080+1920+0"]
results = {"one": [], "two": []}
for _ in range(runs):
    results["one"].append(run(one))
    results["two"].append(run(two))
med = lambda rows, k: statistics.median(r[k] for r in rows)
o, t = results["one"], results["two"]
print(f"{runs} paired runs, whole-process medians (display unset: the layout is given)")
print(f"{'change':44} {'wall s':>7} {'CPU s':>7} {'peak MiB':>8}")
print(f"{'one monitor 1920x1080, one 6000x4000 JPEG':44} {med(o, 0):7.3f} {med(o, 1):7.3f} {max(r[2] for r in o) / 1024:8.1f}")
print(f"{'two monitors 1920x1080, two 6000x4000 JPEGs':44} {med(t, 0):7.3f} {med(t, 1):7.3f} {max(r[2] for r in t) / 1024:8.1f}")
ratio = med(t, 0) / med(o, 0)
print(f"ratio two / one: {ratio:.2f} (wall), {med(t, 1) / med(o, 1):.2f} (CPU); target at most 2.2: {'yes' if ratio <= 2.2 else 'NO'}")
for f in os.listdir(out):
    os.remove(os.path.join(out, f))
os.rmdir(out)
PY
