#!/usr/bin/env python3
"""Draws the toolbar's images (bitmap 511) into resources/toolbar.bmp:
34 pictures of 16 x 16 side by side (544 x 16, 8 bit), in the order of the
toolbar item table (settings/command_items.cpp). Magenta is transparent.

Plain Python, no imaging library: a few shapes and a 3 x 5 digit font.
Run from anywhere: python3 scripts/make-settings-images.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, '..', 'resources')

CLEAR = (255, 0, 255)
BLACK, GREY, WHITE = (0, 0, 0), (128, 128, 128), (255, 255, 255)
RED, GREEN, BLUE = (200, 0, 0), (0, 150, 0), (0, 60, 200)
YELLOW, BROWN, CYAN = (240, 200, 40), (150, 100, 40), (0, 160, 190)

DIGITS = {
    '0': ['###', '#.#', '#.#', '#.#', '###'], '1': ['.#.', '##.', '.#.', '.#.', '###'],
    '2': ['##.', '..#', '.#.', '#..', '###'], '3': ['##.', '..#', '.#.', '..#', '##.'],
    '4': ['#.#', '#.#', '###', '..#', '..#'], '5': ['###', '#..', '##.', '..#', '##.'],
    '6': ['.##', '#..', '###', '#.#', '###'], '7': ['###', '..#', '.#.', '.#.', '.#.'],
    '8': ['###', '#.#', '###', '#.#', '###'], '9': ['###', '#.#', '###', '..#', '##.'],
    '?': ['##.', '..#', '.#.', '...', '.#.'], 'i': ['.#.', '...', '.#.', '.#.', '.#.'],
}


class Tile:
    def __init__(self):
        self.px = [[CLEAR] * 16 for _ in range(16)]

    def dot(self, x, y, c):
        if 0 <= x < 16 and 0 <= y < 16:
            self.px[y][x] = c

    def box(self, x0, y0, x1, y1, fill, edge=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                border = x in (x0, x1) or y in (y0, y1)
                self.dot(x, y, edge if edge and border else fill)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for k in range(n + 1):
            self.dot(round(x0 + (x1 - x0) * k / n), round(y0 + (y1 - y0) * k / n), c)

    def disc(self, cx, cy, r, fill, edge=None):
        for y in range(16):
            for x in range(16):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if d <= r * r:
                    self.dot(x, y, edge if edge and d > (r - 1) ** 2 else fill)

    def text(self, s, x0, y0, c, scale=1):
        for k, ch in enumerate(s):
            for y, row in enumerate(DIGITS[ch]):
                for x, v in enumerate(row):
                    if v == '#':
                        for dy in range(scale):
                            for dx in range(scale):
                                self.dot(x0 + (4 * k + x) * scale + dx, y0 + y * scale + dy, c)

    def arrow_right(self, x0, y, x1, c):
        self.line(x0, y, x1, y, c)
        self.line(x1 - 3, y - 3, x1, y, c)
        self.line(x1 - 3, y + 3, x1, y, c)

    def page(self):
        self.box(3, 1, 12, 14, WHITE, BLACK)
        for y in (4, 6, 8, 10):
            self.line(5, y, 10, y, GREY)


def plug(t, colour, broken):
    t.box(1, 5, 6, 10, colour, BLACK)           # cable end
    t.line(0, 7, 1, 7, BLACK)
    t.line(0, 8, 1, 8, BLACK)
    gap = 3 if broken else 0
    t.box(7 + gap, 4, 11 + gap, 11, colour, BLACK)  # socket
    t.line(12 + gap, 6, 15, 6, BLACK)
    t.line(12 + gap, 9, 15, 9, BLACK)
    if broken:
        t.line(7, 2, 9, 13, RED)


def images():
    out = []

    def new(draw):
        t = Tile()
        draw(t)
        out.append(t)

    new(lambda t: plug(t, GREEN, False))                                   # connect
    new(lambda t: plug(t, GREY, True))                                     # disconnect
    new(lambda t: (t.box(1, 5, 11, 10, CYAN, BLACK), t.box(11, 1, 15, 5, WHITE),
                   t.line(13, 1, 13, 5, GREEN), t.line(11, 3, 15, 3, GREEN)))  # new tunnel process
    new(lambda t: (t.box(1, 5, 8, 10, CYAN, BLACK), t.box(10, 5, 15, 10, CYAN, BLACK),
                   t.arrow_right(3, 2, 13, BLUE)))                         # attach
    new(lambda t: (t.box(3, 1, 11, 14, BROWN, BLACK), t.dot(9, 8, YELLOW),
                   t.line(12, 4, 15, 7, RED), t.line(12, 7, 15, 4, RED)))  # exit
    new(lambda t: (t.page(), t.line(4, 3, 12, 12, RED), t.line(12, 3, 4, 12, RED)))  # clear
    new(lambda t: (t.page(), t.arrow_right(1, 12, 14, BLUE)))             # send data
    new(lambda t: (t.page(), t.line(8, 13, 14, 5, BROWN), t.line(9, 13, 15, 5, YELLOW)))  # log file
    new(lambda t: t.box(3, 3, 12, 12, RED, BLACK))                          # log stop / restart
    new(lambda t: (t.page(), t.line(8, 5, 8, 13, BLUE), t.line(5, 10, 8, 13, BLUE),
                   t.line(11, 10, 8, 13, BLUE)))                            # log flush
    new(lambda t: (t.disc(8, 8, 7, GREY, BLACK), t.disc(8, 8, 3, WHITE, BLACK)))  # settings
    new(lambda t: [t.box(1 + 5 * (k % 3), 3 + 6 * (k // 3), 4 + 5 * (k % 3), 7 + 6 * (k // 3),
                         (BLUE, GREEN, RED)[k % 3], BLACK) for k in range(6)])  # customise toolbar
    new(lambda t: (t.disc(8, 8, 7, BLUE), t.text('?', 5, 3, WHITE, 2)))   # help
    new(lambda t: (t.disc(6, 6, 5, WHITE, BLACK), t.line(10, 10, 14, 14, BROWN),
                   t.line(10, 11, 13, 14, BROWN)))                          # help finder
    new(lambda t: (t.disc(8, 8, 7, BLUE), t.text('i', 3, 3, WHITE, 2)))   # version
    new(lambda t: (t.box(1, 4, 14, 13, YELLOW, BROWN), t.box(1, 2, 6, 4, YELLOW, BROWN)))  # button file
    for n in range(1, 19):                                                 # send entry n
        def send(t, n=n):
            t.box(0, 1, 15, 14, (220, 230, 250), BLUE)
            s = str(n)
            t.text(s, (16 - (4 * len(s) - 1) * 1) // 2, 3, BLACK)
            t.arrow_right(3, 11, 12, GREEN)
        new(send)
    assert len(out) == 34
    return out


# 8 bits with a palette: the system maps the transparent magenta to the
# menu colour through the palette, which a 24-bit picture does not have.
def write_bmp(path, tiles):
    width, height = 16 * len(tiles), 16
    palette = sorted({c for t in tiles for row in t.px for c in row})
    assert len(palette) <= 256
    index = {c: i for i, c in enumerate(palette)}
    stride = (width + 3) // 4 * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray(index[t.px[y][x]] for t in tiles for x in range(16))
        data += row + bytes(stride - len(row))
    table = b''.join(bytes([b, g, r, 0]) for r, g, b in palette)
    offset = 14 + 40 + len(table)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(data), 2835, 2835, len(palette), 0)
    with open(path, 'wb') as f:
        f.write(header + info + table + data)


# The hand: '#' black outline, 'o' white inside, '.' transparent. The hot
# spot is the tip of the finger.
HAND = [
    '.....##.........',
    '....#oo#........',
    '....#oo#........',
    '....#oo#........',
    '....#oo###......',
    '....#oo#oo###...',
    '....#oo#oo#oo##.',
    '.##.#oo#oo#oo#o#',
    '#oo##oooooooo#o#',
    '#ooo#oooooooooo#',
    '.#oooooooooooo#.',
    '..#ooooooooooo#.',
    '..#oooooooooo#..',
    '...#ooooooooo#..',
    '....#ooooooo#...',
    '....#ooooooo#...',
]
HOT_SPOT = (6, 0)


def write_cursor(path):
    size = 32
    stride = 4  # one bit per pixel, rows padded to 32 bits
    xor, mask = bytearray(), bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up
        xrow, mrow = bytearray(stride), bytearray(stride)
        for x in range(size):
            c = HAND[y][x] if y < len(HAND) and x < len(HAND[y]) else '.'
            if c == '.':
                mrow[x // 8] |= 0x80 >> (x % 8)      # AND 1, XOR 0: screen stays
            elif c == 'o':
                xrow[x // 8] |= 0x80 >> (x % 8)      # AND 0, XOR 1: white
        xor += xrow
        mask += mrow
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 2)
    image = info + palette + xor + mask
    header = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', size, size, 2, 0, HOT_SPOT[0], HOT_SPOT[1], len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(header + entry + image)


if __name__ == '__main__':
    write_bmp(os.path.join(OUT, 'toolbar.bmp'), images())
    write_cursor(os.path.join(OUT, 'hand.cur'))
