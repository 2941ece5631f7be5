#!/usr/bin/env bash
# Writes the small seed files of fuzz/corpus/ (ImageMagick for the raster formats, a few lines of
# Python for icons with PNG entries and for metafiles). Run once; the output is committed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
im=/usr/bin/convert
c="$here/corpus"
mkdir -p "$c"/{bmp,gif,jpeg,png,ico,tiff,tga,pcx,wbmp,wmf,emf,pe}
src=$(mktemp -d); trap 'rm -rf "$src"' EXIT
$im rose: -resize 12x9! "$src/rose.png"
$im -size 10x8 gradient:red-blue "$src/grad.png"

$im "$src/rose.png" "$c/bmp/rose24.bmp"
$im "$src/rose.png" -colors 16 -type Palette "$c/bmp/rose4.bmp"
$im "$src/rose.png" -colors 200 -type Palette -compress RLE "$c/bmp/rose8rle.bmp"
$im "$src/rose.png" "$c/gif/rose.gif"
$im "$src/rose.png" -interlace GIF "$c/gif/interlaced.gif"
$im -delay 10 "$src/rose.png" "$src/grad.png" -loop 0 "$c/gif/anim.gif"
$im -size 8x6 xc:none -fill red -draw 'rectangle 1,1 4,3' "$c/gif/transparent.gif"
# Our own 24-bit GIF: a picture cut into tiles with their own colour tables.
tool="${QUILLET_TOOL:-$here/../build/src/cli/quillet-tool}"
if [ -x "$tool" ]; then
  $im rose: -resize 40x30! "$src/rose40.png"
  "$tool" convert "$src/rose40.png" "$c/gif/tiles24.gif"
fi
$im "$src/rose.png" -quality 80 "$c/jpeg/rose.jpg"
$im "$src/rose.png" -colorspace Gray "$c/jpeg/grey.jpg"
$im "$src/rose.png" "$c/png/rose.png"
$im "$src/rose.png" -colors 8 "PNG8:$c/png/palette.png"
$im "$src/grad.png" -alpha set -channel A -evaluate set 50% "$c/png/alpha.png"
$im "$src/rose.png" "$c/tiff/rose.tif"
$im "$src/rose.png" "$src/grad.png" "$c/tiff/pages.tif"
$im "$src/rose.png" -resize 16x16! "$src/grad.png" -resize 8x8! "$c/ico/two.ico"
$im "$src/rose.png" -colors 16 -resize 16x16! "$c/ico/palette.ico"
$im "$src/rose.png" "$c/tga/rose.tga"
$im "$src/rose.png" -compress RLE "$c/tga/rle.tga"
$im "$src/rose.png" -colors 32 -type Palette "$c/tga/mapped.tga"
$im "$src/rose.png" -colorspace Gray "$c/tga/grey.tga"
$im "$src/rose.png" "$c/pcx/rose24.pcx"
$im "$src/rose.png" -colors 64 -type Palette "$c/pcx/palette.pcx"
$im "$src/rose.png" -monochrome "$c/pcx/mono.pcx"
$im "$src/rose.png" -monochrome "$c/wbmp/rose.wbmp"
$im -size 9x3 pattern:checkerboard -monochrome "$c/wbmp/checks.wbmp"

# Libraries with icons, built by a real toolchain for the icon tests.
cp "$here"/../tests/tools/icons/fixtures/icons32.dll "$here"/../tests/tools/icons/fixtures/icons64.dll "$c/pe/"

python3 - "$c" "$src/rose.png" <<'PY'
import struct, sys
c, png = sys.argv[1], open(sys.argv[2], 'rb').read()
# An icon whose entry is a PNG.
open(f'{c}/ico/png-entry.ico', 'wb').write(
    struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 12, 9, 0, 0, 1, 32, len(png), 22) + png)

def wrec(fn, *words, raw=b''):
    body = struct.pack('<%dh' % len(words), *words) + raw
    if len(body) % 2: body += b'\0'
    return struct.pack('<IH', 3 + len(body) // 2, fn) + body

def dib(w, h):
    pix = bytearray()
    for y in range(h):
        row = bytearray()
        for x in range(w): row += bytes([(x * 40) % 256, (y * 60) % 256, 128])
        row += b'\0' * ((4 - len(row) % 4) % 4)
        pix += row
    return struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pix), 0, 0, 0, 0) + bytes(pix)

recs = [
    wrec(0x0103, 8), wrec(0x020B, 0, 0), wrec(0x020C, 100, 100),
    wrec(0x02FA, 0, 2, 0, 0x00FF, 0x0000),  # red pen (style, width, 0, colorref low, high)
    wrec(0x012D, 0),
    wrec(0x02FC, 0, 0x3000, 0x0010, 0),  # brush
    wrec(0x012D, 1),
    wrec(0x041B, 50, 60, 10, 10),  # rectangle bottom right top left
    wrec(0x0418, 90, 90, 60, 60),
    wrec(0x0324, 3, 10, 90, 40, 60, 5, 95),
    wrec(0x081A, 95, 20, 95, 50, 70, 95, 40, 65),
    wrec(0x0214, 5, 5), wrec(0x0213, 95, 50),
    wrec(0x001E), wrec(0x0209, 0x00AA, 0), wrec(0x0521, 2, raw=b'Hi' + struct.pack('<hh', 30, 20)),
    wrec(0x0127, -1),
    wrec(0x0F43, 0x0020, 0x00CC, 0, 4, 4, 0, 0, 20, 20, 70, 5, raw=dib(4, 4)),
    wrec(0x01F0, 0),
]
body = b''.join(recs) + struct.pack('<IH', 3, 0)
header = struct.pack('<HHHIHIH', 1, 9, 0x300, (18 + len(body)) // 2, 4, 40, 0)
words = [0xCDD7, 0x9AC6, 0, 0, 0, 100, 100, 96, 0, 0]
check = 0
for w in words: check ^= w
placeable = struct.pack('<10HH', *words, check)
open(f'{c}/wmf/shapes.wmf', 'wb').write(placeable + header + body)

def erec(t, fmt='', *vals, raw=b''):
    body = struct.pack('<' + fmt, *vals) + raw
    body += b'\0' * ((4 - len(body) % 4) % 4)
    return struct.pack('<II', t, 8 + len(body)) + body

text = 'Ok'.encode('utf-16-le')
emr = [
    erec(38, 'IIiiI', 1, 0, 3, 0, 0x0000FF),
    erec(37, 'I', 1),
    erec(39, 'IIII', 2, 0, 0x00FF00, 0),
    erec(37, 'I', 2),
    erec(43, 'iiii', 5, 5, 40, 30),
    erec(42, 'iiii', 30, 20, 70, 50),
    erec(86, 'iiiiIhhhhhh', 0, 0, 0, 0, 3, 2, 58, 30, 40, 58, 58),
    erec(27, 'ii', 0, 0), erec(54, 'ii', 79, 59),
    erec(84, 'iiiiIffiiIIIiiiiI', 0, 0, 0, 0, 1, 1.0, 1.0, 10, 40, 2, 76, 0, 0, 0, 0, 0, 0, raw=text),
    erec(40, 'I', 1),
]
records = b''.join(emr) + erec(14, 'III', 0, 0, 20)
nbytes = 108 + len(records)
head = struct.pack('<II4i4iIIIIHHIIIiiii', 1, 108, 0, 0, 79, 59, 0, 0, 2116, 1587,
                   0x464D4520, 0x10000, nbytes, len(emr) + 2, 3, 0, 0, 0, 0, 1024, 768, 270, 203)
head += struct.pack('<III', 0, 0, 0) + b'\0' * (108 - 100)
open(f'{c}/emf/shapes.emf', 'wb').write(head[:108] + records)
PY
ls -l "$c"/*/ | awk '{s+=$5} END {print s " bytes of seeds"}'
