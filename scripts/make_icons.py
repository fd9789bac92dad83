#!/usr/bin/env python3
"""Draws the program icon (a page of text lines with a line-number gutter and
a magnifying glass) and writes app/icons/tomeview.ico and app/icons/small.ico,
each with 32-bit images of 256, 128, 48, 32, 24 and 16 pixels.

Standard library only. Every size is rendered from the vector shapes with
4x4 supersampling, so small sizes stay sharp."""
import math
import os
import struct
import sys
import zlib

SIZES = [256, 128, 48, 32, 24, 16]
SS = 4  # supersampling per axis


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def shapes(compact):
    """List of (inside(x, y) in unit coordinates, RGBA) painted in order."""
    out = []
    page = rounded_rect(0.14, 0.06, 0.80, 0.94, 0.06)
    border = rounded_rect(0.11, 0.03, 0.83, 0.97, 0.08)
    out.append((border, (35, 92, 140, 255)))
    out.append((page, (255, 255, 255, 255)))
    # Line-number gutter.
    out.append((lambda x, y: 0.14 <= x <= 0.27 and 0.06 <= y <= 0.94 and page(x, y),
                (222, 236, 244, 255)))
    out.append((lambda x, y: 0.27 <= x <= 0.29 and 0.06 <= y <= 0.94, (165, 165, 165, 255)))
    # Text lines.
    rows = 4 if compact else 7
    top, bottom = 0.16, 0.84
    step = (bottom - top) / rows
    thick = step * (0.45 if compact else 0.38)
    lengths = [0.40, 0.30, 0.44, 0.22, 0.38, 0.34, 0.26]
    for i in range(rows):
        y0 = top + i * step + (step - thick) / 2
        y1 = y0 + thick
        x1 = 0.34 + lengths[i % len(lengths)]
        out.append((lambda x, y, y0=y0, y1=y1, x1=x1: 0.34 <= x <= x1 and y0 <= y <= y1,
                    (39, 65, 62, 255)))
        if not compact:
            out.append((lambda x, y, y0=y0, y1=y1: 0.17 <= x <= 0.24 and y0 <= y <= y1,
                        (43, 145, 175, 255)))
    # Magnifying glass.
    cx, cy, r = 0.66, 0.64, 0.17
    ring = 0.05
    out.append((lambda x, y: math.hypot(x - cx, y - cy) <= r - ring / 2,
                (200, 230, 250, 160)))
    out.append((lambda x, y: r - ring <= math.hypot(x - cx, y - cy) <= r + ring / 2,
                (214, 120, 30, 255)))

    def handle(x, y):
        # Capsule from the ring towards the lower right.
        ax, ay = cx + r * 0.72, cy + r * 0.72
        bx, by = 0.93, 0.93
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= 0.055
    out.append((handle, (214, 120, 30, 255)))
    return out


def blend(dst, src):
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    a = sa / 255.0
    oa = a + da / 255.0 * (1 - a)
    if oa <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    f = lambda s, d: (s * a + d * (da / 255.0) * (1 - a)) / oa
    return (f(sr, dr), f(sg, dg), f(sb, db), oa * 255.0)


def render(size):
    layers = shapes(size <= 24)
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = (px + (sx + 0.5) / SS) / size
                    y = (py + (sy + 0.5) / SS) / size
                    c = (0.0, 0.0, 0.0, 0.0)
                    for inside, rgba in layers:
                        if inside(x, y):
                            c = blend(c, rgba)
                    # Premultiply for averaging.
                    acc[0] += c[0] * c[3]
                    acc[1] += c[1] * c[3]
                    acc[2] += c[2] * c[3]
                    acc[3] += c[3]
            n = SS * SS
            a = acc[3] / n
            if a > 0:
                r, g, b = (acc[i] / acc[3] for i in range(3))
            else:
                r = g = b = 0
            row.append(tuple(int(round(v)) for v in (r, g, b, a)))
        pixels.append(row)
    return pixels


def png(size, pixels):
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    color = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + color + bytes(mask)


def ico(images):
    count = len(images)
    head = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    entries, blobs = b"", b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    return head + entries + blobs


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out_dir = os.path.join(root, "app", "icons")
    os.makedirs(out_dir, exist_ok=True)
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, png(size, pixels) if size >= 256 else dib(size, pixels)))
        print("rendered %d px" % size, file=sys.stderr)
    data = ico(images)
    for name in ("tomeview.ico", "small.ico"):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
