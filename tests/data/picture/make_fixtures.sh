#!/usr/bin/env bash
# Rebuilds the picture fixtures of this folder. Needs python3, cjpeg (libjpeg-turbo-progs) and
# ImageMagick (for the CMYK JPEG and the two-image icon).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 - "$tmp" <<'PY'
import struct, sys
tmp = sys.argv[1]

# 64 x 48 gradient: red grows to the right, green downwards, blue constant.
w, h = 64, 48
with open(f"{tmp}/grad.ppm", "wb") as f:
    f.write(b"P6 %d %d 255\n" % (w, h))
    for y in range(h):
        f.write(bytes(v for x in range(w) for v in (x * 4, y * 5, 100)))

# Enhanced metafile, 100 x 50 pixels at 96 dpi: a red rectangle on nothing.
def rec(kind, payload):
    return struct.pack("<II", kind, 8 + len(payload)) + payload
body = [
    rec(39, struct.pack("<IIII", 1, 0, 0x000000FF, 0)),   # CREATEBRUSHINDIRECT: solid red
    rec(37, struct.pack("<I", 1)),                          # SELECTOBJECT
    rec(43, struct.pack("<iiii", 10, 10, 90, 40)),          # RECTANGLE
    rec(14, struct.pack("<III", 0, 16, 20)),                # EOF
]
total = 108 + sum(len(r) for r in body)
header = struct.pack("<II4i4iIIIIHHIIIii", 1, 108, 0, 0, 99, 49, 0, 0, 2646, 1323,
                     0x464D4520, 0x10000, total, len(body) + 1, 2, 0, 0, 0, 0, 1024, 768)
header += struct.pack("<ii", 320, 240) + struct.pack("<III", 0, 0, 0) + struct.pack("<ii", 320000, 240000)
assert len(header) == 108
open("rect.emf", "wb").write(header + b"".join(body))

# Placeable metafile, 1000 x 500 units at 960 per inch = 100 x 50 pixels: a red rectangle.
def wrec(func, *words):
    return struct.pack("<IH", 3 + len(words), func) + struct.pack("<%dh" % len(words), *words)
records = [
    wrec(0x020B, 0, 0),                 # SETWINDOWORG y, x
    wrec(0x020C, 500, 1000),            # SETWINDOWEXT y, x
    wrec(0x02FC, 0, 0x00FF, 0x0000, 0), # CREATEBRUSHINDIRECT style, colour (2 words), hatch
    wrec(0x012D, 0),                    # SELECTOBJECT
    wrec(0x041B, 400, 900, 100, 100),   # RECTANGLE bottom, right, top, left
    wrec(0x0000),                       # EOF
]
data = b"".join(records)
size_words = (18 + len(data)) // 2
max_record = max(len(r) for r in records) // 2
meta = struct.pack("<HHHIHIH", 1, 9, 0x0300, size_words, 1, max_record, 0) + data
words = struct.unpack("<10H", struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 1000, 500, 960, 0))
checksum = 0
for word in words:
    checksum ^= word
open("rect.wmf", "wb").write(struct.pack("<IHhhhhHIH", 0x9AC6CDD7, 0, 0, 0, 1000, 500, 960, 0, checksum) + meta)
PY

cjpeg -quality 95 "$tmp/grad.ppm" > grad.jpg
cjpeg -quality 95 -progressive "$tmp/grad.ppm" > grad_progressive.jpg
cjpeg -quality 95 -grayscale "$tmp/grad.ppm" > grad_gray.jpg
convert-im6.q16 "$tmp/grad.ppm" -colorspace CMYK -quality 95 grad_cmyk.jpg
head -c 700 grad.jpg > truncated.jpg
printf 'not a jpeg at all' > garbage.jpg
convert-im6.q16 -size 16x16 xc:blue "$tmp/small.png"
convert-im6.q16 -size 48x32 xc:lime "$tmp/big.png"
convert-im6.q16 "$tmp/small.png" "$tmp/big.png" two_sizes.ico
