#!/usr/bin/env python3
"""Draws the program's built-in images and writes them in the formats the program loads.

    make_images.py OUTPUT_FOLDER

- tray.ico: the notification-area icon, three 16 x 16 images: two at 8 bits per pixel (the
  normal globe and a paler one) and one at 32 bits per pixel with an alpha channel.
- default_page.bmp: 16 x 15 pixels, 24 bits per pixel: a generic web page, shown until a site's
  own icon replaces it.
- clear.ico: the clear button's 16 x 16 icon, 32 bits per pixel with transparency.

Everything is drawn from geometry here, with 4 x 4 supersampling for the smooth edges, so the
output is the same on every run.
"""

import math
import os
import struct
import sys

SAMPLES = 4


def coverage(size_w, size_h, inside):
    """Fraction of each pixel covered by the shape `inside(x, y)`, rows top to bottom."""
    rows = []
    for py in range(size_h):
        row = []
        for px in range(size_w):
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    if inside(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES):
                        hits += 1
            row.append(hits / (SAMPLES * SAMPLES))
        rows.append(row)
    return rows


def blend(under, over, alpha):
    return tuple(round(u + (o - u) * alpha) for u, o in zip(under, over))


# The globe: a disc with a meridian, two parallels and the equator in white.
def globe_layers(ocean, grid):
    cx = cy = 8.0
    r = 7.4

    def disc(x, y):
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    def lines(x, y):
        if not disc(x, y):
            return False
        dx, dy = x - cx, y - cy
        on_equator = abs(dy) < 0.55
        on_parallel = abs(abs(dy) - 3.8) < 0.5
        on_axis = abs(dx) < 0.55
        # An ellipse of half-width 3.4: the meridians seen at an angle.
        e = (dx / 3.4) ** 2 + (dy / r) ** 2
        on_meridian = abs(e - 1.0) < 0.22
        return on_equator or on_parallel or on_axis or on_meridian

    return [(coverage(16, 16, disc), ocean), (coverage(16, 16, lines), grid)]


def paint_rgba(layers, size_w=16, size_h=16):
    """Composites layers of (coverage, colour) over transparency; returns rows of (r, g, b, a)."""
    pixels = [[(0, 0, 0, 0.0) for _ in range(size_w)] for _ in range(size_h)]
    for cover, colour in layers:
        for y in range(size_h):
            for x in range(size_w):
                a = cover[y][x]
                if a <= 0:
                    continue
                r0, g0, b0, a0 = pixels[y][x]
                out_a = a + a0 * (1 - a)
                mix = tuple((c * a + c0 * a0 * (1 - a)) / out_a for c, c0 in zip(colour, (r0, g0, b0)))
                pixels[y][x] = (*mix, out_a)
    return [[(round(r), round(g), round(b), round(a * 255)) for r, g, b, a in row] for row in pixels]


def and_mask(rgba, threshold):
    """1 bits where a pixel is transparent; rows padded to 32 bits, bottom row first."""
    data = b""
    for row in reversed(rgba):
        bits = 0
        for x, px in enumerate(row):
            if px[3] < threshold:
                bits |= 1 << (31 - x)
        data += struct.pack(">I", bits)
    return data


def icon_image_8bpp(rgba):
    """An 8-bit palette image: opaque pixels get the nearest of the colours used."""
    palette = []
    index = []
    for row in rgba:
        out = []
        for r, g, b, a in row:
            colour = (r, g, b) if a >= 128 else (0, 0, 0)
            if colour not in palette:
                palette.append(colour)
            out.append(palette.index(colour))
        index.append(out)
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    xor = b"".join(bytes(row) for row in reversed(index))
    return header + pal + xor + and_mask(rgba, 128)


def icon_image_32bpp(rgba):
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(struct.pack("BBBB", b, g, r, a) for row in reversed(rgba) for r, g, b, a in row)
    return header + xor + and_mask(rgba, 1)


def icon_file(images):
    """An .ico file from (bits per pixel, image bytes) pairs, all 16 x 16."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for bpp, data in images:
        colours = 0
        out += struct.pack("<BBBBHHII", 16, 16, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def page_bitmap():
    """16 x 15, 24 bits: a white sheet with a folded corner, text lines and a blue link line."""
    w, h = 16, 15
    background = (240, 240, 240)
    border = (110, 110, 110)
    paper = (255, 255, 255)
    fold = (200, 200, 200)
    text = (150, 150, 150)
    link = (40, 100, 210)
    px = [[background for _ in range(w)] for _ in range(h)]
    left, right, top, bottom = 2, 13, 0, 14
    corner = 4
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - left + 0 > (right - left) - corner + (y - top) and y - top < corner:
                continue  # cut corner
            edge = x in (left, right) or y in (top, bottom)
            px[y][x] = border if edge else paper
    for i in range(corner + 1):
        px[top + i][right - corner + i] = border  # the fold's diagonal
        for x in range(right - corner, right - corner + i):
            px[top + i][x] = fold if px[top + i][x] == paper else px[top + i][x]
    px[top + corner][right - corner:right + 1] = [border] * (corner + 1)
    for y, (x0, x1, colour) in {5: (4, 11, text), 7: (4, 11, link), 9: (4, 10, text), 11: (4, 9, text)}.items():
        for x in range(x0, x1 + 1):
            px[y][x] = colour
    rows = b""
    for row in reversed(px):  # bottom-up; 48 bytes a row needs no padding
        rows += b"".join(struct.pack("BBB", b, g, r) for r, g, b in row)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return file_header + info + rows


def clear_icon():
    """A red cross with rounded ends, over transparency."""
    def cross(x, y):
        for (x0, y0, x1, y1) in ((3.5, 3.5, 12.5, 12.5), (12.5, 3.5, 3.5, 12.5)):
            vx, vy = x1 - x0, y1 - y0
            t = max(0.0, min(1.0, ((x - x0) * vx + (y - y0) * vy) / (vx * vx + vy * vy)))
            if math.hypot(x - (x0 + t * vx), y - (y0 + t * vy)) <= 1.6:
                return True
        return False

    rgba = paint_rgba([(coverage(16, 16, cross), (210, 40, 40))])
    return icon_file([(32, icon_image_32bpp(rgba))])


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    normal = paint_rgba(globe_layers((30, 110, 200), (255, 255, 255)))
    pale = paint_rgba(globe_layers((120, 170, 225), (255, 255, 255)))
    tray = icon_file([(8, icon_image_8bpp(normal)), (8, icon_image_8bpp(pale)), (32, icon_image_32bpp(normal))])
    assert len(tray) == 3950, len(tray)
    page = page_bitmap()
    assert len(page) == 774, len(page)
    for name, data in (("tray.ico", tray), ("default_page.bmp", page), ("clear.ico", clear_icon())):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
