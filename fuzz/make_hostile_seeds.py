#!/usr/bin/env python3
"""Writes the hostile seeds of fuzz/corpus/: tiny files whose headers claim huge pictures, chunks,
strips or resources. The image tests decode the same files (under a memory limit). The metafiles
go to the tests only: a metafile's frame sets the size it is drawn at (up to 4000 x 4000), so
seeds with huge frames would have the fuzzer drawing big empty pictures all day. Run once; the
output is committed."""
import os
import struct
import sys
import zlib

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, 'corpus')


tests = os.path.join(here, '..', 'tests', 'image_formats', 'hostile')


def write(folder, name, data, root=corpus):
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    with open(os.path.join(root, folder, name), 'wb') as f:
        f.write(data)


# --- PNG ---
def chunk(kind, data, length=None):
    body = kind + data
    return struct.pack('>I', len(data) if length is None else length) + body + \
        struct.pack('>I', zlib.crc32(body) & 0xffffffff)


SIG = b'\x89PNG\r\n\x1a\n'


def ihdr(width, height, colour=2, depth=8):
    return chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, colour, 0, 0, 0))


# Image data claiming 2,147,483,647 bytes, of which the file holds a hundred.
idat = struct.pack('>I', 0x7fffffff) + b'IDAT' + zlib.compress(b'\0' * 600)[:92]
write('png', 'huge-idat.png', SIG + ihdr(16, 16) + idat)
# An ancillary chunk claiming 622 MB before the real image data.
rows = b''.join(b'\0' + bytes((x * 7 + y * 3) % 256 for x in range(48)) for y in range(16))
picture = chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b'')
text = struct.pack('>I', 622_000_000) + b'zTXt' + b'Comment\0\0' + zlib.compress(b'x' * 4000)[:40]
huge_text = SIG + ihdr(16, 16) + text + bytes(700 - len(text) - len(picture)) + picture
write('png', 'huge-text.png', huge_text)
# A critical chunk (the palette) claiming 1 GB.
write('png', 'huge-palette.png',
      SIG + ihdr(16, 16, 3) + struct.pack('>I', 1 << 30) + b'PLTE' + bytes(90))
# A header of 65,535 x 65,535 colour pixels with a few bytes of image data.
write('png', 'huge-size.png',
      SIG + ihdr(65535, 65535) + chunk(b'IDAT', zlib.compress(b'\0' * 2000, 9)) +
      chunk(b'IEND', b''))

# --- ICO: an icon whose entry is the PNG with the huge ancillary chunk ---
write('ico', 'png-huge-text.ico',
      struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 16, 16, 0, 0, 1, 32,
                                                 len(huge_text), 22) + huge_text)


# --- BMP ---
def bmp(width, height, bpp, compression, pixels):
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bpp, compression, len(pixels), 0, 0,
                       0, 0)
    table = bytes(4 * 256) if bpp == 8 else b''
    offset = 14 + len(info) + len(table)
    return b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset) + info + table + pixels


write('bmp', 'huge.bmp', bmp(65535, 65535, 24, 0, bytes(64)))
write('bmp', 'huge-rle.bmp', bmp(65535, 65535, 8, 1, bytes([255, 1] * 16 + [0, 1])))

# --- TGA: run-length true colour of 65,535 x 65,535 ---
write('tga', 'huge.tga',
      struct.pack('<BBBHHBHHHHBB', 0, 0, 10, 0, 0, 0, 0, 0, 65535, 65535, 24, 0) +
      bytes([0xff, 1, 2, 3]) * 16)


# --- GIF ---
def gif(screen, frames):
    out = b'GIF89a' + struct.pack('<HHBBB', screen, screen, 0, 0, 0)
    for left, side in frames:
        out += b'\x2c' + struct.pack('<HHHHB', left, 0, side, side, 0x80)  # 2-entry table
        out += bytes([0, 0, 0, 255, 255, 255])
        out += bytes([2, 4, 0x84, 0x8f, 0xa9, 0x0b, 0])  # a few codes, then the end
    return out + b'\x3b'


write('gif', 'huge-frame.gif', gif(65535, [(0, 65535)]))
write('gif', 'huge-screen.gif', gif(65535, [(0, 1), (1, 1)]))


# --- JPEG: 65,500 x 65,500 grey with one-bit codes and 32 bytes of scan data ---
def segment(marker, data):
    return bytes([0xff, marker]) + struct.pack('>H', len(data) + 2) + data


jpeg = b'\xff\xd8'
jpeg += segment(0xdb, bytes([0]) + bytes([1] * 64))
jpeg += segment(0xc0, struct.pack('>BHHB', 8, 65500, 65500, 1) + bytes([1, 0x11, 0]))
jpeg += segment(0xc4, bytes([0x00, 1] + [0] * 15 + [0]))  # DC: one code of one bit
jpeg += segment(0xc4, bytes([0x10, 1] + [0] * 15 + [0]))  # AC: end of block, one bit
jpeg += segment(0xda, bytes([1, 1, 0x00, 0, 63, 0]))
jpeg += bytes(32) + b'\xff\xd9'
write('jpeg', 'huge.jpg', jpeg)


# --- TIFF: one strip of 2^31 bytes for a 65,536 x 32,768 grey picture ---
def tiff(entries):
    entries = sorted(entries)
    data_at = 8 + 2 + 12 * len(entries) + 4
    out = b'II*\0' + struct.pack('<I', 8) + struct.pack('<H', len(entries))
    for tag, kind, value in entries:
        out += struct.pack('<HHII', tag, kind, 1, value)
    return out + struct.pack('<I', 0) + bytes(64), data_at


strip, at = tiff([(256, 4, 65536), (257, 4, 32768), (258, 3, 8), (259, 3, 1), (262, 3, 1),
                  (273, 4, 0), (277, 3, 1), (278, 4, 32768), (279, 4, 1 << 31)])
strip = bytearray(strip)
# StripOffsets points at the bytes after the directory.
for i in range(9):
    entry = 10 + 12 * i
    if struct.unpack_from('<H', strip, entry)[0] == 273:
        struct.pack_into('<I', strip, entry + 8, at)
write('tiff', 'huge-strip.tif', bytes(strip))

# --- PCX: 65,535 x 65,535 in three planes, run-length ---
pcx = bytearray(128)
struct.pack_into('<BBBBHHHHHH', pcx, 0, 10, 5, 1, 8, 0, 0, 65534, 65534, 72, 72)
pcx[65] = 3
struct.pack_into('<HH', pcx, 66, 65535, 1)
write('pcx', 'huge.pcx', bytes(pcx) + bytes([0xff, 0]) * 32)

# --- WBMP: 65,535 x 65,535 ---
write('wbmp', 'huge.wbmp', bytes([0, 0, 0x83, 0xff, 0x7f, 0x83, 0xff, 0x7f]) + bytes(32))

# --- Metafiles whose frames are huge and whose records run past the end ---
words = [0xCDD7, 0x9AC6, 0, 0, 0, 32767, 32767, 1, 0, 0]
check = 0
for w in words:
    check ^= w
wmf = struct.pack('<10HH', *words, check) + struct.pack('<HHHIHIH', 1, 9, 0x300, 100, 1, 40, 0)
wmf += struct.pack('<IH', 0x7fffffff, 0x041B) + bytes(8)
write('', 'huge.wmf', wmf, tests)
emf = struct.pack('<II4i4iIIIIHHIIIiiii', 1, 108, 0, 0, 1 << 30, 1 << 30, 0, 0, 1 << 30, 1 << 30,
                  0x464D4520, 0x10000, 200, 3, 1, 0, 0, 0, 0, 1024, 768, 270, 203)
emf += bytes(108 - len(emf)) + struct.pack('<II', 42, 0x7ffffff0) + bytes(16)
write('', 'huge.emf', emf, tests)


# --- PE: resources that amplify (kept under the fuzzer's 64 KB) ---
def put(out, at, value, size):
    if len(out) < at + size:
        out.extend(bytes(at + size - len(out)))
    out[at:at + size] = value.to_bytes(size, 'little')


def icon_bitmap(side=16):
    header = struct.pack('<IiiHHIIiiII', 40, side, 2 * side, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes([40, 80, 200, 255]) * side * side + bytes(4 * side)


def pe(rsrc):
    """A PE32 file whose one section (at 0x1000, file offset 0x200) holds `rsrc`."""
    out = bytearray(0x200)
    out[0:2] = b'MZ'
    put(out, 0x3c, 0x40, 4)
    put(out, 0x40, 0x4550, 4)
    put(out, 0x44, 0x14c, 2)
    put(out, 0x46, 1, 2)
    put(out, 0x54, 224, 2)
    put(out, 0x58, 0x10b, 2)
    put(out, 0x58 + 92, 16, 4)
    put(out, 0x58 + 96 + 16, 0x1000, 4)
    put(out, 0x58 + 96 + 20, len(rsrc), 4)
    section = 0x58 + 224
    out[section:section + 5] = b'.rsrc'
    put(out, section + 8, len(rsrc), 4)
    put(out, section + 12, 0x1000, 4)
    put(out, section + 16, len(rsrc), 4)
    put(out, section + 20, 0x200, 4)
    return bytes(out) + bytes(rsrc)


def directory(out, at, targets, subdirectories, first_id=1):
    put(out, at + 14, len(targets), 2)
    for i, target in enumerate(targets):
        put(out, at + 16 + 8 * i, first_id + i, 4)
        put(out, at + 20 + 8 * i, target | (0x80000000 if subdirectories else 0), 4)


def amplifying_pe(groups, group_entries, shared_languages):
    """`groups` group names over one icon. With `shared_languages` every name leads to one language
    directory of that many entries; otherwise each name has its own, all naming one group of
    `group_entries` entries."""
    out = bytearray()
    root, icon_type, group_type = 0, 32, 64
    icon_language = group_type + 16 + 8 * groups
    group_languages = icon_language + 24
    languages = shared_languages or 1
    icon_entry = group_languages + 16 + 8 * languages
    group_entry = icon_entry + 16
    icon_data = group_entry + 16
    bitmap = icon_bitmap()
    group_data = icon_data + len(bitmap)
    directory(out, root, [icon_type], True, 3)
    put(out, root + 14, 2, 2)
    put(out, root + 24, 14, 4)
    put(out, root + 28, group_type | 0x80000000, 4)
    directory(out, icon_type, [icon_language], True)
    directory(out, group_type, [group_languages] * groups, True)
    directory(out, icon_language, [icon_entry], False, 1033)
    directory(out, group_languages, [group_entry] * languages, False, 1033)
    put(out, icon_entry, 0x1000 + icon_data, 4)
    put(out, icon_entry + 4, len(bitmap), 4)
    group = bytearray(struct.pack('<HHH', 0, 1, group_entries))
    for _ in range(group_entries):
        group += struct.pack('<BBBBHHIH', 16, 16, 0, 0, 1, 32, len(bitmap), 1)
    put(out, group_entry, 0x1000 + group_data, 4)
    put(out, group_entry + 4, len(group), 4)
    out[icon_data:icon_data + len(bitmap)] = bitmap
    out[group_data:group_data + len(group)] = group
    return pe(out)


if __name__ == '__main__' and len(sys.argv) == 1:
    write('pe', 'one-big-group.dll', amplifying_pe(60, 3000, 0))
    write('pe', 'shared-languages.dll', amplifying_pe(500, 1, 3000))
