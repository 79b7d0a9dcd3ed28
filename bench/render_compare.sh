#!/usr/bin/env bash
# Times `tapistoctl render` against the installed peers, paired in one run (A B A B ...), and prints
# whole-process medians, each figure as a ratio beside its target (our time / the yardstick's, or the
# yardstick's / ours where ours must be so many times faster), the CPU-time ratio, our peak resident
# memory beside its target (ru_maxrss of separate runs under GNU time: a child that Python starts
# reports at least Python's own resident size, about 14 MiB), and for the shrinking cases the PSNR of our output against
# ImageMagick's -resize output. The machine's load average is printed before and after.
# Run bench/make_render_corpus.sh first.
# usage: bench/render_compare.sh [TAPISTOCTL] [CORPUS_DIR] [RUNS]
# CASES=TEXT runs only the cases whose label contains TEXT (e.g. CASES=BMP). IDLE=1 appends the idle
# figure of the tray program after 100 changes of the corpus's 24 MP pictures (bench/idle/idle.sh,
# needs Xvfb and trayer).
set -euo pipefail
tapistoctl=${1:-build/bin/tapistoctl}
corpus=${2:-build/render-corpus}
runs=${3:-7}
for tool in vipsthumbnail djpeg convert-im6.q16 compare-im6.q16 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "render_compare: $tool is missing" >&2; exit 1; }
done
[ -x "$tapistoctl" ] || { echo "render_compare: $tapistoctl is not built" >&2; exit 1; }
[ -f "$corpus/p6000_baseline.jpg" ] || { echo "render_compare: run bench/make_render_corpus.sh $corpus" >&2; exit 1; }

python3 - "$tapistoctl" "$corpus" "$runs" <<'PY'
import os, statistics, subprocess, sys, tempfile, time

tapistoctl, corpus, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
out = tempfile.mkdtemp(prefix="render-compare-")
ours_bmp, peer_bmp, ref_bmp = (os.path.join(out, n) for n in ("ours.bmp", "peer.bmp", "ref.bmp"))

def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])

def run(argv, stdout=subprocess.DEVNULL):
    """Wall seconds, CPU seconds (user + system, all threads) and peak resident KiB of one whole process."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"render_compare: failed: {' '.join(argv)}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss

def peak(argv):
    """Peak resident KiB of a process started from a small one (GNU time), the highest of three runs."""
    kib = 0
    for _ in range(3):
        report = os.path.join(out, "peak")
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        with open(report) as f:
            kib = max(kib, int(f.read().split()[-1]))
    return kib

def paired(ours, peer, peer_stdout=None):
    a, b, ca, cb = [], [], [], []
    for _ in range(runs):
        wall, cpu, _ = run(ours)
        a.append(wall)
        ca.append(cpu)
        if peer_stdout:
            with open(peer_stdout, "wb") as f:
                wall, cpu, _ = run(peer, f)
        else:
            wall, cpu, _ = run(peer)
        b.append(wall)
        cb.append(cpu)
    med = statistics.median
    return med(a), med(b), med(ca), med(cb), peak(ours)

def psnr(a, b):
    r = subprocess.run(["compare-im6.q16", "-metric", "PSNR", a, b, "null:"], capture_output=True, text=True)
    return r.stderr.strip()

def ours(picture, correction, screen="1920x1080", plugins=False):
    return [tapistoctl, "render", os.path.join(corpus, picture), ours_bmp, "--correction", correction,
            "--screen", screen] + (["--plugins"] if plugins else [])

def vips(picture, size):
    return ["vipsthumbnail", os.path.join(corpus, picture), "-s", size + "!", "-o", peer_bmp]

def magick(picture, size, dest=None):
    return ["convert-im6.q16", os.path.join(corpus, picture), "-resize", size + "!", "-type", "TrueColor",
            "BMP3:" + (dest or peer_bmp)]

def djpeg(picture, scale):
    return ["djpeg", "-scale", scale, "-bmp", os.path.join(corpus, picture)]

def monitors(pictures, layout):
    return [tapistoctl, "render"] + [os.path.join(corpus, p) for p in pictures] + [
        ours_bmp, "--correction", "自動", "--monitors", layout]

# Time goals: ("at most", x): our time / the peer's <= x; ("faster", x): the peer's time / ours >= x.
cases = [
    # label, our command, peer name, peer command, time goal, peak goal (MiB), size for the PSNR reference
    ("6000x4000 baseline -> 1920x1280", ours("p6000_baseline.jpg", "自動"), "djpeg -scale 3/8",
     djpeg("p6000_baseline.jpg", "3/8"), ("at most", 0.95), 16, "1920x1280"),
    ("6000x4000 baseline -> 1920x1280", ours("p6000_baseline.jpg", "自動"), "vipsthumbnail",
     vips("p6000_baseline.jpg", "1920x1280"), ("faster", 3.0), None, None),
    ("6000x4000 baseline -> 1920x1280", ours("p6000_baseline.jpg", "自動"), "convert -resize",
     magick("p6000_baseline.jpg", "1920x1280"), ("faster", 7.0), None, None),
    ("6000x4000 -> 3840x2560 (100%)", ours("p6000_baseline.jpg", "100%"), "djpeg -scale 6/8",
     djpeg("p6000_baseline.jpg", "6/8"), ("at most", 1.2), None, "3840x2560"),
    ("6000x4000 -> 3840x2560 (100%)", ours("p6000_baseline.jpg", "100%"), "vipsthumbnail",
     vips("p6000_baseline.jpg", "3840x2560"), ("faster", 2.0), None, None),
    ("6000x4000 progressive -> 1920x1280", ours("p6000_progressive.jpg", "自動"), "djpeg -scale 3/8",
     djpeg("p6000_progressive.jpg", "3/8"), ("at most", 1.1), 85, "1920x1280"),
    ("6000x4000 progressive -> 1920x1280", ours("p6000_progressive.jpg", "自動"), "vipsthumbnail",
     vips("p6000_progressive.jpg", "1920x1280"), None, None, None),
    ("3000x2000 -> 1920x1280", ours("p3000.jpg", "自動"), "convert -resize", magick("p3000.jpg", "1920x1280"),
     None, None, None),
    ("800x600 -> 1920x1440 (enlarging)", ours("p800.jpg", "自動"), "convert -resize",
     magick("p800.jpg", "1920x1440"), ("faster", 2.0), None, None),
    ("600x800 portrait -> 810x1080", ours("portrait_600x800.jpg", "自動"), "convert -resize",
     magick("portrait_600x800.jpg", "810x1080"), None, None, None),
    ("4000x3000 BMP -> 1920x1440", ours("p4000.bmp", "自動"), "convert -resize", magick("p4000.bmp", "1920x1440"),
     ("faster", 6.0), 20, None),
    # One picture per monitor, against one monitor's change from one of the two pictures.
    ("two 1920x1080 monitors, two 6000x4000", monitors(["p6000_baseline.jpg", "p6000_flipped.jpg"],
     "HDMI-1=1920x1080+0+0,HDMI-2=1920x1080+1920+0"), "one monitor, one",
     ours("p6000_baseline.jpg", "自動"), ("at most", 2.2), None, None),
    ("4000x3000 PNG (plug-in) -> 1920x1440", ours("p4000.png", "自動", plugins=True), "vipsthumbnail",
     vips("p4000.png", "1920x1440"), ("at most", 0.8), 64, "1920x1440"),
    ("4000x3000 WebP (plug-in) -> 1920x1440", ours("p4000.webp", "自動", plugins=True), "vipsthumbnail",
     vips("p4000.webp", "1920x1440"), ("at most", 0.8), 64, "1920x1440"),
]
cases = [c for c in cases if os.environ.get("CASES", "") in c[0]]

print(f"load average before: {load()}")
print(f"{runs} paired runs per line, whole-process medians (wall clock; CPU = user + system of all threads)")
print(f"{'case':38} {'peer':18} {'ours s':>7} {'peer s':>7} {'figure':>14} {'target':>14} {'ok':>3} "
      f"{'CPU ours/peer':>13} {'peak MiB':>8} {'target':>6} {'ok':>3}  PSNR vs convert")
for label, our_cmd, peer_name, peer_cmd, goal, peak_goal, ref_size in cases:
    if not os.path.exists(our_cmd[2]):
        print(f"{label:38} {peer_name:18} (no {os.path.basename(our_cmd[2])} in the corpus)")
        continue
    stdout = os.path.join(out, "djpeg.bmp") if peer_name.startswith("djpeg") else None
    a, b, ca, cb, rss = paired(our_cmd, peer_cmd, stdout)
    if goal is None or goal[0] == "at most":
        figure, ok = f"{a / b:.2f}x its time", "" if goal is None else ("yes" if a / b <= goal[1] else "NO")
        target = "" if goal is None else f"<= {goal[1]:.2f}x"
    else:
        figure, ok = f"{b / a:.2f}x faster", "yes" if b / a >= goal[1] else "NO"
        target = f">= {goal[1]:.1f}x faster"
    peak_ok = "" if peak_goal is None else ("yes" if rss / 1024 <= peak_goal else "NO")
    peak_target = "" if peak_goal is None else f"<= {peak_goal}"
    q = ""
    if peer_name.startswith("convert"):
        q = psnr(ours_bmp, peer_bmp) + " dB"
    elif ref_size:
        subprocess.run(magick(os.path.basename(our_cmd[2]), ref_size, ref_bmp), check=True)
        q = psnr(ours_bmp, ref_bmp) + " dB"
    print(f"{label:38} {peer_name:18} {a:7.3f} {b:7.3f} {figure:>14} {target:>14} {ok:>3} {ca / cb:13.2f} "
          f"{rss / 1024:8.1f} {peak_target:>6} {peak_ok:>3}  {q}")
for f in os.listdir(out):
    os.remove(os.path.join(out, f))
os.rmdir(out)
print(f"load average after: {load()}")
PY

if [ "${IDLE:-0}" = 1 ]; then
    here=$(cd "$(dirname "$0")" && pwd)
    pictures=$(mktemp -d)
    trap 'rm -rf "$pictures"' EXIT
    cp "$corpus/p6000_baseline.jpg" "$corpus/p6000_progressive.jpg" "$pictures/"
    CHANGES=100 PICTURES=$pictures "$here/idle/idle.sh" "$(dirname "$tapistoctl")/tapisto" 10
fi
