#!/usr/bin/env python3
"""Draws the launcher's application icon (an open book on a blue square) as a Windows .ico
with five images, 16 to 48 pixels, 32-bit with alpha.

usage: make_icon.py OUT.ico
"""
import struct
import sys

SIZES = [16, 20, 24, 32, 48]
BLUE = (0x9C, 0x5A, 0x1F, 0xFF)   # BGRA
PAGE = (0xF4, 0xF4, 0xF4, 0xFF)
SPINE = (0x40, 0x30, 0x20, 0xFF)
CLEAR = (0, 0, 0, 0)


def pixel(x, y, n):
    """The colour at (x, y), y counted from the top."""
    m = max(1, n // 16)
    if x < m or y < m or x >= n - m or y >= n - m:
        return CLEAR
    top, bottom = n * 5 // 16, n * 12 // 16
    left, right = n * 3 // 16, n - n * 3 // 16
    if top <= y < bottom and left <= x < right:
        return SPINE if abs(2 * x + 1 - n) <= max(1, n // 16) else PAGE
    return BLUE


def image(n):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b"".join(bytes(c for x in range(n) for c in pixel(x, y, n)) for y in reversed(range(n)))
    mask_row = ((n + 31) // 32) * 4
    return header + rows + b"\0" * (mask_row * n)


def main():
    images = [image(n) for n in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
