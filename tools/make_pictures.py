#!/usr/bin/env python3
"""Draws the main window's small pictures (one per tab, and the plain one)
at every size the window shows them in, and writes them as 32-bit BMP files
with an alpha channel into res/pictures/; and the program's icon at every
size Windows asks for (title bar, taskbar, Explorer's views, the MSI's entry
in Programs and Features) into res/calvorn.ico.

The window shows a tab picture in 480 twips and an icon in 240 twips: 32 and
16 pixels at 96 DPI, 40 and 20 at 120, 48 and 24 at 144, 64 and 32 at 192.
Each size is drawn for itself, edges smoothed by sampling every pixel 4 x 4
times, so no size is a stretched copy of another. The program lays each
picture on the colour of the surface behind it.

Only the Python standard library is used. Run from anywhere:
    python3 tools/make_pictures.py
"""

import math
import os
import struct
import zlib

TAB_SIZES = (16, 20, 24, 32, 40, 48, 64)
PLAIN_SIZES = (16, 20, 24, 32)  # an icon only
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
SAMPLES = 4
DARK_BLUE = (0, 60, 116)
TAB_COLOURS = [(0, 60, 116), (27, 156, 252), (90, 140, 60)]
WHITE = (255, 255, 255)


def write_bmp32(path, size, pixel):
    """pixel(x, y) -> (r, g, b, a), y = 0 at the top; straight alpha."""
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            r, g, b, a = pixel(x, y)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def arc(cx, cy, r, start, end, steps=20):
    """Points of an arc, angles in degrees, y growing downwards."""
    pts = []
    for i in range(steps + 1):
        t = math.radians(start + (end - start) * i / steps)
        pts.append((cx + r * math.cos(t), cy - r * math.sin(t)))
    return pts


# Digits as strokes in a box of 0..1 (x right, y down).
GLYPHS = {
    "1": [[(0.32, 0.26), (0.52, 0.12), (0.52, 0.88)], [(0.3, 0.88), (0.74, 0.88)]],
    "2": [arc(0.5, 0.32, 0.22, 165, -35) + [(0.24, 0.88), (0.78, 0.88)]],
    "3": [arc(0.49, 0.3, 0.19, 160, -90), arc(0.49, 0.67, 0.22, 90, -165)],
}


def segments(glyph):
    segs = []
    for line in glyph:
        for a, b in zip(line, line[1:]):
            segs.append((a, b))
    return segs


def distance(px, py, seg):
    (ax, ay), (bx, by) = seg
    dx, dy = bx - ax, by - ay
    length = dx * dx + dy * dy
    t = 0.0 if length == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length))
    ex, ey = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(ex * ex + ey * ey)


def supersample(size, inside):
    """inside(x, y) -> colour or None at a point in pixel units; returns a
    pixel function averaging SAMPLES x SAMPLES points per pixel."""

    def pixel(x, y):
        r = g = b = a = 0.0
        n = SAMPLES * SAMPLES
        for sy in range(SAMPLES):
            for sx in range(SAMPLES):
                c = inside(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES)
                if c is not None:
                    r += c[0]
                    g += c[1]
                    b += c[2]
                    a += 1
        if a == 0:
            return (0, 0, 0, 0)
        return (round(r / a), round(g / a), round(b / a), round(255 * a / n))

    return pixel


def tab_picture(size, number, colour):
    segs = segments(GLYPHS[number])
    radius = size * 0.18
    inset = max(0.5, size / 32)
    box_h = size * 0.62
    box_w = box_h * 0.72
    ox, oy = (size - box_w) / 2, (size - box_h) / 2
    stroke = max(1.3, size * 0.105)

    def inside(x, y):
        lo, hi = inset, size - inset
        if x < lo or x > hi or y < lo or y > hi:
            return None
        cx = min(max(x, lo + radius), hi - radius)
        cy = min(max(y, lo + radius), hi - radius)
        if (x - cx) ** 2 + (y - cy) ** 2 > radius * radius:
            return None
        gx, gy = (x - ox) / box_w, (y - oy) / box_h
        if -0.3 < gx < 1.3 and -0.3 < gy < 1.3:
            d = min(distance(gx * box_w, gy * box_h, ((a[0] * box_w, a[1] * box_h),
                                                     (b[0] * box_w, b[1] * box_h)))
                    for a, b in segs)
            if d <= stroke / 2:
                return WHITE
        # lighter at the top, a thin darker rim
        edge = min(x - lo, hi - x, y - lo, hi - y)
        base = mix(colour, WHITE, 0.28 * (1 - y / size))
        return mix(base, (0, 0, 0), 0.25) if edge < max(1.0, size / 24) else base

    return supersample(size, inside)


def plain_picture(size):
    c = size / 2
    ring = max(1.2, size * 0.09)

    def inside(x, y):
        d = math.hypot(x - c, y - c)
        if d > c - 0.5:
            return None
        if d > c - 0.5 - ring:
            return DARK_BLUE
        return mix((252, 202, 105), WHITE, y / size)

    return supersample(size, inside)


def program_icon(size):
    """A component on a blue tile: a white ring, open to the right where the
    component plugs in, around an amber core."""
    inset = max(0.5, size / 32)
    radius = size * 0.2
    c = size / 2
    ring_out, ring_in = size * 0.34, size * 0.22
    core = size * 0.13
    amber = (252, 186, 60)

    def inside(x, y):
        lo, hi = inset, size - inset
        if x < lo or x > hi or y < lo or y > hi:
            return None
        cx = min(max(x, lo + radius), hi - radius)
        cy = min(max(y, lo + radius), hi - radius)
        if (x - cx) ** 2 + (y - cy) ** 2 > radius * radius:
            return None
        d = math.hypot(x - c, y - c)
        if d <= core:
            return mix(amber, WHITE, 0.35 * (1 - (y - c + core) / (2 * core)))
        # the ring's opening: a band to the right of the centre
        opening = x > c and abs(y - c) < size * 0.09
        if ring_in <= d <= ring_out and not opening:
            return WHITE
        if opening and core < x - c <= ring_out + size * 0.06:
            return amber
        edge = min(x - lo, hi - x, y - lo, hi - y)
        base = mix(DARK_BLUE, (27, 156, 252), 0.55 * (1 - y / size))
        return mix(base, (0, 0, 0), 0.3) if edge < max(1.0, size / 24) else base

    return supersample(size, inside)


def png(size, pixel):
    """A 32-bit PNG of the picture, for the largest size of an icon."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            raw += bytes(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def icon_image(size, pixel):
    """One image of an icon file: a 32-bit bitmap with its mask, or a PNG at
    256 pixels, as Windows stores them."""
    if size >= 256:
        return png(size, pixel)
    colours = bytearray()
    mask = bytearray()
    mask_row = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            r, g, b, a = pixel(x, y)
            colours += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                       len(colours) + len(mask), 0, 0, 0, 0)
    return info + bytes(colours) + bytes(mask)


def write_ico(path, sizes, drawing):
    images = [icon_image(size, drawing(size)) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        side = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "pictures")
    os.makedirs(out, exist_ok=True)
    for i, number in enumerate(("1", "2", "3")):
        for size in TAB_SIZES:
            write_bmp32(os.path.join(out, "tab%d_%d.bmp" % (i, size)), size,
                        tab_picture(size, number, TAB_COLOURS[i]))
    for size in PLAIN_SIZES:
        write_bmp32(os.path.join(out, "plain_%d.bmp" % size), size, plain_picture(size))
    write_ico(os.path.join(out, "..", "calvorn.ico"), ICON_SIZES, program_icon)


if __name__ == "__main__":
    main()
