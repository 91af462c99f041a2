#!/usr/bin/env python3
"""Draws the setup's bitmaps and icon into a folder: the wizard header (49 x 49),
the watermark of the exterior pages (164 x 314), the picture of the final page,
the network-discovery indicator (16 x 16) and the application icon.

Flat colours and one simple mark of our own (three stacked bars in a rounded
tile); shapes are edge-smoothed from their signed distances. Standard library
only, so the build needs nothing but Python 3.

usage: make_bitmaps.py <output folder>
"""
import math
import os
import struct
import sys

NAVY = (27, 58, 92)
TEAL = (42, 127, 143)
SKY = (92, 167, 186)
MIST = (214, 232, 238)
WHITE = (255, 255, 255)
GREEN = (46, 139, 87)
# The dialog face colour of Windows 7 and later (and of Wine): the indicator
# sits on a page, so its corners take that colour.
FACE = (240, 240, 240)


class Canvas:
    def __init__(self, width, height, background):
        self.width = width
        self.height = height
        self.pixels = [[background] * width for _ in range(height)]

    def paint(self, distance, colour, opacity=1.0):
        """Covers every pixel by the shape whose signed distance (negative
        inside) `distance(x, y)` gives at the pixel centre, with a one-pixel
        smooth edge."""
        for y in range(self.height):
            row = self.pixels[y]
            for x in range(self.width):
                d = distance(x + 0.5, y + 0.5)
                cover = min(1.0, max(0.0, 0.5 - d)) * opacity
                if cover <= 0.0:
                    continue
                old = row[x]
                row[x] = tuple(int(round(o + (c - o) * cover)) for o, c in zip(old, colour))

    def bmp(self):
        """The picture as a 24-bit bottom-up BMP file."""
        stride = (self.width * 3 + 3) & ~3
        data = bytearray()
        for row in reversed(self.pixels):
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            line += b"\0" * (stride - len(line))
            data += line
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0,
                           len(data), 2835, 2835, 0, 0)
        return header + info + bytes(data)


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def rounded_rect(left, top, right, bottom, r):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - r, (bottom - top) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return d


def capsule(ax, ay, bx, by, r):
    def d(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - r
    return d


def ring(cx, cy, r, half_width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - half_width


def mark(canvas, left, top, size, tile, bars):
    """The mark: a rounded tile holding three stacked bars of decreasing length."""
    canvas.paint(rounded_rect(left, top, left + size, top + size, size * 0.2), tile)
    bar_h = size * 0.13
    gap = size * 0.09
    x0 = left + size * 0.2
    y = top + size * 0.5 - (3 * bar_h + 2 * gap) / 2
    for length in (0.6, 0.45, 0.3):
        canvas.paint(rounded_rect(x0, y, x0 + size * length, y + bar_h, bar_h / 2), bars)
        y += bar_h + gap


def header():
    c = Canvas(49, 49, WHITE)
    mark(c, 4, 4, 41, NAVY, WHITE)
    return c


def watermark():
    c = Canvas(164, 314, NAVY)
    c.paint(circle(10, 330, 150), TEAL)
    c.paint(circle(150, 350, 110), SKY, 0.55)
    c.paint(circle(-30, 250, 60), SKY, 0.35)
    mark(c, 42, 56, 80, WHITE, NAVY)
    return c


def finished(width, height):
    c = Canvas(width, height, WHITE)
    r = min(width, height) * 0.42
    cx, cy = width / 2, height / 2
    c.paint(circle(cx, cy, r + r * 0.18), MIST)
    c.paint(circle(cx, cy, r), GREEN)
    w = r * 0.13
    c.paint(capsule(cx - r * 0.45, cy + r * 0.02, cx - r * 0.12, cy + r * 0.35, w), WHITE)
    c.paint(capsule(cx - r * 0.12, cy + r * 0.35, cx + r * 0.48, cy - r * 0.3, w), WHITE)
    return c


def discovery():
    c = Canvas(16, 16, FACE)
    c.paint(rounded_rect(0, 0, 16, 16, 3), TEAL)
    c.paint(ring(8, 8, 5.2, 0.9), WHITE)
    c.paint(circle(8, 8, 2.2), WHITE)
    return c


def icon_file(sizes):
    """An .ico with one 32-bit image per size: the mark on a clear background."""
    images = []
    for size in sizes:
        c = Canvas(size, size, (0, 0, 0))
        alpha = Canvas(size, size, (0, 0, 0))
        tile = rounded_rect(0, 0, size, size, size * 0.2)
        alpha.paint(tile, WHITE)
        mark(c, 0, 0, size, NAVY, WHITE)
        xor = bytearray()
        for y in reversed(range(size)):
            for x in range(size):
                r, g, b = c.pixels[y][x]
                xor += bytes((b, g, r, alpha.pixels[y][x][0]))
        mask_stride = ((size + 31) // 32) * 4
        mask = b"\0" * (mask_stride * size)
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                           len(xor) + len(mask), 0, 0, 0, 0)
        images.append((size, info + bytes(xor) + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_bitmaps.py <output folder>")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    files = {
        "header.bmp": header().bmp(),
        "watermark.bmp": watermark().bmp(),
        "finished.bmp": finished(112, 72).bmp(),
        "discovery.bmp": discovery().bmp(),
        "setup.ico": icon_file((16, 32, 48)),
    }
    for name, data in files.items():
        path = os.path.join(folder, name)
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
