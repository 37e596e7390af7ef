#!/usr/bin/env python3
"""Draws the program's icon (a USB plug and a broom) and writes it as a
32x32 and 16x16 32-bit ICO. Pure Python and deterministic, so the committed
res/VelkorUSBCleaner.ico can be regenerated and compared byte for byte.

Usage: make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

SUPERSAMPLE = 4  # per axis, for smooth edges


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def thick_line(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width
    return inside


def polygon(points):
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


def grow(points, cx, cy, amount):
    """The polygon pushed outwards from (cx, cy), for an outline."""
    out = []
    for x, y in points:
        d = math.hypot(x - cx, y - cy) or 1.0
        out.append((x + (x - cx) / d * amount, y + (y - cy) / d * amount))
    return out


OUTLINE = (40, 44, 52, 255)
METAL = (200, 206, 214, 255)
HOLE = (60, 66, 78, 255)
BODY = (32, 96, 192, 255)
BODY_LIGHT = (90, 150, 230, 255)
CABLE = (70, 74, 84, 255)
HANDLE = (140, 90, 45, 255)
BAND = (180, 40, 40, 255)
STRAW = (232, 184, 48, 255)
STRAW_DARK = (176, 128, 24, 255)
SPARK = (255, 255, 255, 255)

BRISTLES = [(17.0, 19.0), (25.5, 22.0), (29.0, 30.5), (13.0, 30.5)]

# Painted in order on a 32-unit square; later shapes cover earlier ones.
SHAPES = [
    # USB plug: metal shell with its two holes, body, cable.
    (rect(4.2, 2.2, 15.8, 11.8), OUTLINE),
    (rect(5.0, 3.0, 15.0, 11.0), METAL),
    (rect(7.0, 5.5, 9.2, 7.7), HOLE),
    (rect(10.8, 5.5, 13.0, 7.7), HOLE),
    (rounded_rect(2.2, 10.2, 17.8, 21.8, 2.5), OUTLINE),
    (rounded_rect(3.0, 11.0, 17.0, 21.0, 2.0), BODY),
    (rect(5.0, 12.5, 6.5, 19.5), BODY_LIGHT),
    (rect(7.6, 21.0, 12.4, 31.0), OUTLINE),
    (rect(8.4, 21.0, 11.6, 31.0), CABLE),
    # Broom: handle, band, bristles with a few strands.
    (thick_line(28.5, 1.5, 21.0, 20.0, 1.9), OUTLINE),
    (thick_line(28.5, 1.5, 21.0, 20.0, 1.1), HANDLE),
    (polygon(grow(BRISTLES, 21.0, 25.5, 0.8)), OUTLINE),
    (polygon(BRISTLES), STRAW),
    (thick_line(21.0, 21.0, 18.5, 30.0, 0.35), STRAW_DARK),
    (thick_line(22.5, 21.5, 23.5, 30.0, 0.35), STRAW_DARK),
    (thick_line(24.0, 22.0, 27.0, 30.0, 0.35), STRAW_DARK),
    (thick_line(18.0, 19.5, 25.0, 22.2, 1.0), BAND),
    # A sparkle where the broom has swept.
    (polygon([(21.0, 6.0), (21.8, 8.7), (24.5, 9.5), (21.8, 10.3), (21.0, 13.0),
              (20.2, 10.3), (17.5, 9.5), (20.2, 8.7)]), SPARK),
]


def render(size):
    """Rows top to bottom of (r, g, b, a) for a size x size image."""
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) * scale
                    y = (py + (sy + 0.5) / SUPERSAMPLE) * scale
                    colour = (0, 0, 0, 0)
                    for inside, fill in SHAPES:
                        if inside(x, y):
                            colour = fill
                    alpha = colour[3] / 255.0
                    acc[0] += colour[0] * alpha
                    acc[1] += colour[1] * alpha
                    acc[2] += colour[2] * alpha
                    acc[3] += alpha
            n = SUPERSAMPLE * SUPERSAMPLE
            a = acc[3] / n
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(a * 255)),))
        rows.append(row)
    return rows


def bmp_image(size):
    """One ICO image: BITMAPINFOHEADER (double height), BGRA bottom-up, AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [bmp_image(32), bmp_image(16)]
    sizes = [32, 16]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
