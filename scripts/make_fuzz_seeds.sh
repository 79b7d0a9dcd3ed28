#!/usr/bin/env bash
# Rebuilds the seed corpora of the fuzz targets in tests/data/fuzz/<target>/ from small valid
# files: the INI and list fixtures, tiny pictures of every built-in and plug-in format, and plug-in
# bitmap results of every bit depth. Seeds are named seed_*; inputs the fuzzers found (crash-*,
# and the named regression files) are left alone. Needs python3 and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/data/fuzz
data=tests/data
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
im=convert-im6.q16
command -v "$im" >/dev/null || im=convert

# Tiny pictures: a 7 x 5 gradient (odd width, so BMP rows are padded) in several encodings.
"$im" -size 5x7 gradient:red-blue -rotate 90 "$tmp/grad.ppm"
"$im" "$tmp/grad.ppm" BMP3:"$tmp/p24.bmp"
"$im" "$tmp/grad.ppm" -colors 16 -type palette BMP3:"$tmp/p8.bmp"
"$im" "$tmp/grad.ppm" -colors 2 -type bilevel BMP3:"$tmp/p1.bmp"
"$im" "$tmp/grad.ppm" -alpha set -define bmp:format=bmp4 BMP:"$tmp/p32.bmp"
"$im" "$tmp/grad.ppm" -quality 80 JPEG:"$tmp/p.jpg"
"$im" "$tmp/grad.ppm" -quality 80 -interlace JPEG JPEG:"$tmp/pp.jpg"
"$im" "$tmp/grad.ppm" PNG24:"$tmp/p24.png"
"$im" "$tmp/grad.ppm" -colors 8 PNG8:"$tmp/p8.png"
"$im" "$tmp/grad.ppm" -alpha set -channel A -evaluate set 50% PNG32:"$tmp/p32.png"
"$im" "$tmp/grad.ppm" -colors 8 GIF:"$tmp/p.gif"
"$im" -delay 10 "$tmp/grad.ppm" -colors 4 "$tmp/grad.ppm" -negate -colors 4 GIF:"$tmp/anim.gif"
"$im" "$tmp/grad.ppm" -quality 60 WEBP:"$tmp/p.webp"
"$im" "$tmp/grad.ppm" -define webp:lossless=true WEBP:"$tmp/pl.webp"
"$im" "$tmp/grad.ppm" -compress none TIFF:"$tmp/p.tif"
"$im" "$tmp/grad.ppm" -compress lzw -colors 16 -type palette TIFF:"$tmp/p8.tif"
"$im" "$tmp/grad.ppm" -resize 4x4! ICO:"$tmp/p.ico"

python3 - "$out" "$data" "$tmp" <<'PY'
import os, struct, sys, glob

out, data, tmp = sys.argv[1:4]

def put(target, name, payload):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    with open(os.path.join(out, target, "seed_" + name), "wb") as f:
        f.write(payload)

def read(path):
    with open(path, "rb") as f:
        return f.read()

def text(b):
    return bytes([len(b)]) + b

# ini: 16-bit file length, the file, then operations (opcode, section, key, arguments).
ops = (bytes([1]) + text(b"Main") + text(b"UseIndex") + text(b"3")
       + bytes([9]) + text(b"main") + text(b"A") + bytes([8]) + text(b"Other") + text(b"")
       + bytes([3]) + text(b"Main") + text(b"Num") + struct.pack("<i", -12))
for path in sorted(glob.glob(os.path.join(data, "ini", "*.ini"))):
    body = read(path)[:4096]
    put("ini", os.path.basename(path), struct.pack("<H", len(body)) + body + ops)
put("ini", "empty_then_writes", struct.pack("<H", 0) + ops)

# list: a 32-bit entry number, then the file.
for path in sorted(glob.glob(os.path.join(data, "listedit", "*.dat"))):
    put("list", os.path.basename(path), struct.pack("<i", 2) + read(path))

# picture: the extension index (bmp jpg jpeg ico emf wmf), then the file.
pictures = [(0, "p24.bmp"), (0, "p8.bmp"), (0, "p1.bmp"), (0, "p32.bmp"), (1, "p.jpg"), (2, "pp.jpg"),
            (3, "p.ico")]
for index, name in pictures:
    put("picture", name, bytes([index]) + read(os.path.join(tmp, name)))
put("picture", "cmyk.jpg", bytes([1]) + read(os.path.join(data, "picture", "grad_cmyk.jpg")))
put("picture", "rect.emf", bytes([4]) + read(os.path.join(data, "picture", "rect.emf")))
put("picture", "rect.wmf", bytes([5]) + read(os.path.join(data, "picture", "rect.wmf")))

# plugins: the plug-in index (png gif webp tiff), then the file.
for index, name in [(0, "p24.png"), (0, "p8.png"), (0, "p32.png"), (1, "p.gif"), (1, "anim.gif"),
                    (2, "p.webp"), (2, "pl.webp"), (3, "p.tif"), (3, "p8.tif")]:
    put("plugins", name, bytes([index]) + read(os.path.join(tmp, name)))

# setdib: header block size, header, pixel block size (16 bits and a shift), pixels.
def dib(bits, width, height, colours=0, compression=0, extra=b""):
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, 0, 0, 0, colours, 0)
    count = colours or (1 << bits if bits <= 8 else 0)
    table = b"".join(struct.pack("<BBBB", i * 16 % 256, i * 32 % 256, i * 64 % 256, 0) for i in range(count))
    block = header + extra + table
    stride = (width * bits + 31) // 32 * 4
    pixels = bytes((i * 37) % 256 for i in range(stride * abs(height)))
    return struct.pack("<H", len(block)) + block + struct.pack("<HB", len(pixels), 0) + pixels
put("setdib", "1bit", dib(1, 9, 3))
put("setdib", "4bit", dib(4, 5, 4, colours=16))
put("setdib", "8bit", dib(8, 7, 3, colours=0))
put("setdib", "24bit", dib(24, 3, 2))
put("setdib", "24bit_topdown", dib(24, 3, -2))
put("setdib", "32bit", dib(32, 2, 2))
put("setdib", "16bit_fields", dib(16, 3, 2, compression=3, extra=struct.pack("<III", 0xF800, 0x07E0, 0x001F)))
# round: a mode byte (odd: the file of earlier versions; the stamp the round is believed under),
# the group's entry count, then the stored round's bytes.
M = (1 << 64) - 1
def check(b):
    h = (0x6a09e667f3bcc909 ^ len(b)) & M
    i = 0
    while i + 8 <= len(b):
        h = ((h ^ struct.unpack_from("<Q", b, i)[0]) * 0x9e3779b97f4a7c15) & M
        h ^= h >> 29
        i += 8
    for c in b[i:]:
        h = ((h ^ c) * 0x100000001b3) & M
    h ^= h >> 33
    h = (h * 0xff51afd7ed558ccd) & M
    return h ^ (h >> 33)
def fnv(text):
    h = 0xcbf29ce484222325
    for c in text:
        h = ((h ^ c) * 0x100000001b3) & M
    return h
def round_file(stamp, items, numbers, hashes, shown, name=b"g.dat"):
    sealed = struct.pack("<QQQqqIIII", *stamp, len(items), len(name), max(numbers), 0) + name
    seal = check(sealed)
    position = struct.pack("<II", shown, check(struct.pack("<QI", seal, shown)) & 0xffffffff)
    body = b"".join(struct.pack("<I", x) for x in items + numbers) + b"".join(struct.pack("<Q", x) for x in hashes)
    return b"TapRnd1\n" + position + sealed[:56] + struct.pack("<Q", seal) + name + body + struct.pack("<Q", check(body))
pictures = [b"p%d.bmp" % k for k in range(5)]
put("round", "round_believed", bytes([0x0a, 5]) + round_file((1, 2, 3, 4, 5), [3, 1, 4, 0, 2], [0, 1, 2, 3, 4], [fnv(p) for p in pictures], 2))
put("round", "round_beyond_group", bytes([0x0a, 3]) + round_file((1, 2, 3, 4, 5), [7, 1, 9], [1, 7, 9], [fnv(b"x"), fnv(b"y"), fnv(b"z")], 1))
put("round", "round_used_up", bytes([0x02, 4]) + round_file((9, 9, 9, 9, 9), [1, 0], [0, 1], [fnv(p) for p in pictures[:2]], 2))
put("round", "header_only", b"\x00\x04TapRnd1\n" + bytes(8))
put("round", "legacy.ini", b"\x01\x03[g.dat]\r\nCount=3\r\nShown=1\r\nEntry0=2,2c2b8f1a4d3e5f60\r\nEntry1=0,0123456789abcdef\r\nEntry2=1,fedcba9876543210\r\n")
put("round", "legacy_huge_count.ini", b"\x01\x02[g.dat]\r\nCount=2000000000\r\nShown=0\r\n")
PY
du -sh "$out"
