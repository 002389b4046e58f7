#!/usr/bin/python3
"""Checks of a printed document with tools that are not the driver's (poppler's pdftotext,
pdffonts and pdfimages, qpdf, fontTools). Each command prints what it found and exits 1 on a
failed check.
  check_document.py text PDF PAGE EXPECTED.txt [order]
      every word of EXPECTED.txt (the text emftool noted as drawn, one piece a line) is on that
      page of the document (pdftotext, or MuPDF's text for lines turned at an angle); with
      "order", in the same order (pdftotext -layout, row by row)
  check_document.py fonts PDF
      every font is embedded, a subset with a subset tag and has a Unicode map (pdffonts); Type 3
      fonts (glyphs drawn by the document itself) need only the Unicode map
  check_document.py images PDF PAGES WIDTH_PT HEIGHT_PT [PAGE:WxH]...
      no page has an image covering most of the page (pdfimages -list), and each PAGE:WxH names an
      image that must be on that page at exactly that size in pixels (its own resolution)
  check_document.py only-images PDF PAGES [PAGE:WxH]...
      the pages hold exactly the images named (none on the others): a page of text, rules and
      fills needs no image at all, not even a patch
  check_document.py image-pages PDF PAGES
      the page-as-image setting: each page carries exactly one image (or none when blank)
  check_document.py grey PDF
      nothing of the document is in colour: images grey, no RGB colour space or operator
  check_document.py fontprograms DIR
      fontTools reads every TrueType font program in DIR (as `mutool extract` writes them):
      every table decompiles, every glyph expands, and the tables a PDF font program needs
      are there"""
import glob
import os
import re
import subprocess
import sys

failures = []


def fail(message):
    failures.append(message)
    print('FAIL: ' + message)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True).stdout.decode('utf-8', 'replace')


def words_of(text):
    return text.split()


def check_text(pdf, page, expected_path, order):
    with open(expected_path, encoding='utf-8') as f:
        expected = words_of(f.read())
    extracted = words_of(run('pdftotext', '-layout', '-f', page, '-l', page, pdf, '-'))
    if order:
        position = 0
        for index, word in enumerate(expected):
            try:
                position = extracted.index(word, position) + 1
            except ValueError:
                context = ' '.join(expected[max(0, index - 3):index + 1])
                fail(f'{pdf} page {page}: "{word}" (after "{context}") is not found in reading order')
                return
    else:
        # pdftotext breaks a line turned by other than a right angle into pieces; MuPDF's text
        # extraction reads such a line whole, so a word either tool finds counts.
        remaining = list(extracted)
        mupdf = words_of(run('mutool', 'draw', '-q', '-F', 'txt', '-o', '-', pdf, page))
        for word in expected:
            if word in remaining:
                remaining.remove(word)
            elif word in mupdf:
                mupdf.remove(word)
            else:
                fail(f'{pdf} page {page}: "{word}" is not in the text (pdftotext nor mutool)')
                return
    print(f'{pdf} page {page}: all {len(expected)} words found' + (' in reading order' if order else ''))


def check_fonts(pdf):
    lines = run('pdffonts', pdf).splitlines()[2:]
    if not lines:
        fail(f'{pdf}: no fonts at all')
        return
    for line in lines:
        # name type... encoding emb sub uni object ID: the last five columns are fixed.
        fields = line.split()
        name, emb, sub, uni = fields[0], fields[-5], fields[-4], fields[-3]
        kind = line[37:54].strip()
        if uni != 'yes':
            fail(f'{pdf}: font {name} ({kind}) has no Unicode map')
        if kind.startswith('Type 3'):
            continue
        if emb != 'yes' or sub != 'yes':
            fail(f'{pdf}: font {name} ({kind}) embedded {emb}, subset {sub}')
        if not re.match(r'^[A-Z]{6}\+', name):
            fail(f'{pdf}: font {name} has no subset tag')
    print(f'{pdf}: {len(lines)} fonts checked')


def image_list(pdf):
    rows = []
    for line in run('pdfimages', '-list', pdf).splitlines()[2:]:
        f = line.split()
        rows.append({'page': int(f[0]), 'type': f[2], 'width': int(f[3]), 'height': int(f[4]), 'color': f[5],
                     'xppi': float(f[12]), 'yppi': float(f[13])})
    return rows


def check_images(pdf, pages, width_pt, height_pt, expected):
    rows = image_list(pdf)
    for row in rows:
        if row['type'] != 'image' or row['xppi'] <= 0 or row['yppi'] <= 0:
            continue
        placed_w, placed_h = row['width'] / row['xppi'] * 72, row['height'] / row['yppi'] * 72
        if placed_w >= 0.8 * width_pt and placed_h >= 0.8 * height_pt:
            fail(f'{pdf} page {row["page"]}: an image of {row["width"]}x{row["height"]} covers the page')
    for wanted_image in expected:
        page, size = wanted_image.split(':')
        w, h = (int(v) for v in size.split('x'))
        if not any(r['page'] == int(page) and r['width'] == w and r['height'] == h for r in rows):
            found = [(r['width'], r['height']) for r in rows if r['page'] == int(page)]
            fail(f'{pdf} page {page}: no image of its own size {w}x{h} (images there: {found})')
    print(f'{pdf}: {len(rows)} images over {pages} pages checked')


def check_only_images(pdf, pages, expected):
    rows = [r for r in image_list(pdf) if r['type'] == 'image']
    for page in range(1, pages + 1):
        found = sorted((r['width'], r['height']) for r in rows if r['page'] == page)
        wanted = sorted(tuple(int(v) for v in wanted_image.split(':')[1].split('x'))
                        for wanted_image in expected if int(wanted_image.split(':')[0]) == page)
        if found != wanted:
            shown = found[:6] + (['...'] if len(found) > 6 else [])
            fail(f'{pdf} page {page}: images {shown} ({len(found)}), expected {wanted}')
    print(f'{pdf}: the images of {pages} pages checked')


def check_image_pages(pdf, pages):
    rows = [r for r in image_list(pdf) if r['type'] == 'image']
    for page in range(1, pages + 1):
        count = sum(1 for r in rows if r['page'] == page)
        if count != 1:
            fail(f'{pdf} page {page}: {count} images, the page-as-image setting draws one')
    print(f'{pdf}: one image a page')


def check_grey(pdf):
    for row in image_list(pdf):
        if row['color'] not in ('gray', 'index') and row['type'] == 'image':
            fail(f'{pdf} page {row["page"]}: a {row["color"]} image in a grey job')
    expanded = pdf + '.qdf'
    subprocess.run(['qpdf', '--qdf', '--object-streams=disable', pdf, expanded], check=False)
    with open(expanded, 'rb') as f:
        data = f.read()
    if b'/DeviceRGB' in data or b'/CalRGB' in data:
        fail(f'{pdf}: an RGB colour space in a grey job')
    if re.search(rb'(^|\s)[-0-9.]+\s+[-0-9.]+\s+[-0-9.]+\s+(rg|RG)(\s|$)', data):
        fail(f'{pdf}: an RGB colour operator in a grey job')
    print(f'{pdf}: grey throughout')


def check_font_programs(directory):
    from fontTools.ttLib import TTFont
    files = sorted(glob.glob(os.path.join(directory, '*.ttf')))
    for path in files:
        try:
            font = TTFont(path)
            for tag in ('head', 'hhea', 'maxp', 'loca', 'glyf', 'hmtx'):
                if tag not in font:
                    fail(f'{path}: no {tag} table')
            for tag in font.keys():
                if tag != 'GlyphOrder':
                    font[tag]  # decompiles the table
            glyf = font['glyf']
            order = font.getGlyphOrder()
            if font['maxp'].numGlyphs != len(order):
                fail(f'{path}: maxp has {font["maxp"].numGlyphs} glyphs, loca {len(order)}')
            drawn = 0
            for name in order:
                glyph = glyf[name]
                glyph.expand(glyf)
                if glyph.isComposite():
                    for component in glyph.components:
                        if component.glyphName not in glyf:
                            fail(f'{path}: glyph {name} names a missing component')
                drawn += glyph.numberOfContours != 0
            print(f'{path}: {len(order)} glyph ids, {drawn} with outlines, tables {" ".join(sorted(font.keys()))}')
        except Exception as error:  # fontTools raises many kinds; any of them is a broken program
            fail(f'{path}: fontTools cannot read it: {error}')
    if not files:
        print(f'{directory}: no TrueType font programs')


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == 'text':
        check_text(args[0], args[1], args[2], len(args) > 3 and args[3] == 'order')
    elif command == 'fonts':
        check_fonts(args[0])
    elif command == 'images':
        check_images(args[0], int(args[1]), float(args[2]), float(args[3]), args[4:])
    elif command == 'only-images':
        check_only_images(args[0], int(args[1]), args[2:])
    elif command == 'image-pages':
        check_image_pages(args[0], int(args[1]))
    elif command == 'grey':
        check_grey(args[0])
    elif command == 'fontprograms':
        check_font_programs(args[0])
    else:
        sys.exit(__doc__)
    return 1 if failures else 0


sys.exit(main())
