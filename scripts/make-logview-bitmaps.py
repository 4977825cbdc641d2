#!/usr/bin/env python3
"""Draws the log view's built-in bitmaps into resources/:

  logview_ctrl_l.bmp   2048 x 18, 1 bit: 256 pictures of 8 x 18, one per byte
  logview_ctrl_ll.bmp  2560 x 22, 1 bit: 256 pictures of 10 x 22
  logview_splash.bmp   the picture shown before the first record (24 bit)

A picture shows the control code's abbreviation in small capitals (two
letters per row), or, for a byte without a name, its two hex digits over a
bar. Ink is colour 0 (black), so a monochrome blit paints it in the text
colour of the record and the rest in the background colour.

Plain Python, no imaging library: the glyphs below are the whole font.
Run from anywhere: python3 scripts/make-logview-bitmaps.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, '..', 'resources')

# 3 x 5 capitals and digits, rows top to bottom, '#' is ink.
GLYPHS = {
    'A': ['.#.', '#.#', '###', '#.#', '#.#'], 'B': ['##.', '#.#', '##.', '#.#', '##.'],
    'C': ['.##', '#..', '#..', '#..', '.##'], 'D': ['##.', '#.#', '#.#', '#.#', '##.'],
    'E': ['###', '#..', '##.', '#..', '###'], 'F': ['###', '#..', '##.', '#..', '#..'],
    'G': ['.##', '#..', '#.#', '#.#', '.##'], 'H': ['#.#', '#.#', '###', '#.#', '#.#'],
    'I': ['###', '.#.', '.#.', '.#.', '###'], 'J': ['..#', '..#', '..#', '#.#', '.#.'],
    'K': ['#.#', '#.#', '##.', '#.#', '#.#'], 'L': ['#..', '#..', '#..', '#..', '###'],
    'M': ['#.#', '###', '###', '#.#', '#.#'], 'N': ['##.', '#.#', '#.#', '#.#', '#.#'],
    'O': ['.#.', '#.#', '#.#', '#.#', '.#.'], 'P': ['##.', '#.#', '##.', '#..', '#..'],
    'Q': ['.#.', '#.#', '#.#', '##.', '.##'], 'R': ['##.', '#.#', '##.', '#.#', '#.#'],
    'S': ['.##', '#..', '.#.', '..#', '##.'], 'T': ['###', '.#.', '.#.', '.#.', '.#.'],
    'U': ['#.#', '#.#', '#.#', '#.#', '###'], 'V': ['#.#', '#.#', '#.#', '#.#', '.#.'],
    'W': ['#.#', '#.#', '###', '###', '#.#'], 'X': ['#.#', '#.#', '.#.', '#.#', '#.#'],
    'Y': ['#.#', '#.#', '.#.', '.#.', '.#.'], 'Z': ['###', '..#', '.#.', '#..', '###'],
    '0': ['###', '#.#', '#.#', '#.#', '###'], '1': ['.#.', '##.', '.#.', '.#.', '###'],
    '2': ['##.', '..#', '.#.', '#..', '###'], '3': ['##.', '..#', '.#.', '..#', '##.'],
    '4': ['#.#', '#.#', '###', '..#', '..#'], '5': ['###', '#..', '##.', '..#', '##.'],
    '6': ['.##', '#..', '###', '#.#', '###'], '7': ['###', '..#', '.#.', '.#.', '.#.'],
    '8': ['###', '#.#', '###', '#.#', '###'], '9': ['###', '#.#', '###', '..#', '##.'],
}

# The abbreviations of the named codes (the names are string resources
# 2001 + byte in resources/logview.rc).
C0 = ('NUL SOH STX ETX EOT ENQ ACK BEL BS HT LF VT FF CR SO SI '
      'DLE DC1 DC2 DC3 DC4 NAK SYN ETB CAN EM SUB ESC FS GS RS US SP').split()
C1 = ('PAD HOP BPH NBH IND NEL SSA ESA HTS HTJ VTS PLD PLU RI SS2 SS3 '
      'DCS PU1 PU2 STS CCH MW SPA EPA SOS SGCI SCI CSI ST OSC PM APC NBSP').split()
NAMES = {b: n for b, n in enumerate(C0)}
NAMES[0x7F] = 'DEL'
NAMES.update({0x80 + i: n for i, n in enumerate(C1)})


def picture(byte, w, h):
    """One picture as rows of booleans (True = ink)."""
    px = [[False] * w for _ in range(h)]

    def put(text, x0, y0):
        for k, ch in enumerate(text):
            for y, row in enumerate(GLYPHS[ch]):
                for x, c in enumerate(row):
                    if c == '#' and 0 <= x0 + 4 * k + x < w:
                        px[y0 + y][x0 + 4 * k + x] = True

    name = NAMES.get(byte)
    rows = [name[:2], name[2:]] if name else ['%02X' % byte]
    rows = [r for r in rows if r]
    block = 5 * len(rows) + (len(rows) - 1)
    y = (h - block) // 2
    for r in rows:
        put(r, (w - (4 * len(r) - 1)) // 2, y)
        y += 6
    if not name:  # a bar under hex digits tells them from a named code
        for x in range(1, w - 1):
            px[y][x] = True
    return px


def write_mono_bmp(path, width, height, pixels):
    stride = ((width + 31) // 32) * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray(stride)
        for x in range(width):
            if not pixels[y][x]:  # bit 1 = white background, 0 = ink
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 1, 0, len(data), 2835, 2835, 2, 2)
    with open(path, 'wb') as f:
        f.write(header + info + palette + data)


def write_rgb_bmp(path, width, height, rgb):
    stride = ((width * 3 + 3) // 4) * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = rgb(x, y)
            row += bytes([b, g, r])
        row += bytes(stride - len(row))
        data += row
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + data)


def make_strip(path, cw, ch):
    pics = [picture(b, cw, ch) for b in range(256)]
    pixels = [[pics[x // cw][y][x % cw] for x in range(256 * cw)] for y in range(ch)]
    write_mono_bmp(path, 256 * cw, ch, pixels)


def make_splash(path):
    # "VORLIN2" in the small font scaled by 6 on a blue-to-white band.
    text, scale = 'VORLIN2', 6
    w, h = 320, 96
    tw = (4 * len(text) - 1) * scale
    x0, y0 = (w - tw) // 2, (h - 5 * scale) // 2
    ink = set()
    for k, c in enumerate(text):
        for y, row in enumerate(GLYPHS[c]):
            for x, cc in enumerate(row):
                if cc == '#':
                    for dy in range(scale):
                        for dx in range(scale):
                            ink.add((x0 + (4 * k + x) * scale + dx, y0 + y * scale + dy))

    def rgb(x, y):
        if (x, y) in ink:
            return (0, 0, 0x7F)
        if (x - 3, y - 3) in ink:  # shadow
            return (0x90, 0xA0, 0xC8)
        t = y / (h - 1)
        return (int(0xD8 + 0x27 * t), int(0xE4 + 0x1B * t), 0xFF)

    write_rgb_bmp(path, w, h, rgb)


if __name__ == '__main__':
    make_strip(os.path.join(OUT, 'logview_ctrl_l.bmp'), 8, 18)
    make_strip(os.path.join(OUT, 'logview_ctrl_ll.bmp'), 10, 22)
    make_splash(os.path.join(OUT, 'logview_splash.bmp'))
