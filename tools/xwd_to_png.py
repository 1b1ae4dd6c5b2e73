#!/usr/bin/env python3
"""Turns an xwd screen dump (24 or 32 bits per pixel, TrueColor) into a PNG, cropped to the
part that differs from the two commonest colours (a virtual desktop and the screen beyond it),
with a margin. Exit status 3, and no PNG, when there is nothing else.

    python3 tools/xwd_to_png.py IN.xwd OUT.png [MARGIN]
"""
import collections
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    size, width, height = header[0], header[4], header[5]
    order, bpp, stride = header[7], header[11], header[12]
    masks = header[14:17]
    ncolors = header[19]
    pixels = data[size + 12 * ncolors:]
    step = bpp // 8
    fmt = "<I" if order == 0 else ">I"
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    rows = []
    for y in range(height):
        line = pixels[y * stride:y * stride + width * step]
        row = []
        for x in range(width):
            raw = line[x * step:x * step + step]
            v = struct.unpack(fmt, raw.ljust(4, b"\0") if order == 0 else raw.rjust(4, b"\0"))[0]
            row.append(tuple((v & m) >> s for m, s in zip(masks, shifts)))
        rows.append(row)
    return rows


def crop(rows, margin):
    counts = collections.Counter(p for row in rows for p in row)
    background = {colour for colour, _ in counts.most_common(2)}
    ys = [y for y, row in enumerate(rows) if any(p not in background for p in row)]
    xs = [x for x in range(len(rows[0])) if any(row[x] not in background for row in rows)]
    if not ys:
        return None
    top, bottom = max(min(ys) - margin, 0), min(max(ys) + margin, len(rows) - 1)
    left, right = max(min(xs) - margin, 0), min(max(xs) + margin, len(rows[0]) - 1)
    return [row[left:right + 1] for row in rows[top:bottom + 1]]


def write_png(path, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)
    ihdr = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    margin = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    cropped = crop(read_xwd(sys.argv[1]), margin)
    if cropped is None:
        sys.exit(3)  # nothing but the background
    write_png(sys.argv[2], cropped)
