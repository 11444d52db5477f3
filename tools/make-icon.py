#!/usr/bin/env python3
"""Writes resources/kestrun.ico: the program icon, a three-sided pyramid
standing on its tip, in 32x32 and 16x16, 16 colours each with a mask; and
the same design for the desktop's icon theme: PNGs of 16 to 256 pixels and
a scalable SVG in resources/icons/."""

import pathlib
import struct
import zlib

# 16-colour palette as (r, g, b): black, greys, white, the rest unused black.
PALETTE = [(0, 0, 0), (64, 64, 64), (96, 96, 96), (128, 128, 128),
           (160, 160, 160), (192, 192, 192), (224, 224, 224), (255, 255, 255)]
PALETTE += [(0, 0, 0)] * (16 - len(PALETTE))
BLACK, DARK, MID, LIGHT = 0, 2, 4, 6

# The pyramid on a 32-pixel grid: the upper face is the triangle left,
# right, front; the tip is at the bottom.
LEFT, RIGHT, FRONT, TIP = (1.5, 6.5), (30.5, 6.5), (17.5, 13.5), (15.5, 30.5)
FACES = [((LEFT, RIGHT, FRONT), LIGHT), ((LEFT, FRONT, TIP), MID),
         ((FRONT, RIGHT, TIP), DARK)]
EDGES = [(LEFT, RIGHT), (LEFT, FRONT), (FRONT, RIGHT), (LEFT, TIP), (RIGHT, TIP),
         (FRONT, TIP)]


def inside(p, tri):
    def side(a, b):
        return (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0])
    s = [side(tri[0], tri[1]), side(tri[1], tri[2]), side(tri[2], tri[0])]
    return all(v >= 0 for v in s) or all(v <= 0 for v in s)


def near_edge(p, a, b, width):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((p[0] - ax) * dx + (p[1] - ay) * dy) / (dx * dx + dy * dy)))
    qx, qy = ax + t * dx, ay + t * dy
    return (p[0] - qx) ** 2 + (p[1] - qy) ** 2 <= width * width


def render(size):
    """Returns rows top-down of (colour index or None for transparent)."""
    scale = 32 / size
    edge = 0.55 * scale if size >= 32 else 0.45 * scale
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            p = ((x + 0.5) * scale, (y + 0.5) * scale)
            colour = None
            for tri, c in FACES:
                if inside(p, tri):
                    colour = c
                    break
            if any(near_edge(p, a, b, edge) for a, b in EDGES):
                colour = BLACK
            row.append(colour)
        rows.append(row)
    return rows


def bmp(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_rows, mask_rows = [], []
    for row in reversed(rows):  # bottom-up
        nibbles = [c if c is not None else 0 for c in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colour_rows.append(data + b"\0" * (-len(data) % 4))
        bits = 0
        mask = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        mask_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(colour_rows) + b"".join(mask_rows)


def png(size):
    rows = render(size)
    raw = b""
    for row in rows:
        raw += b"\0" + b"".join(
            bytes((0, 0, 0, 0)) if c is None else bytes(PALETTE[c] + (255,)) for c in row)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    def colour(index):
        return "#%02x%02x%02x" % PALETTE[index]

    def points(tri):
        return " ".join("%g,%g" % p for p in tri)
    faces = "\n".join('  <polygon points="%s" fill="%s"/>' % (points(tri), colour(c)) for tri, c in FACES)
    edges = "\n".join('  <line x1="%g" y1="%g" x2="%g" y2="%g"/>' % (a + b) for a, b in EDGES)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">\n'
            '  <title>Kestrun</title>\n'
            + faces + '\n  <g stroke="#000000" stroke-width="1.1" stroke-linecap="round">\n'
            + edges.replace("  <line", "    <line") + "\n  </g>\n</svg>\n")


SIZES = (16, 24, 32, 48, 64, 128, 256)


def main():
    icons = pathlib.Path(__file__).resolve().parent.parent / "resources" / "icons"
    icons.mkdir(exist_ok=True)
    for size in SIZES:
        (icons / f"{size}.png").write_bytes(png(size))
    (icons / "kestrun.svg").write_text(svg())
    print(f"wrote {len(SIZES)} PNGs and an SVG in {icons}")

    images = [bmp(32), bmp(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    target = pathlib.Path(__file__).resolve().parent.parent / "resources" / "kestrun.ico"
    target.write_bytes(out)
    print(f"wrote {target} ({len(out)} bytes)")


if __name__ == "__main__":
    main()
