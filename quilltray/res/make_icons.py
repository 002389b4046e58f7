#!/usr/bin/env python3
"""Draws the tray program's icons and writes them as .ico files beside this script.

  107  listening, idle (also busy frame 0): a sheet with a quill, the feed arrow at rest
  130  not listening: the sheet greyed out with a red bar across (8-bit images only)
  131, 132, 133  busy frames 1 to 3: the feed arrow moves down the sheet

Each icon holds 16x16 and 32x32 images; all but 130 in 8-bit and 32-bit colour.
Run: python3 quilltray/res/make_icons.py   (standard library only)
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def blank(size):
    return [[None] * size for _ in range(size)]


def fill_rect(img, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(img), y1)):
        for x in range(max(0, x0), min(len(img), x1)):
            img[y][x] = colour


def sheet(img, s, paper, edge):
    """A page with a folded top-right corner, in unit coordinates of a 16-pixel grid scaled by s."""
    n = len(img)
    left, right, top, bottom = 2 * s, 13 * s, 1 * s, 15 * s
    fold = 4 * s
    for y in range(top, bottom):
        for x in range(left, right):
            if x - (right - fold) > y - top:  # cut corner
                continue
            border = x in (left, right - 1) or y in (top, bottom - 1) or x - (right - fold) == y - top
            img[y][x] = edge if border else paper
    for i in range(fold):  # the folded flap
        for x in range(right - fold, right - fold + i + 1):
            y = top + i
            if 0 <= y < n:
                img[y][x] = edge if x in (right - fold, right - fold + i) else (220, 220, 220)


def quill(img, s, colour):
    """A slanted quill stroke from the lower left to the upper right of the sheet."""
    for t in range(0, 8 * s):
        x = 4 * s + t
        y = 12 * s - t
        for w in range(s):
            if 0 <= y - w < len(img) and 0 <= x < len(img):
                img[y - w][x] = colour
    fill_rect(img, 3 * s, 12 * s, 4 * s + s, 13 * s, (40, 40, 40))  # the nib


def lines(img, s, colour):
    for row in (5, 8):
        fill_rect(img, 4 * s, row * s, 9 * s, row * s + max(1, s // 2), colour)


def arrow(img, s, step, colour):
    """The feed arrow on the sheet's right side; step 0..3 moves it down."""
    cx = 11 * s
    top = int((4 + 2.5 * step) * s)
    for i in range(3 * s):
        half = (3 * s - i) // 2
        fill_rect(img, cx - half, top + i, cx + half + 1, top + i + 1, colour)


def picture(icon_id, size):
    s = size // 16
    img = blank(size)
    if icon_id == 130:
        sheet(img, s, (200, 200, 200), (110, 110, 110))
        lines(img, s, (150, 150, 150))
        quill(img, s, (130, 130, 130))
        for t in range(size - 2 * s):  # red bar from top left to bottom right
            for w in range(-s, s + 1):
                x, y = s + t, s + t + w
                if 0 <= x < size and 0 <= y < size:
                    img[y][x] = (200, 30, 30)
        return img
    sheet(img, s, (255, 255, 255), (40, 70, 140))
    lines(img, s, (150, 170, 210))
    quill(img, s, (30, 90, 200))
    step = {107: 0, 131: 1, 132: 2, 133: 3}[icon_id]
    arrow(img, s, step, (20, 160, 60))
    return img


def palette():
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    greys = [(v * 10, v * 10, v * 10) for v in range(1, 26)]
    colours = cube + greys
    while len(colours) < 256:
        colours.append((0, 0, 0))
    return colours


PALETTE = palette()


def nearest(colour):
    return min(range(256), key=lambda i: sum((a - b) ** 2 for a, b in zip(PALETTE[i], colour)))


def and_mask(img):
    size = len(img)
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if img[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def dib(img, bits):
    size = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, 0, 0, 0, 256 if bits == 8 else 0, 0)
    body = bytearray()
    if bits == 8:
        for r, g, b in PALETTE:
            body += bytes((b, g, r, 0))
        stride = (size + 3) // 4 * 4
        for y in reversed(range(size)):
            row = bytearray(stride)
            for x in range(size):
                row[x] = nearest(img[y][x]) if img[y][x] else 0
            body += row
    else:
        for y in reversed(range(size)):
            for x in range(size):
                c = img[y][x]
                body += bytes((c[2], c[1], c[0], 255)) if c else bytes(4)
    return header + bytes(body) + and_mask(img)


def write_icon(icon_id):
    depths = (8,) if icon_id == 130 else (8, 32)
    entries = []
    for size in (16, 32):
        img = picture(icon_id, size)
        for bits in depths:
            entries.append((size, bits, dib(img, bits)))
    out = bytearray(struct.pack('<HHH', 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, bits, data in entries:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    with open(os.path.join(HERE, 'icon%d.ico' % icon_id), 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    for icon_id in (107, 130, 131, 132, 133):
        write_icon(icon_id)
