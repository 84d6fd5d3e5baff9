#!/usr/bin/env python3
"""Draws the shell library's images and writes them beside this script:

  local_file.ico  a page with a gold padlock (a locally encrypted file), 16, 32 and 48 pixels
  share_file.ico  a page with a blue padlock and an arrow (a file to share), the same sizes
  menu_mark.bmp   the small padlock shown beside the product's menu items (13 x 13)

The files are checked in; run this again after changing a drawing."""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = 4  # per pixel and axis, for smooth edges


class Canvas:
    """RGBA pixels in a unit square: shapes are given in fractions of the image's side."""

    def __init__(self, size):
        self.size = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def fill(self, inside, colour):
        n = self.size
        for y in range(n):
            for x in range(n):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        u = (x + (sx + 0.5) / SAMPLES) / n
                        v = (y + (sy + 0.5) / SAMPLES) / n
                        hits += inside(u, v)
                if hits:
                    self.blend(x, y, colour, hits / (SAMPLES * SAMPLES))

    def blend(self, x, y, colour, coverage):
        r, g, b, a = colour
        a = a * coverage / 255.0
        pr, pg, pb, pa = self.px[y][x]
        pa /= 255.0
        out = a + pa * (1 - a)
        if out == 0:
            return
        mix = lambda c, p: (c * a + p * pa * (1 - a)) / out
        self.px[y][x] = (round(mix(r, pr)), round(mix(g, pg)), round(mix(b, pb)), round(out * 255))


def rect(x0, y0, x1, y1):
    return lambda u, v: x0 <= u < x1 and y0 <= v < y1


def ring(cx, cy, outer, inner, lower_cut):
    """A shackle: a ring's upper half, open below `lower_cut`."""
    def inside(u, v):
        d = ((u - cx) ** 2 + (v - cy) ** 2) ** 0.5
        return inner <= d <= outer and v <= lower_cut
    return inside


def page(c, edge):
    """A sheet of paper with a folded corner and lines of text."""
    fold = 0.22
    body = lambda u, v: 0.16 <= u < 0.78 and 0.06 <= v < 0.94 and not (u - 0.78 + fold > v - 0.06)
    outline = lambda u, v: 0.13 <= u < 0.81 and 0.03 <= v < 0.97 and not (u - 0.81 + fold + 0.04 > v - 0.03)
    c.fill(outline, edge)
    c.fill(body, (252, 252, 250, 255))
    corner = lambda u, v: 0.56 <= u < 0.78 and 0.06 <= v < 0.28 and (u - 0.56) <= (v - 0.06)
    c.fill(corner, (205, 210, 218, 255))
    for row in range(5):
        y = 0.36 + row * 0.1
        c.fill(rect(0.24, y, 0.66 if row % 2 else 0.70, y + 0.035), (170, 178, 190, 255))


def padlock(c, x, y, s, body, dark):
    """A padlock whose body's top-left corner is (x, y) and whose width is s."""
    c.fill(ring(x + s / 2, y, s * 0.36, s * 0.2, y + 0.01), dark)
    c.fill(rect(x - 0.02, y - 0.02, x + s + 0.02, y + s * 0.8 + 0.02), dark)
    c.fill(rect(x, y, x + s, y + s * 0.8), body)
    c.fill(rect(x + s * 0.44, y + s * 0.25, x + s * 0.56, y + s * 0.55), dark)


def arrow(c, colour):
    shaft = rect(0.06, 0.50, 0.30, 0.60)
    head = lambda u, v: 0.28 <= u < 0.42 and abs(v - 0.55) <= (0.42 - u) * 0.9
    c.fill(shaft, colour)
    c.fill(head, colour)


def local_file(size):
    c = Canvas(size)
    page(c, (96, 104, 118, 255))
    padlock(c, 0.48, 0.58, 0.44, (236, 178, 40, 255), (120, 82, 10, 255))
    return c


def share_file(size):
    c = Canvas(size)
    page(c, (96, 104, 118, 255))
    arrow(c, (30, 140, 60, 255))
    padlock(c, 0.48, 0.58, 0.44, (70, 140, 230, 255), (20, 60, 130, 255))
    return c


def menu_mark(size):
    c = Canvas(size)
    padlock(c, 0.18, 0.42, 0.64, (236, 178, 40, 255), (90, 60, 10, 255))
    return c


def dib(c, with_mask):
    """A bottom-up 32-bit DIB of the canvas (an icon's image: doubled height, AND mask after)."""
    n = c.size
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2 if with_mask else n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for y in reversed(range(n)):
        for x in range(n):
            r, g, b, a = c.px[y][x]
            pixels += bytes((b, g, r, a))
    mask = bytearray()
    if with_mask:
        stride = ((n + 31) // 32) * 4
        for y in reversed(range(n)):
            row = bytearray(stride)
            for x in range(n):
                if c.px[y][x][3] < 128:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
    return header + bytes(pixels) + bytes(mask)


def write_icon(name, draw):
    images = [dib(draw(n), True) for n in (16, 32, 48)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, image in zip((16, 32, 48), images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(out + b"".join(images))


def write_bitmap(name, c):
    """A 24-bit bitmap on white: the menu combines the mark with its own background."""
    n = c.size
    stride = (n * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(n)):
        row = bytearray()
        for x in range(n):
            r, g, b, a = c.px[y][x]
            k = a / 255.0
            row += bytes(round(ch * k + 255 * (1 - k)) for ch in (b, g, r))
        pixels += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, n, n, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(head + info + bytes(pixels))


if __name__ == "__main__":
    write_icon("local_file.ico", local_file)
    write_icon("share_file.ico", share_file)
    write_bitmap("menu_mark.bmp", menu_mark(13))
