#!/usr/bin/env python3
"""Draws the program's icon (an envelope with a paper clip) and writes it as two .ico files.

    make-icons.py OUT_DIR    writes OUT_DIR/klovin32.ico (32x32) and OUT_DIR/klovin16.ico (16x16)

Both images are 8 bits per pixel with a 256-colour palette, the depth every Windows
version shows without dithering. The drawing is done here rather than kept as binary
files so that it can be reviewed and changed as text, and the output is the same
bytes on every run.
"""

import math
import os
import struct
import sys

# The drawing's colours take the first palette slots; the rest of the palette is a
# colour cube so that the file is a complete 256-colour image for any editor.
INK = [
    (0, 0, 0),  # 0: under transparent pixels, which must be black for the mask to work
    (38, 56, 96),  # 1: envelope outline
    (255, 250, 232),  # 2: envelope paper
    (236, 224, 190),  # 3: flap, a shade darker to read as folded over
    (92, 100, 116),  # 4: clip wire
    (196, 48, 40),  # 5: seal
]
OUTLINE, PAPER, FLAP, WIRE, SEAL = range(1, 6)


def palette():
    colours = list(INK)
    levels = (0, 51, 102, 153, 204, 255)
    for r in levels:
        for g in levels:
            for b in levels:
                colours.append((r, g, b))
    grey = 8
    while len(colours) < 256:
        colours.append((grey, grey, grey))
        grey += 7
    return colours[:256]


class Canvas:
    """Palette indices, None for transparent; (0, 0) is the top left pixel."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, fill, edge):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                border = x in (x0, x1) or y in (y0, y1)
                self.put(x, y, edge if border else fill)

    def line(self, x0, y0, x1, y1, colour):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, colour)
            if (x0, y0) == (x1, y1):
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def fill_below_v(self, x0, x1, top, apex_x, apex_y, colour):
        """Fills the triangle between a horizontal top edge and the apex of the flap."""
        for y in range(top, apex_y + 1):
            t = (y - top) / (apex_y - top)
            left = round(x0 + (apex_x - x0) * t)
            right = round(x1 + (apex_x - x1) * t)
            for x in range(left, right + 1):
                self.put(x, y, colour)

    def wire(self, path, width, colour):
        """Strokes a polyline: a pixel is wire when its centre is near enough the path."""
        half = width / 2
        for y in range(self.size):
            for x in range(self.size):
                px, py = x + 0.5, y + 0.5
                if any(segment_distance(px, py, a, b) <= half for a, b in zip(path, path[1:])):
                    self.put(x, y, colour)


def segment_distance(px, py, a, b):
    (ax, ay), (bx, by) = a, b
    vx, vy = bx - ax, by - ay
    length2 = vx * vx + vy * vy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / length2))
    return math.hypot(px - (ax + t * vx), py - (ay + t * vy))


def clip_path(legs, bends):
    """A paper clip as a spiral of straight legs joined by half turns.

    legs: [(x, y_start, y_end)]; bends: per joint, True to turn over the top. Arcs are sampled
    finely enough for the stroke to look round at these sizes.
    """
    path = []
    for i, (x, y0, y1) in enumerate(legs):
        path.extend([(x, y0), (x, y1)])
        if i == len(legs) - 1:
            break
        nx = legs[i + 1][0]
        cx, r = (x + nx) / 2, abs(nx - x) / 2
        top = bends[i]
        for step in range(1, 24):
            a = math.pi * step / 24
            # From this leg's end round to the next leg's start, over the top or under the bottom.
            ox = -math.cos(a) if nx > x else math.cos(a)
            oy = -math.sin(a) if top else math.sin(a)
            path.append((cx + ox * r, y1 + oy * r))
    return path


def draw32():
    c = Canvas(32)
    c.rect(1, 9, 26, 28, PAPER, OUTLINE)
    c.fill_below_v(2, 25, 10, 13, 20, FLAP)
    c.line(1, 9, 13, 20, OUTLINE)
    c.line(26, 9, 14, 20, OUTLINE)
    for x, y in ((13, 20), (14, 20), (13, 21), (14, 21), (12, 20), (15, 20)):
        c.put(x, y, SEAL)
    # Legs from outside to inside: up the left, down the right, up the middle, down the centre.
    legs = [(21.5, 24.5, 5.5), (29.5, 5.5, 26.5), (23.5, 26.5, 8.5), (27.5, 8.5, 19.5)]
    c.wire(clip_path(legs, [True, False, True]), 1.3, WIRE)
    return c


def draw16():
    c = Canvas(16)
    c.rect(0, 5, 13, 14, PAPER, OUTLINE)
    c.fill_below_v(1, 12, 6, 6, 10, FLAP)
    c.line(0, 5, 6, 10, OUTLINE)
    c.line(13, 5, 7, 10, OUTLINE)
    c.put(6, 10, SEAL)
    c.put(7, 10, SEAL)
    legs = [(11.5, 12.5, 2.5), (15.5, 2.5, 13.5), (13.5, 13.5, 5.5)]
    c.wire(clip_path(legs, [True, False]), 1.1, WIRE)
    return c


def ico(canvas):
    """One image in an .ico: the directory, then a bottom-up DIB of twice the height
    (colour rows, then the 1-bit AND mask where 1 means transparent)."""
    size = canvas.size
    colours = palette()
    colour_stride = (size + 3) & ~3
    mask_stride = ((size + 31) // 32) * 4
    rows, mask = bytearray(), bytearray()
    for y in reversed(range(size)):
        row = canvas.pixels[y]
        rows += bytes(0 if p is None else p for p in row) + bytes(colour_stride - size)
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack(
        "<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, len(rows) + len(mask), 0, 0, 0, 0
    )
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    image = header + table + bytes(rows) + bytes(mask)
    # Colour count 0 in the directory means 256 or more.
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), 6 + 16)
    directory = struct.pack("<HHH", 0, 1, 1) + entry
    return directory + image


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make-icons.py OUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, canvas in (("klovin32.ico", draw32()), ("klovin16.ico", draw16())):
        # Written beside and renamed so that an interrupted build never leaves half a file
        # that the next build would take as up to date.
        path = os.path.join(out, name)
        with open(path + ".tmp", "wb") as f:
            f.write(ico(canvas))
        os.replace(path + ".tmp", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
