#!/usr/bin/env python3
"""Checks the document text_out_tests printed (FOLDER/text.pdf, FOLDER/manifest.txt) with tools that
are not ours: qpdf --check; pdffonts (each TrueType face once, as a CIDFontType2 subset, embedded,
with a Unicode map; the other strings as Type 3 fonts with Unicode maps); pdftotext (every string
drawn, in order, on its page) and its word boxes (upright strings start and end where GDI placed
their glyphs); every embedded font program read by fontTools with the original's outlines; the
invisible and simulated-bold render modes in the content; each page rendered by pdftoppm and by
mutool draw with ink on every upright line.
    text_pdf_check.py FOLDER"""
import html
import re
import subprocess
import sys
from pathlib import Path

from fontTools.ttLib import TTFont

folder = Path(sys.argv[1])
pdf = folder / "text.pdf"
failures = []
ORIGINALS = {"LiberationSans": "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
             "DejaVuSans": "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"}


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def run(*command):
    return subprocess.run(command, capture_output=True, text=True)


manifest = []
for line in (folder / "manifest.txt").read_text(encoding="utf-8").splitlines():
    page, kind, x, y, end, text = line.split("|", 5)
    manifest.append((int(page), kind, float(x), float(y), float(end), text))
if len(manifest) < 10:
    fail(f"{len(manifest)} strings in the manifest")

check = run("qpdf", "--check", str(pdf))
if check.returncode != 0:
    fail("qpdf --check: " + check.stdout + check.stderr)

# pdffonts: name, type, encoding, emb, sub, uni, object
rows = [line.split() for line in run("pdffonts", str(pdf)).stdout.splitlines()[2:]]
cid = [row for row in rows if "CID" in row and "TrueType" in row]
type3 = [row for row in rows if row[1:3] == ["Type", "3"]]
for face in ORIGINALS:
    named = [row for row in cid if re.fullmatch(r"[A-Z]{6}\+" + face, row[0])]
    if len(named) != 1:
        fail(f"{face}: {len(named)} fonts, expected one for the whole document: {rows}")
    elif named[0][-5:-2] != ["yes", "yes", "yes"]:
        fail(f"{face}: emb/sub/uni {named[0][-5:-2]}")
    elif "Identity-H" not in named[0]:
        fail(f"{face}: not Identity-H: {named[0]}")
expected_type3 = 5  # the CJK face, handles that are not ids, the lying face, the licence, the bitmap font
if len(type3) != expected_type3 or any(row[-3] != "yes" for row in type3):
    fail(f"Type 3 fonts: {type3}")

# Every string on its page, in order; upright ones where GDI placed them.
for page in sorted({entry[0] for entry in manifest}):
    text = run("pdftotext", "-f", str(page), "-l", str(page), str(pdf), "-").stdout
    squeezed = re.sub(r"\s+", "", text)
    spaced = " ".join(text.split())
    position = 0
    for _, kind, x, y, end, expected in [entry for entry in manifest if entry[0] == page]:
        found = squeezed.find(re.sub(r"\s+", "", expected), position if kind != "rotated" else 0)
        if found < 0:
            fail(f"page {page}: {expected!r} not found in {text!r}")
            continue
        if kind != "rotated":
            position = found
        if kind in ("subset", "type3", "invisible") and not re.search(r"[^\x00-\x7f]", expected) and expected not in spaced:
            fail(f"page {page}: {expected!r} not found with its spaces in {spaced!r}")
    boxes = run("pdftotext", "-bbox", "-f", str(page), "-l", str(page), str(pdf), "-").stdout
    words = [(float(a), float(b), float(c), float(d), html.unescape(w))
             for a, b, c, d, w in re.findall(r'xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)<', boxes)]
    for _, kind, x, y, end, expected in [entry for entry in manifest if entry[0] == page]:
        if kind == "rotated" or " " not in expected:
            continue
        first, last = expected.split()[0], expected.split()[-1]
        starts = [w for w in words if w[4] == first and abs(w[0] - x) < 0.75 and w[1] < y < w[3]]
        ends = [w for w in words if w[4] == last and abs(w[2] - end) < 1.5 and w[1] < y < w[3]]
        if not starts:
            fail(f"page {page}: {first!r} does not start at x {x} on the baseline {y}: "
                 f"{[w for w in words if w[4] == first]}")
        if not ends and kind != "invisible":
            fail(f"page {page}: {last!r} does not end at x {end}: {[w for w in words if w[4] == last]}")

# The document's objects with their streams decoded, for the programs and the content.
qdf = folder / "text-qdf.pdf"
run("qpdf", "--qdf", "--object-streams=disable", str(pdf), str(qdf))
data = qdf.read_bytes()
objects = {int(number): body for number, body in re.findall(rb"\n(\d+) 0 obj\n(.*?)\nendobj", data, re.S)}


def stream_of(number):
    match = re.search(rb"stream\n(.*)\nendstream", objects[number], re.S)
    return match.group(1) if match else b""


programs = 0
for number, body in objects.items():
    match = re.search(rb"/FontFile2 (\d+) 0 R", body)
    if not match:
        continue
    name = re.search(rb"/FontName /[A-Z]{6}\+(\w+)", body).group(1).decode()
    program = folder / f"{name}.ttf"
    program_bytes = stream_of(int(match.group(1)))
    length = re.search(rb"/Length1 (\d+)", objects[int(match.group(1))])
    if not length or int(length.group(1)) != len(program_bytes):
        fail(f"{name}: /Length1 {length.group(1) if length else None} for {len(program_bytes)} bytes")
    program.write_bytes(program_bytes)
    try:
        subset, original = TTFont(str(program), checkChecksums=2), TTFont(ORIGINALS[name])
        order, original_order = subset.getGlyphOrder(), original.getGlyphOrder()
        drawn = 0
        for glyph_id, glyph_name in enumerate(order):
            glyph = subset["glyf"][glyph_name]
            if glyph.numberOfContours == 0:
                continue
            drawn += 1
            theirs = original["glyf"][original_order[glyph_id]]
            if glyph.getCoordinates(subset["glyf"])[0] != theirs.getCoordinates(original["glyf"])[0]:
                fail(f"{name}: glyph {glyph_id} differs from the original")
        if drawn < 10:
            fail(f"{name}: only {drawn} glyphs with outlines")
        programs += 1
        print(f"{name}: {len(program_bytes)} bytes, {drawn} glyphs with outlines, as in the original")
    except Exception as error:
        fail(f"{name}: fontTools: {error!r}")
if programs != 2:
    fail(f"{programs} TrueType programs, expected 2")

contents = b"".join(stream_of(n) for n, body in objects.items() if b" Tf" in stream_of(n)[:4096] or b"BT" in stream_of(n)[:64])
if b"3 Tr" not in contents:
    fail("no invisible text (3 Tr) in the content")
if b"2 Tr" not in contents:
    fail("no simulated bold (2 Tr) in the content")

# Both renderers draw every page, with ink along each upright line.
for page in sorted({entry[0] for entry in manifest}):
    for renderer in ("pdftoppm", "mutool"):
        image = folder / f"page-{page}-{renderer}.pgm"
        if renderer == "pdftoppm":
            result = run("pdftoppm", "-gray", "-r", "72", "-f", str(page), "-l", str(page), "-singlefile", str(pdf),
                         str(image.with_suffix("")))
        else:
            result = run("mutool", "draw", "-q", "-r", "72", "-c", "gray", "-o", str(image), str(pdf), str(page))
        if result.returncode != 0 or not image.exists():
            fail(f"{renderer} page {page}: {result.stderr}")
            continue
        raw = image.read_bytes()
        header = re.match(rb"P5\s+(\d+)\s+(\d+)\s+255\s", raw)
        width, height = int(header.group(1)), int(header.group(2))
        pixels = raw[header.end():]
        for _, kind, x, y, end, expected in [entry for entry in manifest if entry[0] == page]:
            if kind in ("rotated", "invisible"):
                continue
            top, bottom = max(0, int(y - 9)), int(y + 1)
            left, right = int(x), int(end)
            ink = sum(1 for row in range(top, bottom) for column in range(left, right)
                      if pixels[row * width + column] < 128)
            if ink < (right - left) // 2:
                fail(f"{renderer} page {page}: {expected!r} has {ink} dark pixels")
print(f"{len(manifest)} strings, {len(rows)} fonts checked" + (f", {len(failures)} failures" if failures else ""))
sys.exit(1 if failures else 0)
