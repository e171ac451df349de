#!/usr/bin/env python3
"""Draws the program's icon, a lit staircase, into resources/lumivo24.ico.

The picture is described in a unit square and rendered with 4 x 4 supersampling at 16, 32 and
48 pixels; each size is stored as a 32-bit BGRA bitmap with its AND mask, the layout every
Windows version reads. Only the standard library is used.

Usage: scripts/gen_icon.py [output.ico]
"""
import math
import pathlib
import struct
import sys

OUT = pathlib.Path(__file__).resolve().parent.parent / "resources" / "lumivo24.ico"
SIZES = (16, 32, 48)
SUPERSAMPLE = 4

BACKGROUND = (34, 46, 78)
STEP = (205, 211, 222)
STRIP = (255, 196, 48)
LAMP = (255, 226, 120)

STEPS = 4
LEFT, RIGHT, BOTTOM = 0.12, 0.90, 0.88
RISE = 0.15
LAMP_CENTRE = (0.27, 0.27)
LAMP_RADIUS = 0.09
HALO_RADIUS = 0.24


def in_rounded_square(x, y, margin=0.03, radius=0.2):
    lo, hi = margin, 1.0 - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def step_index(x, y):
    """Index of the step whose block covers (x, y), or None; y grows downward."""
    tread = (RIGHT - LEFT) / STEPS
    if not (LEFT <= x <= RIGHT) or y > BOTTOM:
        return None
    i = min(int((x - LEFT) / tread), STEPS - 1)
    top = BOTTOM - RISE * (i + 1)
    return i if y >= top else None


def colour_at(x, y):
    """Colour and opacity of the picture at (x, y), painted back to front."""
    if not in_rounded_square(x, y):
        return (0, 0, 0), 0.0
    r, g, b = BACKGROUND
    d = math.hypot(x - LAMP_CENTRE[0], y - LAMP_CENTRE[1])
    if d < HALO_RADIUS:
        k = 0.55 * (1.0 - d / HALO_RADIUS) ** 2
        r, g, b = (c + (s - c) * k for c, s in zip((r, g, b), STRIP))
    i = step_index(x, y)
    if i is not None:
        top = BOTTOM - RISE * (i + 1)
        r, g, b = STRIP if y - top < 0.045 else STEP
    if d < LAMP_RADIUS:
        r, g, b = LAMP
    return (r, g, b), 1.0


def render(size):
    """Rows of (r, g, b, a) tuples, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    (r, g, b), a = colour_at(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if alpha > 0:
                pixel = tuple(round(c / acc[3]) for c in acc[:3]) + (round(alpha * 255),)
            else:
                pixel = (0, 0, 0, 0)
            row.append(pixel)
        rows.append(row)
    return rows


def bitmap(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, then the AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(
        bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row
    )
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def icon(sizes):
    images = [bitmap(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    path = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else OUT
    path.write_bytes(icon(SIZES))
    return 0


if __name__ == "__main__":
    sys.exit(main())
