#!/usr/bin/env bash
# Times `tapistoctl render` against the installed peers, paired in one run (A B A B ...), and prints
# whole-process medians, their ratios, peak resident memory and the PSNR of our output against
# ImageMagick's -resize output. Run bench/make_render_corpus.sh first.
# usage: bench/render_compare.sh [TAPISTOCTL] [CORPUS_DIR] [RUNS]
# CASES=TEXT runs only the cases whose label contains TEXT (e.g. CASES=BMP).
set -euo pipefail
tapistoctl=${1:-build/bin/tapistoctl}
corpus=${2:-build/render-corpus}
runs=${3:-7}
for tool in vipsthumbnail djpeg convert-im6.q16 compare-im6.q16; do
    command -v "$tool" >/dev/null || { echo "render_compare: $tool is missing" >&2; exit 1; }
done
[ -x "$tapistoctl" ] || { echo "render_compare: $tapistoctl is not built" >&2; exit 1; }
for picture in p6000_baseline.jpg p4000.png p4000.webp; do
    [ -f "$corpus/$picture" ] || { echo "render_compare: run bench/make_render_corpus.sh $corpus" >&2; exit 1; }
done

exec python3 - "$tapistoctl" "$corpus" "$runs" <<'PY'
import os, statistics, subprocess, sys, tempfile, time

tapistoctl, corpus, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
out = tempfile.mkdtemp(prefix="render-compare-")
ours_bmp, peer_bmp = os.path.join(out, "ours.bmp"), os.path.join(out, "peer.bmp")

def run(argv, stdout=subprocess.DEVNULL):
    """Wall seconds, CPU seconds (user + system) and peak resident KiB of one whole process."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"render_compare: failed: {' '.join(argv)}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss

def paired(ours, peer, peer_stdout=None):
    a, b, ca, cb, rss = [], [], [], [], []
    for _ in range(runs):
        wall, cpu, kib = run(ours)
        a.append(wall)
        ca.append(cpu)
        rss.append(kib)
        if peer_stdout:
            with open(peer_stdout, "wb") as f:
                wall, cpu, _ = run(peer, f)
        else:
            wall, cpu, _ = run(peer)
        b.append(wall)
        cb.append(cpu)
    med = statistics.median
    return med(a), med(b), med(ca), med(cb), max(rss)

def psnr(a, b):
    r = subprocess.run(["compare-im6.q16", "-metric", "PSNR", a, b, "null:"], capture_output=True, text=True)
    return r.stderr.strip()

def ours(picture, correction, screen="1920x1080", plugins=False):
    return [tapistoctl, "render", os.path.join(corpus, picture), ours_bmp, "--correction", correction,
            "--screen", screen] + (["--plugins"] if plugins else [])

def vips(picture, size):
    return ["vipsthumbnail", os.path.join(corpus, picture), "-s", size + "!", "-o", peer_bmp]

def magick(picture, size):
    return ["convert-im6.q16", os.path.join(corpus, picture), "-resize", size + "!", "-type", "TrueColor",
            "BMP3:" + peer_bmp]

def djpeg(picture, scale):
    return ["djpeg", "-scale", scale, "-bmp", os.path.join(corpus, picture)]

cases = [
    # label, our command, peer name, peer command, target ratio (peer / ours), quality check
    ("6000x4000 baseline -> 1920x1280", ours("p6000_baseline.jpg", "自動"), "vipsthumbnail",
     vips("p6000_baseline.jpg", "1920x1280"), 3.0, False),
    ("6000x4000 baseline -> 1920x1280", ours("p6000_baseline.jpg", "自動"), "convert -resize",
     magick("p6000_baseline.jpg", "1920x1280"), 7.0, True),
    ("6000x4000 baseline -> 1920x1280", ours("p6000_baseline.jpg", "自動"), "djpeg -scale 3/8",
     djpeg("p6000_baseline.jpg", "3/8"), 1 / 1.5, False),
    ("6000x4000 progressive -> 1920x1280", ours("p6000_progressive.jpg", "自動"), "vipsthumbnail",
     vips("p6000_progressive.jpg", "1920x1280"), None, False),
    ("6000x4000 -> 3840x2560 (100%)", ours("p6000_baseline.jpg", "100%"), "vipsthumbnail",
     vips("p6000_baseline.jpg", "3840x2560"), 2.0, False),
    ("6000x4000 -> 3840x2560 (100%)", ours("p6000_baseline.jpg", "100%"), "djpeg -scale 6/8",
     djpeg("p6000_baseline.jpg", "6/8"), 1 / 1.5, False),
    ("3000x2000 -> 1920x1280", ours("p3000.jpg", "自動"), "convert -resize", magick("p3000.jpg", "1920x1280"),
     None, True),
    ("800x600 -> 1920x1440 (enlarging)", ours("p800.jpg", "自動"), "convert -resize",
     magick("p800.jpg", "1920x1440"), 2.0, False),
    ("600x800 portrait -> 810x1080", ours("portrait_600x800.jpg", "自動"), "convert -resize",
     magick("portrait_600x800.jpg", "810x1080"), None, False),
    ("4000x3000 BMP -> 1920x1440", ours("p4000.bmp", "自動"), "convert -resize", magick("p4000.bmp", "1920x1440"),
     6.0, True),
    # The plug-in cases carry a seventh field: the most peak resident memory allowed, in MiB.
    ("4000x3000 PNG plug-in -> 1920x1440", ours("p4000.png", "自動", "1920x1440", True), "vipsthumbnail",
     vips("p4000.png", "1920x1440"), 1 / 0.8, False, 64),
    ("4000x3000 WebP plug-in -> 1920x1440", ours("p4000.webp", "自動", "1920x1440", True), "vipsthumbnail",
     vips("p4000.webp", "1920x1440"), 1 / 0.8, False, 64),
]
cases = [c for c in cases if os.environ.get("CASES", "") in c[0]]

print(f"{runs} paired runs per line, whole-process medians; ratio = peer time / our time (wall clock; CPU = user + system)")
print(f"{'case':38} {'peer':18} {'ours s':>7} {'peer s':>7} {'ratio':>6} {'target':>7} {'ok':>3} {'CPU ratio':>9} {'peak MiB':>8}  PSNR vs convert")
for label, our_cmd, peer_name, peer_cmd, target, quality, *peak in cases:
    stdout = os.path.join(out, "djpeg.bmp") if peer_name.startswith("djpeg") else None
    a, b, ca, cb, rss = paired(our_cmd, peer_cmd, stdout)
    ratio = b / a
    ok = "" if target is None else ("yes" if ratio >= target else "NO")
    if peak:
        ok += "" if rss / 1024 <= peak[0] else f" NO (peak > {peak[0]} MiB)"
    target_text = "" if target is None else (f">={target:.2f}" if target >= 1 else f"<={1 / target:.1f}x")
    q = psnr(ours_bmp, peer_bmp) + " dB" if quality else ""
    print(f"{label:38} {peer_name:18} {a:7.3f} {b:7.3f} {ratio:6.2f} {target_text:>7} {ok:>3} {cb / ca:9.2f} {rss / 1024:8.1f}  {q}")
for f in os.listdir(out):
    os.remove(os.path.join(out, f))
os.rmdir(out)
PY
