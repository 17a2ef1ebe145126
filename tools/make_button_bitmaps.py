#!/usr/bin/env python3
"""Draws the Command button's six state pictures and writes them as 24-bit
BMP files into res/button/ (the main window's pictures: make_pictures.py).

Only the Python standard library is used. Run from anywhere:
    python3 tools/make_button_bitmaps.py
Pixels in KEY lie outside the rounded frame; the program paints them in the
colour of the surface the button stands on.
"""

import os
import struct

KEY = (255, 0, 255)
W, H = 64, 25

DARK_BLUE = (0, 60, 116)
FACE = (243, 243, 238)
PRESSED_FACE = (226, 225, 217)
DISABLED_FRAME = (201, 199, 186)
DISABLED_FACE = (245, 244, 234)
ORANGE_SIDE = (252, 202, 105)
ORANGE_TOP = (255, 232, 166)
ORANGE_BOTTOM = (248, 179, 48)
BLUE_TOP = (188, 212, 246)
BLUE_SIDE = (160, 190, 240)
BLUE_BOTTOM = (105, 143, 224)


def write_bmp(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b), y = 0 at the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - width * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def button(inset, frame, face, glow=None):
    """A rounded 1-pixel frame `inset` pixels from the edge, the face inside,
    and an optional 2-pixel inner glow (top, side, bottom colours)."""
    left, top, right, bottom = inset, inset, W - 1 - inset, H - 1 - inset

    def pixel(x, y):
        if x < left or x > right or y < top or y > bottom:
            return KEY
        on_x = x in (left, right)
        on_y = y in (top, bottom)
        if on_x and on_y:
            return KEY  # the rounded corner
        if on_x or on_y:
            return frame
        # the pixel diagonal to a rounded corner softens it
        if (x in (left + 1, right - 1)) and (y in (top + 1, bottom - 1)):
            return mix(frame, face, 0.5)
        if glow:
            g_top, g_side, g_bottom = glow
            d = min(x - left, right - x, y - top, bottom - y)
            if d <= 2:
                if y - top == d:
                    colour = g_top
                elif bottom - y == d:
                    colour = g_bottom
                else:
                    colour = g_side
                return colour if d == 1 else mix(colour, face, 0.45)
        return face

    return pixel


PICTURES = {
    "selected": button(0, DARK_BLUE, FACE, (BLUE_TOP, BLUE_SIDE, BLUE_BOTTOM)),
    "highlightselect": button(0, DARK_BLUE, FACE, (ORANGE_TOP, ORANGE_SIDE, ORANGE_BOTTOM)),
    "disable": button(1, DISABLED_FRAME, DISABLED_FACE),
    "normal": button(1, DARK_BLUE, FACE),
    "pressed": button(1, DARK_BLUE, PRESSED_FACE),
    "highlight": button(1, DARK_BLUE, FACE, (ORANGE_TOP, ORANGE_SIDE, ORANGE_BOTTOM)),
}

def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    button_dir = os.path.join(res, "button")
    os.makedirs(button_dir, exist_ok=True)
    for name, pixel in PICTURES.items():
        write_bmp(os.path.join(button_dir, name + ".bmp"), W, H, pixel)


if __name__ == "__main__":
    main()
