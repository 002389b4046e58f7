#!/usr/bin/env python3
"""Reads every subset font_library_tests left in FOLDER with fontTools and compares it with the face
it came from: valid table checksums and checkSumAdjustment, exactly the tables a PDF FontFile2
needs (cvt, fpgm, prep when the face has them), every printed glyph and every part of a composite
at its own id with the original's outline and metrics, the glyphs nobody printed empty, the /W
widths equal to hmtx in thousandths of the em, the ToUnicode CMap mapping each glyph to a
character that the face's own cmap maps to that glyph, and a descriptor naming the subset.
    check_subsets.py FOLDER"""
import re
import struct
import sys
from pathlib import Path

from fontTools.ttLib import TTFont

failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def parts(glyf, name, seen):
    """The glyph and every glyph it is made of."""
    if name in seen:
        return
    seen.add(name)
    glyph = glyf[name]
    if glyph.isComposite():
        for component in glyph.components:
            parts(glyf, component.glyphName, seen)


def check(manifest):
    name = manifest.stem
    lines = manifest.read_text().splitlines()
    original_path, face_index, printed, font_name = lines[0], int(lines[1]), [int(g) for g in lines[2].split()], lines[3]
    subset_path = manifest.with_suffix(".ttf")
    data = subset_path.read_bytes()
    # checkSumAdjustment: the whole file sums to 0xB1B0AFBA.
    padded = data + b"\0" * (-len(data) % 4)
    total = sum(struct.unpack(">%dI" % (len(padded) // 4), padded)) & 0xFFFFFFFF
    if total != 0xB1B0AFBA:
        fail(f"{name}: file checksum {total:#x}")
    subset = TTFont(str(subset_path), checkChecksums=2)  # raises on a table whose checksum is wrong
    original = TTFont(original_path, fontNumber=face_index)
    wanted = {"head", "hhea", "maxp", "loca", "glyf", "hmtx"} | ({"cvt ", "fpgm", "prep"} & set(original.keys()))
    have = set(subset.reader.keys())
    if have != wanted:
        fail(f"{name}: tables {sorted(have)}, expected {sorted(wanted)}")
    original_order = original.getGlyphOrder()
    subset_order = subset.getGlyphOrder()
    subset_glyf, original_glyf = subset["glyf"], original["glyf"]
    needed = set()
    for glyph_id in printed + [0]:
        parts(original_glyf, original_order[glyph_id], needed)
    needed_ids = {original.getGlyphID(n) for n in needed}
    if len(subset_order) != max(needed_ids) + 1:
        fail(f"{name}: {len(subset_order)} glyphs, expected ids up to {max(needed_ids)}")
    for glyph_id in range(len(subset_order)):
        mine = subset_glyf[subset_order[glyph_id]]
        if glyph_id not in needed_ids:
            if mine.numberOfContours != 0:
                fail(f"{name}: glyph {glyph_id} was not printed but has an outline")
            continue
        theirs = original_glyf[original_order[glyph_id]]
        if mine.isComposite() != theirs.isComposite():
            fail(f"{name}: glyph {glyph_id} composite {mine.isComposite()} vs {theirs.isComposite()}")
            continue
        if mine.isComposite():
            # Components name glyphs by id, as the subset keeps them.
            mine_parts = [(subset.getGlyphID(c.glyphName), c.x, c.y) for c in mine.components]
            their_parts = [(original.getGlyphID(c.glyphName), c.x, c.y) for c in theirs.components]
            if mine_parts != their_parts:
                fail(f"{name}: glyph {glyph_id} components {mine_parts} vs {their_parts}")
        coordinates = mine.getCoordinates(subset_glyf)
        original_coordinates = theirs.getCoordinates(original_glyf)
        if list(coordinates[0]) != list(original_coordinates[0]) or list(coordinates[1]) != list(original_coordinates[1]):
            fail(f"{name}: glyph {glyph_id} outline differs from the original's")
        if subset["hmtx"][subset_order[glyph_id]] != original["hmtx"][original_order[glyph_id]]:
            fail(f"{name}: glyph {glyph_id} metrics {subset['hmtx'][subset_order[glyph_id]]}")
    em = original["head"].unitsPerEm
    if subset["head"].unitsPerEm != em:
        fail(f"{name}: em {subset['head'].unitsPerEm}")

    # /W: [first [w ...] ...] with every needed glyph, widths in thousandths of the em.
    widths = {}
    text = manifest.with_suffix(".widths").read_text()
    for first, run in re.findall(r"(\d+) \[([\d ]+)\]", text):
        for offset, width in enumerate(run.split()):
            widths[int(first) + offset] = int(width)
    for glyph_id in needed_ids:
        advance = original["hmtx"][original_order[glyph_id]][0]
        expected = (advance * 1000 + em // 2) // em
        if widths.get(glyph_id) != expected:
            fail(f"{name}: /W of glyph {glyph_id} is {widths.get(glyph_id)}, hmtx says {expected}")

    # ToUnicode: every printed glyph, with a character the face maps to it.
    cmap_text = manifest.with_suffix(".cmap").read_text()
    mapped = {int(code, 16): bytes.fromhex(units).decode("utf-16-be")
              for code, units in re.findall(r"<([0-9A-F]{4})> <([0-9A-F]+)>", cmap_text) if code != "0000" or units != "FFFF"}
    best = original.getBestCmap()
    for glyph_id in printed:
        characters = mapped.get(glyph_id)
        if not characters:
            fail(f"{name}: glyph {glyph_id} has no characters in ToUnicode")
        elif len(characters) == 1 and best.get(ord(characters)) != original_order[glyph_id]:
            fail(f"{name}: ToUnicode maps glyph {glyph_id} to {characters!r}, which the face maps elsewhere")
    for code in mapped:
        if code not in printed:
            fail(f"{name}: ToUnicode has glyph {code}, which was not printed")

    descriptor = manifest.with_suffix(".descriptor").read_text()
    post_script = original["name"].getDebugName(6)
    if not re.fullmatch(r"[A-Z]{6}\+" + re.escape(post_script), font_name):
        fail(f"{name}: font name {font_name}, face {post_script}")
    if f"/FontName /{font_name} " not in descriptor or "/FontFile2 12 0 R" not in descriptor:
        fail(f"{name}: descriptor {descriptor}")
    italic = original["post"].italicAngle != 0
    flags = int(re.search(r"/Flags (\d+)", descriptor).group(1))
    if bool(flags & 64) != italic:
        fail(f"{name}: /Flags {flags} for italic angle {original['post'].italicAngle}")
    print(f"{name}: {len(data)} bytes, {len(needed_ids)} glyphs of {len(original_order)}, "
          f"{len(mapped)} characters: fontTools reads it as the original")


folder = Path(sys.argv[1])
manifests = sorted(folder.glob("*.manifest"))
if len(manifests) < 4:
    fail(f"only {len(manifests)} subsets in {folder}")
for manifest in manifests:
    try:
        check(manifest)
    except Exception as error:  # a font fontTools can't read is a failure like any other
        fail(f"{manifest.stem}: {error!r}")
sys.exit(1 if failures else 0)
