#!/usr/bin/python3
"""Makes a TrueType font whose tables lie, from Liberation Sans, for the driver's document checks:
  make_lying_font.py SOURCE.ttf OUT.ttf
The copy is renamed "Quill Lying Sans" (so that it never stands in for the real face) and then
patched byte by byte where a font reader must not trust the file:
  - the table directory says hmtx runs 4 KiB past the end of the file;
  - hhea claims 65535 long horizontal metrics, far more than hmtx holds;
  - loca lets the glyph of "Q" end 1 MiB past the end of glyf;
  - the composite glyph of "Ä" names a component glyph id past the font's last glyph.
FreeType (and so Wine's GDI) still loads the font: it clips hmtx and loca to what is there, and
draws nothing for the broken composite. A reader that believes the tables reads out of bounds."""
import io
import struct
import sys

from fontTools.ttLib import TTFont

FAMILY = 'Quill Lying Sans'


def tables(data):
    count = struct.unpack_from('>H', data, 4)[0]
    found = {}
    for i in range(count):
        entry = 12 + 16 * i
        tag, _, offset, length = struct.unpack_from('>4sIII', data, entry)
        found[tag.decode('latin-1')] = (entry, offset, length)
    return found


def main():
    source, out = sys.argv[1], sys.argv[2]
    font = TTFont(source)
    for record in font['name'].names:
        if record.nameID in (1, 4, 16):
            record.string = FAMILY
        elif record.nameID == 6:
            record.string = FAMILY.replace(' ', '')
        elif record.nameID == 3:
            record.string = FAMILY + ' lying'
    gid_q = font.getGlyphID(font.getBestCmap()[ord('Q')])
    gid_a = font.getGlyphID(font.getBestCmap()[ord('Ä')])
    long_loca = font['head'].indexToLocFormat == 1
    buffer = io.BytesIO()
    font.save(buffer)
    data = bytearray(buffer.getvalue())
    found = tables(data)

    entry, offset, length = found['hmtx']
    struct.pack_into('>I', data, entry + 12, len(data) - offset + 4096)
    _, hhea, _ = found['hhea']
    struct.pack_into('>H', data, hhea + 34, 0xFFFF)

    _, loca, _ = found['loca']
    _, glyf, glyf_length = found['glyf']
    def location(gid):
        if long_loca:
            return struct.unpack_from('>I', data, loca + 4 * gid)[0]
        return 2 * struct.unpack_from('>H', data, loca + 2 * gid)[0]
    end = glyf_length + (1 << 20)
    if long_loca:
        struct.pack_into('>I', data, loca + 4 * (gid_q + 1), end)
    else:
        struct.pack_into('>H', data, loca + 2 * (gid_q + 1), min(end // 2, 0xFFFF))

    start = glyf + location(gid_a)
    contours = struct.unpack_from('>h', data, start)[0]
    if contours >= 0:
        sys.exit('make_lying_font.py: the glyph of Ä is not a composite in ' + source)
    struct.pack_into('>H', data, start + 10 + 2, 0xFFF0)  # the first component's glyph id

    with open(out, 'wb') as f:
        f.write(data)
    print(f'{out}: "{FAMILY}", hmtx length past the end, 65535 long metrics, '
          f'glyph {gid_q} ending past glyf, composite {gid_a} naming glyph 65520')


main()
