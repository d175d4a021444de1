#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files beside this script.

Standard library only. Each icon is a stack of filled shapes in a unit square, rendered with
4 x 4 supersampling into 32-bit images (BGRA with an AND mask), one image per size:
app.ico (48, 32, 16 px), extract.ico, write-back.ico and search.ico (32 px).
Run it again after changing a drawing and commit the .ico files it writes.
"""

import math
import os
import struct
import sys

SAMPLES = 4


def rgb(text, alpha=255):
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


# Shapes: functions of a point (x, y) in the unit square telling whether it is inside.


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, outer, inner):
    return lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer


def stroke(x0, y0, x1, y1, width):
    """A segment with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    half = width / 2

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= half * half

    return inside


def polygon(points):
    """Even-odd fill of a closed polygon."""

    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    return inside


def either(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


def gradient(top, bottom):
    """A colour that runs from top to bottom of the unit square."""

    def colour(x, y):
        t = max(0.0, min(1.0, y))
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))

    return colour


# The drawings: lists of (shape, colour) from back to front.

BLUE_TOP, BLUE_BOTTOM = rgb("3C82E0"), rgb("1C4E9E")
PAPER, PAPER_EDGE, INK = rgb("FFFFFF"), rgb("8A96A8"), rgb("5B6B82")
GREEN, ORANGE = rgb("2E9E4F"), rgb("E07B1C")


def application():
    return [
        (rounded_rect(0.04, 0.04, 0.96, 0.96, 0.2), gradient(BLUE_TOP, BLUE_BOTTOM)),
        (either(rounded_rect(0.17, 0.2, 0.83, 0.66, 0.11),
                polygon([(0.28, 0.6), (0.48, 0.6), (0.25, 0.84)])), PAPER),
        (stroke(0.3, 0.34, 0.7, 0.34, 0.075), BLUE_TOP),
        (stroke(0.3, 0.47, 0.58, 0.47, 0.075), BLUE_TOP),
    ]


def page(x0=0.14, y0=0.06, x1=0.7, y1=0.94, fold=0.18, lines=True):
    """A sheet with a folded corner and a few lines of text."""
    edge = 0.045
    outline = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    inner = [(x0 + edge, y0 + edge), (x1 - fold - edge * 0.4, y0 + edge),
             (x1 - edge, y0 + fold + edge * 0.4), (x1 - edge, y1 - edge), (x0 + edge, y1 - edge)]
    shapes = [
        (polygon(outline), PAPER_EDGE),
        (polygon(inner), PAPER),
        (polygon([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)]), PAPER_EDGE),
    ]
    if lines:
        for i, end in enumerate((0.86, 0.7, 0.86, 0.55)):
            y = y0 + 0.3 + i * 0.14
            shapes.append((stroke(x0 + 0.12, y, x0 + (x1 - x0) * end - 0.04, y, 0.06), INK))
    return shapes


def arrow(x0, x1, y, colour):
    """A thick arrow from x0 to x1 at height y, pointing towards x1."""
    direction = 1 if x1 > x0 else -1
    head = 0.2 * direction
    return [
        (stroke(x0, y, x1 - head * 0.8, y, 0.14), colour),
        (polygon([(x1, y), (x1 - head, y - 0.17), (x1 - head, y + 0.17)]), colour),
    ]


def extract():
    return page() + arrow(0.46, 0.98, 0.7, GREEN)


def write_back():
    return page(x0=0.3, x1=0.86) + arrow(0.52, 0.02, 0.7, ORANGE)


def search():
    return [
        (stroke(0.6, 0.6, 0.9, 0.9, 0.17), rgb("6B4A2E")),
        (circle(0.4, 0.4, 0.3), rgb("D8ECFF")),
        (ring(0.4, 0.4, 0.34, 0.25), rgb("3A5A86")),
        (stroke(0.28, 0.3, 0.36, 0.24, 0.06), PAPER),
    ]


def render(layers, size):
    """Rows of (r, g, b, a) from top to bottom."""
    rows = []
    step = 1.0 / (size * SAMPLES)
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                y = (py * SAMPLES + sy + 0.5) * step
                for sx in range(SAMPLES):
                    x = (px * SAMPLES + sx + 0.5) * step
                    for shape, colour in reversed(layers):
                        if shape(x, y):
                            c = colour(x, y) if callable(colour) else colour
                            weight = c[3] / 255.0
                            r += c[0] * weight
                            g += c[1] * weight
                            b += c[2] * weight
                            a += weight
                            break
            n = SAMPLES * SAMPLES
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
        rows.append(row)
    return rows


def dib(rows):
    """A 32-bit icon image: header, BGRA pixels bottom-up, AND mask bottom-up."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def ico(images):
    """An .ico file holding the given (size, image bytes) pairs."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


ICONS = {
    "app.ico": (application, (48, 32, 16)),
    "extract.ico": (extract, (32,)),
    "write-back.ico": (write_back, (32,)),
    "search.ico": (search, (32,)),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (drawing, sizes) in ICONS.items():
        images = [(size, dib(render(drawing(), size))) for size in sizes]
        with open(os.path.join(here, name), "wb") as f:
            f.write(ico(images))
        print(name, "x".join(str(s) for s in sizes), file=sys.stderr)


if __name__ == "__main__":
    main()
