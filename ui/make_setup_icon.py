#!/usr/bin/env python3
"""Draws setup.exe's icon: an open carton with a blue arrow going into it.

Writes ui/setup.ico (or the path given) with seven images: 16x16 in 16 and
256 colours, 24x24 in 16 colours, 32x32 and 48x48 in 16 and 256 colours.
Each image is a classic BMP-based icon entry (BITMAPINFOHEADER with doubled
height, palette, colour rows bottom-up, 1-bit transparency mask). Standard
library only; the output depends on nothing but this file, so running it
again gives the same bytes.

The drawing is a list of polygons on a 48-unit square, painted in order.
Each pixel is sampled 4x4 times: the 256-colour images average the samples
and take the nearest palette entry; the 16-colour images take the colour
most samples fall on, from the standard 16-colour palette, so they keep
hard edges. A pixel that fewer than half the samples cover is transparent.
"""
import os
import struct
import sys

CANVAS = 48.0
SAMPLES = 4

# The standard 16-colour palette, in palette order.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, OLIVE, NAVY, SILVER, YELLOW, BLUE, WHITE = 0, 1, 3, 4, 7, 11, 12, 15

# 256 colours: the 16 above, a 6x6x6 colour cube and 24 greys.
LEVELS = [0, 51, 102, 153, 204, 255]
PALETTE256 = (VGA16 + [(r, g, b) for r in LEVELS for g in LEVELS for b in LEVELS]
              + [(8 + 10 * i, 8 + 10 * i, 8 + 10 * i) for i in range(24)])
assert len(PALETTE256) == 256


class Shape:
    """A filled polygon with an inner outline; colours as (rgb, vga index)."""

    def __init__(self, points, fill, outline):
        self.points = points
        self.fill = fill
        self.outline = outline
        self.edges = list(zip(points, points[1:] + points[:1]))

    def contains(self, x, y):
        inside = False
        for (x1, y1), (x2, y2) in self.edges:
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                inside = not inside
        return inside

    def edge_distance(self, x, y):
        best = float("inf")
        for (x1, y1), (x2, y2) in self.edges:
            dx, dy = x2 - x1, y2 - y1
            t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
            px, py = x1 + t * dx, y1 + t * dy
            best = min(best, ((x - px) ** 2 + (y - py) ** 2) ** 0.5)
        return best


CARTON_EDGE = ((92, 56, 22), BLACK)
SHAPES = [
    # the inside of the open carton, seen over its front
    Shape([(8, 26), (13, 19), (35, 19), (40, 26)], ((112, 70, 32), MAROON), CARTON_EDGE),
    # the arrow, drawn before the front so that its tip goes into the carton
    Shape([(20, 2), (28, 2), (28, 16), (35, 16), (24, 30), (13, 16), (20, 16)],
          ((44, 112, 222), BLUE), ((16, 48, 128), NAVY)),
    # the carton's front
    Shape([(8, 26), (40, 26), (40, 45), (8, 45)], ((214, 164, 94), OLIVE), CARTON_EDGE),
    # a shipping label on the front
    Shape([(13, 33), (23, 33), (23, 40), (13, 40)], ((250, 250, 240), WHITE), ((150, 150, 150), SILVER)),
    # the two flaps, folded outward
    Shape([(13, 19), (8, 26), (0, 23), (3, 13)], ((236, 196, 130), YELLOW), CARTON_EDGE),
    Shape([(35, 19), (40, 26), (48, 23), (45, 13)], ((236, 196, 130), YELLOW), CARTON_EDGE),
]


def render(size):
    """Per pixel: (list of the colours hit by the samples, as (rgb, vga))."""
    scale = CANVAS / size
    stroke = max(1.0, size / 28.0) * scale  # outline width in canvas units
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = []
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    for shape in reversed(SHAPES):
                        if shape.contains(x, y):
                            edge = shape.edge_distance(x, y) < stroke
                            hits.append(shape.outline if edge else shape.fill)
                            break
            row.append(hits)
        pixels.append(row)
    return pixels


def nearest(palette, rgb):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], rgb)))


def image_indices(size, bits):
    """Palette indices and transparency mask (1 = transparent), top row first."""
    indices, mask = [], []
    for row in render(size):
        irow, mrow = [], []
        for hits in row:
            if len(hits) * 2 < SAMPLES * SAMPLES:
                irow.append(0)
                mrow.append(1)
                continue
            if bits == 4:
                votes = {}
                for _, vga in hits:
                    votes[vga] = votes.get(vga, 0) + 1
                irow.append(max(sorted(votes), key=lambda v: votes[v]))
            else:
                rgb = tuple(sum(c[0][i] for c in hits) / len(hits) for i in range(3))
                irow.append(nearest(PALETTE256, rgb))
            mrow.append(0)
        indices.append(irow)
        mask.append(mrow)
    return indices, mask


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def icon_entry(size, bits):
    """The BMP-based image of one icon entry."""
    palette = VGA16 if bits == 4 else PALETTE256
    indices, mask = image_indices(size, bits)
    colour_rows, mask_rows = b"", b""
    for irow, mrow in zip(reversed(indices), reversed(mask)):
        if bits == 4:
            row = bytes((irow[i] << 4) | irow[i + 1] for i in range(0, size, 2))
        else:
            row = bytes(irow)
        colour_rows += pad4(row)
        mbits = 0
        for bit in mrow:
            mbits = (mbits << 1) | bit
        mbits <<= -size % 8
        mask_rows += pad4(mbits.to_bytes((size + 7) // 8, "big"))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0,
                         len(colour_rows) + len(mask_rows), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + colour_rows + mask_rows


# (size, bits per pixel) of the seven images.
IMAGES = [(16, 4), (16, 8), (24, 4), (32, 4), (32, 8), (48, 4), (48, 8)]


def icon_file():
    entries = [icon_entry(size, bits) for size, bits in IMAGES]
    out = struct.pack("<HHH", 0, 1, len(IMAGES))
    offset = 6 + 16 * len(IMAGES)
    for (size, bits), data in zip(IMAGES, entries):
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(entries)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "setup.ico")
    with open(path, "wb") as f:
        f.write(icon_file())


if __name__ == "__main__":
    main()
