#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Renders app/icons/keyloft.svg to the PNG sizes used by the hicolor icon theme
# and packs the 16, 32 and 48 pixel renderings into app/keyloft.ico (32-bit BMP
# entries with an all-zero AND mask) for the Windows executable's resource.
# The outputs depend only on the SVG, so running the script again reproduces
# them byte for byte.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
icons="$root/app/icons"
svg="$icons/keyloft.svg"
ico="$root/app/keyloft.ico"

"$root/scripts/ensure-packages.sh" librsvg2-bin python3

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for size in 16 32 48 128 256; do
    rsvg-convert --width="$size" --height="$size" --format=png \
        --output="$tmp/keyloft-$size.png" "$svg"
    cp "$tmp/keyloft-$size.png" "$icons/keyloft-$size.png"
done

python3 - "$tmp/keyloft.ico" "$tmp/keyloft-16.png" "$tmp/keyloft-32.png" "$tmp/keyloft-48.png" <<'PY'
import struct
import sys
import zlib


def read_png(path):
    """Decode an 8-bit RGBA, non-interlaced PNG into a list of RGBA rows."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", chunk)
        elif kind == b"IDAT":
            idat += chunk
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        sys.exit(f"{path}: expected 8-bit RGBA without interlacing")

    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prev, offset = [], bytearray(stride), 0
    for _ in range(height):
        kind = raw[offset]
        cur = bytearray(raw[offset + 1:offset + 1 + stride])
        offset += 1 + stride
        for i in range(stride):
            a = cur[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                cur[i] = (cur[i] + a) & 0xFF
            elif kind == 2:
                cur[i] = (cur[i] + b) & 0xFF
            elif kind == 3:
                cur[i] = (cur[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[i] = (cur[i] + pred) & 0xFF
            elif kind != 0:
                sys.exit(f"{path}: unknown filter type {kind}")
        rows.append(bytes(cur))
        prev = cur
    return width, height, rows


def dib(width, height, rows):
    """BITMAPINFOHEADER + bottom-up BGRA rows + zeroed 1-bpp AND mask."""
    pixels = bytearray()
    for row in reversed(rows):
        for x in range(width):
            r, g, b, a = row[x * 4:x * 4 + 4]
            pixels += bytes((b, g, r, a))
    mask_stride = ((width + 31) // 32) * 4
    mask = bytes(mask_stride * height)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + mask


out, pngs = sys.argv[1], sys.argv[2:]
decoded = [read_png(p) for p in pngs]
images = [dib(*d) for d in decoded]
sizes = [d[0] for d in decoded]

directory = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
entries, blobs = b"", b""
for size, image in zip(sizes, images):
    entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
    blobs += image
    offset += len(image)

with open(out, "wb") as f:
    f.write(directory + entries + blobs)
PY

cp "$tmp/keyloft.ico" "$ico"
echo "Wrote $icons/keyloft-{16,32,48,128,256}.png and $ico"
