#!/usr/bin/env bash
# Generates the photo-like pictures that render_compare.sh times: a smooth fractal landscape, enlarged
# and given fine grain so that JPEG sizes and decoding work look like a camera's.
# usage: bench/make_render_corpus.sh [DIR]   (default: build/render-corpus)
set -euo pipefail
dir=${1:-build/render-corpus}
mkdir -p "$dir"
cd "$dir"
im=convert-im6.q16
command -v "$im" >/dev/null || im=convert

if [ ! -f base.png ]; then
    "$im" -seed 7 -size 1500x1000 plasma:fractal -blur 0x0.6 base.png
fi
made=(p6000_baseline.jpg p6000_flipped.jpg p6000_progressive.jpg p3000.jpg p1920.jpg p1920.png p800.jpg
    portrait_600x800.jpg p4000.bmp p6000.bmp p4000.png p4000.webp)
missing=0
for f in "${made[@]}"; do [ -f "$f" ] || missing=1; done
if [ "$missing" = 1 ] && [ ! -f photo_6000x4000.ppm ]; then
    "$im" base.png -resize 6000x4000! -seed 11 -attenuate 0.25 +noise Gaussian -depth 8 photo_6000x4000.ppm
fi
big=photo_6000x4000.ppm
[ -f p6000_baseline.jpg ] || cjpeg -quality 90 -optimize "$big" > p6000_baseline.jpg
# A second picture of the same size for two monitors: mirrored without decoding.
[ -f p6000_flipped.jpg ] || jpegtran -optimize -flip horizontal p6000_baseline.jpg > p6000_flipped.jpg
[ -f p6000_progressive.jpg ] || cjpeg -quality 90 -progressive "$big" > p6000_progressive.jpg
[ -f p3000.jpg ] || "$im" "$big" -resize 3000x2000! -quality 90 -sampling-factor 2x2 p3000.jpg
[ -f p1920.jpg ] || "$im" "$big" -resize 1920x1080! -quality 90 -sampling-factor 2x2 p1920.jpg
[ -f p1920.png ] || "$im" "$big" -resize 1920x1080! -define png:color-type=2 p1920.png
[ -f p800.jpg ] || "$im" "$big" -resize 800x600! -quality 90 -sampling-factor 2x2 p800.jpg
[ -f portrait_600x800.jpg ] || "$im" "$big" -crop 3000x4000+0+0 -resize 600x800! -quality 90 -sampling-factor 2x2 portrait_600x800.jpg
[ -f p4000.bmp ] || "$im" "$big" -resize 4000x3000! -type TrueColor BMP3:p4000.bmp
[ -f p6000.bmp ] || "$im" "$big" -type TrueColor BMP3:p6000.bmp
# The plug-in cases: the same 4000x3000 photo as lossless PNG and as lossy WebP.
[ -f p4000.png ] || "$im" p4000.bmp -define png:color-type=2 p4000.png
[ -f p4000.webp ] || "$im" p4000.bmp -quality 85 p4000.webp
rm -f photo_6000x4000.ppm
ls -l "$PWD"
