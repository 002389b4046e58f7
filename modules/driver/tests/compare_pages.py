#!/usr/bin/env python3
"""Compares a page that poppler rendered back (PPM or PGM) with the reference picture of the same
EMF played by Wine's GDI (PPM, RGB). Grey renderings are compared with the reference's luma.
  compare_pages.py RENDERED REFERENCE MIN_EQUAL_FRACTION [TOLERANCE]
Exit code 0 when at least MIN_EQUAL_FRACTION of the pixels differ by at most TOLERANCE (default 0)
in every channel and the sizes differ by at most one pixel (poppler rounds the page up)."""
import sys


def read_netpbm(path):
    with open(path, 'rb') as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    magic, width, height = fields[0], int(fields[1]), int(fields[2])
    channels = {b'P6': 3, b'P5': 1}[magic]
    return width, height, channels, data[pos:pos + width * height * channels]


def main():
    rendered, reference = read_netpbm(sys.argv[1]), read_netpbm(sys.argv[2])
    minimum, tolerance = float(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 0
    (rw, rh, rc, rp), (fw, fh, _, fp) = rendered, reference
    if abs(rw - fw) > 1 or abs(rh - fh) > 1:
        print(f'size {rw}x{rh} against the reference {fw}x{fh}')
        return 1
    width, height = min(rw, fw), min(rh, fh)
    equal = 0
    for y in range(height):
        r_row = rp[y * rw * rc:(y * rw + width) * rc]
        f_row = fp[y * fw * 3:(y * fw + width) * 3]
        if rc == 3 and tolerance == 0:
            if r_row == f_row:
                equal += width
                continue
            equal += sum(1 for x in range(width) if r_row[3 * x:3 * x + 3] == f_row[3 * x:3 * x + 3])
            continue
        for x in range(width):
            r, g, b = f_row[3 * x], f_row[3 * x + 1], f_row[3 * x + 2]
            if rc == 1:
                ok = abs(r_row[x] - ((r * 77 + g * 150 + b * 29 + 128) >> 8)) <= tolerance
            else:
                ok = all(abs(r_row[3 * x + i] - f_row[3 * x + i]) <= tolerance for i in range(3))
            equal += ok
    fraction = equal / (width * height)
    print(f'{equal} of {width * height} pixels equal ({fraction:.5f}), size {rw}x{rh} / {fw}x{fh}')
    return 0 if fraction >= minimum else 1


if __name__ == '__main__':
    sys.exit(main())
