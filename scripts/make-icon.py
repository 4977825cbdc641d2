#!/usr/bin/env python3
"""Draws the program icon (resource 401): a D-sub serial connector with its
pins on a blue tile, at 16x16, 32x32 and 48x48, written as a 32-bit .ico."""
import struct, sys

def draw(n):
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]
    r = max(2, n // 8)
    for y in range(n):
        for x in range(n):
            # rounded tile
            cx = min(max(x, r), n - 1 - r); cy = min(max(y, r), n - 1 - r)
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                shade = 160 + (55 * (n - y)) // n
                px[y][x] = (40, 70, shade, 255)
    # connector shell: a trapezoid, wider at the top
    top, bot = n * 5 // 16, n * 11 // 16
    for y in range(top, bot):
        t = (y - top) / max(1, bot - top - 1)
        inset = int(n * (0.12 + 0.08 * t))
        for x in range(inset, n - inset):
            edge = y in (top, bot - 1) or x in (inset, n - inset - 1)
            px[y][x] = (40, 40, 40, 255) if edge else (215, 215, 205, 255)
    # two rows of pins: 5 above, 4 below
    def pin(x, y):
        s = max(1, n // 16)
        for dy in range(s):
            for dx in range(s):
                if 0 <= y + dy < n and 0 <= x + dx < n:
                    px[y + dy][x + dx] = (200, 120, 20, 255)
    row1, row2 = top + (bot - top) // 3, top + 2 * (bot - top) // 3
    for i in range(5):
        pin(int(n * (0.24 + i * 0.12)), row1 - n // 32)
    for i in range(4):
        pin(int(n * (0.30 + i * 0.12)), row2 - n // 32)
    return px

def bmp_entry(n):
    px = draw(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    mask_row = ((n + 31) // 32) * 4
    mask = bytes(mask_row * n)
    return header + pixels + mask

sizes = [16, 32, 48]
images = [bmp_entry(n) for n in sizes]
out = struct.pack('<HHH', 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
for n, img in zip(sizes, images):
    out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(img), offset)
    offset += len(img)
out += b''.join(images)
open(sys.argv[1] if len(sys.argv) > 1 else 'resources/vorlin2.ico', 'wb').write(out)
