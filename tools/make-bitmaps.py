#!/usr/bin/env python3
"""Writes the about window's bitmaps into resources/:
AboutStill.bmp  121 x 121, 24 bits: the blue octahedron on black, as the
                first frame of the spinning image draws it;
BtnOk.bmp       36 x 18, 4 bits, standard 16-colour palette: a green check
                mark with a navy shadow, then the same mark embossed in grey
                and white; olive is transparent;
QuestionMark.bmp 16 x 16, 24 bits: the about button's question mark in cyan
                and teal with a black shadow on silver (the transparent colour)."""

import math
import pathlib
import struct

RESOURCES = pathlib.Path(__file__).resolve().parent.parent / "resources"

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, GREEN, OLIVE, NAVY, GREY, WHITE = 0, 2, 3, 4, 8, 15


def line(points, x0, y0, x1, y1):
    """Bresenham: every pixel from (x0, y0) to (x1, y1)."""
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
    err = dx + dy
    while True:
        points.add((x0, y0))
        if x0 == x1 and y0 == y1:
            return
        e2 = 2 * err
        if e2 >= dy:
            err += dy
            x0 += sx
        if e2 <= dx:
            err += dx
            y0 += sy


def bmp_file(width, height, bits, rows_bottom_up, palette=None):
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette) if palette else b""
    data = b"".join(rows_bottom_up)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       len(palette) if palette else 0, 0)
    return struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset) + info + pal + data


def octahedron_still():
    size = 121
    vertices = [(-1, 0, 0), (0, 0, -1), (1, 0, 0), (0, 0, 1), (0, 1, 0), (0, -1, 0)]
    edges = [(0, 1), (1, 2), (2, 3), (3, 0), (0, 4), (1, 4), (2, 4), (3, 4),
             (0, 5), (1, 5), (2, 5), (3, 5)]
    ax, ay, magnification, width, distance = 0.04, 0.03, 4.0, 81, 10000.0
    sa, ca, sb, cb = math.sin(ax), math.cos(ax), math.sin(ay), math.cos(ay)
    m = width / 2.3
    projected = []
    for x, y, z in vertices:
        x, y, z = 10 * x, 10 * y, 10 * z
        x1 = x * ca + z * sa
        z1 = -x * sa + z * ca
        y2 = y * cb - z1 * sb
        z2 = y * sb + z1 * cb
        s = distance / (z2 + distance) * magnification
        px = max(min(x1 * s + m, 1000), 0)
        py = max(min(m - y2 * s, 1000), 0)
        projected.append((round(px), round(py)))
    points = set()
    for a, b in edges:
        line(points, *projected[a], *projected[b])
    rows = []
    for y in reversed(range(size)):
        row = b"".join(b"\xff\x00\x00" if (x, y) in points else b"\x00\x00\x00" for x in range(size))
        rows.append(row + b"\0" * (-len(row) % 4))
    return bmp_file(size, size, 24, rows)


def check_mark(pixels, ox, colour, shadow, shadow_offset):
    stroke = [(3, 9), (7, 13), (14, 4)]
    def draw(dx, dy, c):
        pts = set()
        for (x0, y0), (x1, y1) in zip(stroke, stroke[1:]):
            for t in range(3):  # three pixels thick
                line(pts, x0 + dx, y0 + dy + t, x1 + dx, y1 + dy + t)
        for x, y in pts:
            if 0 <= x < 18 and 0 <= y < 18:
                pixels[y][ox + x] = c
    draw(shadow_offset, shadow_offset, shadow)
    draw(0, 0, colour)


def ok_glyph():
    pixels = [[OLIVE] * 36 for _ in range(18)]
    check_mark(pixels, 0, GREEN, NAVY, 1)
    check_mark(pixels, 18, GREY, WHITE, 1)
    rows = []
    for row in reversed(pixels):
        data = bytes((row[i] << 4) | row[i + 1] for i in range(0, 36, 2))
        rows.append(data + b"\0" * (-len(data) % 4))
    return bmp_file(36, 18, 4, rows, VGA)


# c cyan, t teal, k black shadow, . silver
QUESTION = [
    "................",
    ".....cccccc.....",
    "....ccttttcck...",
    "...cct.kk.tcck..",
    "...cck....tcck..",
    "....kk....tcck..",
    ".........ccck...",
    "........cctk....",
    ".......cctk.....",
    ".......cck......",
    ".......cck......",
    "........kk......",
    ".......cc.......",
    ".......cck......",
    "........kk......",
    "................",
]


def question_mark():
    colours = {".": (192, 192, 192), "c": (0, 255, 255), "t": (0, 128, 128), "k": (0, 0, 0)}
    rows = []
    for line in reversed(QUESTION):
        rows.append(b"".join(bytes((colours[ch][2], colours[ch][1], colours[ch][0])) for ch in line))
    return bmp_file(16, 16, 24, rows)


def main():
    for name, data in (("AboutStill.bmp", octahedron_still()), ("BtnOk.bmp", ok_glyph()),
                       ("QuestionMark.bmp", question_mark())):
        (RESOURCES / name).write_bytes(data)
        print(f"wrote {name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
