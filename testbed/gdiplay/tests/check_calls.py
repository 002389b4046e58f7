#!/usr/bin/env python3
"""Checks the recording driver's log of one gdiplay run against what the test page draws.
   check_calls.py shapes|none|fills|text|images LOG
The text checks read the font files the driver was given with fontTools: every glyph handle must
be the glyph the font's own cmap gives the character."""
import os
import sys

SCALE = 150 / 254  # logical units of 0.1 mm on an A4 page at 150 dpi

def parse(path):
    calls = []
    for line in open(path, encoding='utf-8'):
        words = line.split()
        if not words:
            continue
        fields = {'call': words[0]}
        for word in words[1:]:
            key, _, value = word.partition('=')
            fields.setdefault(key, value)  # the first of a key (a fill brush follows the pen's)
        fields['line'] = line.strip()
        calls.append(fields)
    return calls

def near(text, expected, tolerance=2.0):
    values = [float(v) for v in text.split(',')]
    return len(values) == len(expected) and all(abs(a - b) <= tolerance for a, b in zip(values, expected))

def box(l, t, r, b):
    return [l * SCALE, t * SCALE, r * SCALE, b * SCALE]

problems = []

def expect(condition, what):
    if not condition:
        problems.append(what)

def drawing(calls):
    return [c for c in calls if c['call'] in ('StrokePath', 'FillPath', 'StrokeAndFillPath', 'LineTo', 'BitBlt',
                                                'TextOut', 'StretchBlt', 'CopyBits', 'AlphaBlend', 'GradientFill',
                                                'TransparentBlt', 'StretchBltROP', 'PlgBlt')]

def check_shapes(calls):
    draws = drawing(calls)
    names = [c['call'] for c in draws]
    expect(names == ['StrokeAndFillPath', 'FillPath', 'StrokePath', 'LineTo', 'FillPath', 'FillPath', 'BitBlt',
                     'FillPath', 'FillPath', 'StrokeAndFillPath', 'StrokePath'], 'calls in order: %s' % names)
    if len(draws) != 11:
        return
    rect, ellipse, dashed, line, clipped, complex_, patblt, hatch, star, bracket, wide = draws
    # Rectangle: a closed figure of four corners, red fill, a geometric pen of 1 mm.
    expect(near(rect['bounds'], box(100, 100, 600, 400)), 'rectangle bounds ' + rect['bounds'])
    expect(rect['path'].count('L') == 3 and rect['path'].endswith('Z;'), 'rectangle path ' + rect['path'])
    expect(rect['fillbrush'] == 'ff0000' and rect['brush'] == '0', 'rectangle brushes ' + rect['line'])
    expect(rect['linefl'] == '1' and rect['width'] == '10', 'rectangle pen ' + rect['line'])
    expect(near(rect['xform'], [SCALE, SCALE], 0.002), 'world-to-device scale ' + rect['xform'])
    expect(rect['clip'] == '0' and rect['mode'] == '1', 'rectangle clip and fill mode ' + rect['line'])
    # Ellipse: béziers, blue (device colour 0x0000ff, RGB 0xff0000).
    expect(ellipse['beziers'] == '1' and ellipse['path'].count('C') == 4, 'ellipse path ' + ellipse['path'])
    expect(near(ellipse['bounds'], box(700, 100, 1200, 400)), 'ellipse bounds ' + ellipse['bounds'])
    expect(ellipse['brush'] == 'ff' and ellipse['rgb'] == 'ff0000', 'ellipse brush ' + ellipse['line'])
    # Dashed cosmetic polyline: open, styled in device pixels.
    expect(dashed['linefl'] == '8' and dashed['style'] == '18,6,' and 'Z' not in dashed['path'],
           'dashed line ' + dashed['line'])
    expect(near(dashed['bounds'], box(100, 500, 600, 800)), 'dashed bounds ' + dashed['bounds'])
    # LineTo with a cosmetic solid pen.
    expect(near(line['from'] + ',' + line['to'], box(100, 900, 1200, 900)), 'line ' + line['line'])
    # Clipped to one rectangle, and a clip with a hole.
    expect(clipped['clip'] == '1' and near(clipped['cliprects'].rstrip(';'), box(100, 1000, 600, 1300)),
           'rectangle clip ' + clipped['line'])
    rects = [r for r in complex_['cliprects'].split(';') if r]
    hole = box(800, 1100, 900, 1200)
    expect(complex_['clip'] == '3' and len(rects) == 4, 'complex clip ' + complex_['line'])
    expect(not any(near(r, hole, 1) for r in rects), 'the hole is not clipped out: ' + complex_['cliprects'])
    # FillRect: PATCOPY with a solid brush.
    expect(patblt['rop4'] == 'f0f0' and patblt['source'] == 'none' and patblt['brush'] == 'a141e' and
           patblt['rgb'] == '1e140a', 'FillRect ' + patblt['line'])
    expect(near(patblt['target'], box(100, 1600, 600, 1800)), 'FillRect target ' + patblt['target'])
    # Hatched brush: no solid colour, realized by the driver on request.
    expect(hatch['brush'] == 'ffffffff' and hatch['rbrush'] == '1' and hatch['rgb'] == 'c8', 'hatch ' + hatch['line'])
    expect(any(c['line'] == 'RealizeBrush hatch=4 size=8x8' for c in calls), 'no DrvRealizeBrush for the hatch')
    # Winding star, the application's own path, the wide dashed pen.
    expect(star['mode'] == '2' and star['path'].count('L') == 4, 'star ' + star['line'])
    expect(bracket['path'].endswith('Z;') and bracket['fillbrush'] == 'c8c8' and bracket['linefl'] == '0',
           'path bracket ' + bracket['line'])
    expect(wide['linefl'] in ('1', '9') and wide['width'] == '20' and wide['path'].count('L') == 3, 'wide pen ' + wide['line'])
    expect(calls[0]['line'] == 'EnablePDEV image=0', 'document content by default: ' + calls[0]['line'])

def check_none(calls):
    expect(not drawing(calls), 'drawing calls without hooks: %s' % [c['call'] for c in drawing(calls)])
    expect(any(c['line'] == 'EnableSurface hooks=0' for c in calls), 'hooks not 0')

def check_fills(calls):
    names = sorted(set(c['call'] for c in drawing(calls)))
    expect(names == ['FillPath'], 'calls with fills alone hooked: %s' % names)
    expect(len(drawing(calls)) == 5, 'fill calls: %d' % len(drawing(calls)))
    expect(calls[0]['line'] == 'EnablePDEV image=1', '--image not in the private settings: ' + calls[0]['line'])

def glyph_ids(path, chars):
    """The glyph ids of chars in the font file (for a collection: in each of its faces)."""
    from fontTools.ttLib import TTCollection, TTFont
    with open(path, 'rb') as f:
        collection = f.read(4) == b'ttcf'
    faces = TTCollection(path).fonts if collection else [TTFont(path)]
    answers = []
    for face in faces:
        cmap = face.getBestCmap()
        answers.append([face.getGlyphID(cmap[ord(c)]) if ord(c) in cmap else 0 for c in chars])
    return collection, answers

def check_text(calls):
    texts = [c for c in calls if c['call'] == 'TextOut']
    strings = [''.join(chr(int(h, 16)) for h in t['chars'].split(',') if h) for t in texts]
    expect(strings == ['Hello, world', 'Opaque text', 'Up', 'Clipped text here', 'Bold Italic', '\u6c49\u5b57',
                       'Private', 'Bold'], 'strings %s' % strings)
    if len(texts) != 8:
        return
    for t, s in zip(texts, strings):
        handles = [int(g.split('@')[0]) for g in t['glyphs'].split(';') if g]
        points = [tuple(int(v) for v in g.split('@')[1].split(',')) for g in t['glyphs'].split(';') if g]
        expect(len(handles) == len(s), 'one glyph a character: ' + t['line'])
        collection, answers = glyph_ids(t['file'], s)
        expect(handles in answers, '%r: glyph handles %s, the cmap says %s' % (s, handles, answers[:2]))
        expect(int(t['outline']) > 0 and t['bits'] != '0', '%r: no outline or bitmap for its first glyph' % s)
        expect(collection == (s == '\u6c49\u5b57'), '%r: a collection is %s' % (s, collection))
        xs = [p[0] for p in points]
        if s != 'Up':
            expect(xs == sorted(xs) and len(set(p[1] for p in points)) == 1, '%r: not along the baseline %s' % (s, points))
    for t in texts:  # the first advance (28.36) leads from the first glyph to the second
        p = [tuple(int(v) for v in g.split('@')[1].split(',')) for g in t['glyphs'].split(';') if g]
        if len(p) > 1:
            expect(near(t['advance'], [p[1][0] - p[0][0], p[1][1] - p[0][1]], 1.01), 'advance ' + t['line'])
    hello, opaque, up, clipped, bold, cjk, private, sans_bold = texts
    # One FONTOBJ per realization, one face per font file.
    expect(hello['uniq'] == clipped['uniq'] and hello['face'] == clipped['face'] == up['face'], 'same font ' + up['line'])
    expect(hello['uniq'] != up['uniq'] and len({hello['face'], opaque['face'], bold['face'], cjk['face'], private['face'], sans_bold['face']}) == 6,
           'faces: %s' % [t['face'] for t in texts])
    expect(near(hello['glyphs'].split('@')[1].split(';')[0], [100 * SCALE, 100 * SCALE + 44], 3),
           'the first glyph of a TA_TOP text sits an ascent below its reference point: ' + hello['glyphs'])
    expect(hello['family'] == 'DejaVu_Sans' and hello['fonttype'] == '4' and 'opaque' not in hello, hello['line'])
    xx = float(hello['fontxform'].split(',')[0])
    expect(abs(xx * 2048 - 80 * SCALE) < 1, 'an em of 8 mm: ' + hello['fontxform'])
    expect(opaque.get('opaque') == opaque['background'] and opaque['backbrush'] == 'ffff00' and
           opaque['brush'] == 'a0', 'opaque text ' + opaque['line'])
    m11, m12, m21, m22 = (float(v) for v in up['fontxform'].split(','))
    ys = [int(g.split('@')[1].split(',')[1]) for g in up['glyphs'].split(';') if g]
    expect(abs(m11) < 1e-6 and m12 < 0 and m21 > 0 and ys == sorted(ys, reverse=True), 'rotated text ' + up['line'])
    expect(clipped['clip'] == '1' and near(clipped['cliprects'].rstrip(';'), box(100, 900, 400, 1000)),
           'ETO_CLIPPED ' + clipped['line'])
    expect(int(bold['fonttype'], 16) & 0x6000 == 0x6000, 'simulated bold and italic ' + bold['line'])
    expect(int(cjk['fonttype'], 16) & 0x100004 == 0x100004, 'a CFF face of a collection ' + cjk['line'])
    expect(int(hello['fonttype'], 16) & 0x106000 == 0, 'nothing simulated in DejaVu Sans ' + hello['line'])
    expect(sans_bold['family'] == 'DejaVu_Sans' and sans_bold['weight'] == '700' and
           int(sans_bold['fonttype'], 16) & 0x2000 == 0, 'DejaVu Sans Bold, not simulated: ' + sans_bold['line'])
    expect(private['family'] == 'Quill_Test_Sans', 'the font loaded with --font: ' + private['line'])
    right = int(private['background'].split(',')[2])
    expect(abs(right - 2000 * SCALE) <= 2, 'TA_RIGHT ends the text at its reference point: ' + private['line'])

def check_images(calls):
    draws = drawing(calls)
    names = [c['call'] for c in draws]
    expect(names == ['StretchBlt', 'CopyBits', 'StretchBlt', 'StretchBltROP', 'AlphaBlend', 'TransparentBlt',
                     'GradientFill', 'GradientFill'], 'image calls in order: %s' % names)
    if len(draws) != 8:
        return
    photo, indexed, copy, invert, alpha, keyed, rect, triangle = draws
    # The photograph at its own size (40 x 30, 24 bits, BMF_24BPP) stretched onto its place.
    expect(photo['source'] == '40x30' and photo['format'] == '5' and photo['xlate'] == '1' and
           near(photo['target'], box(100, 100, 500, 400)), 'photograph ' + photo['line'])
    expect(photo['from'] == '0,0,40,30', 'photograph source rectangle ' + photo['line'])
    # The 8-bit image: its own pixels, its colour table through the XLATEOBJ (index 0 is red).
    expect(indexed['source'] == '16x16' and indexed['format'] == '3' and indexed['xlate'] == '2' and
           indexed['palette'] == '4' and indexed['first'] == 'ff0000', 'indexed image ' + indexed['line'])
    left, top, right, bottom = (int(v) for v in indexed['target'].split(','))
    expect(right - left == 16 and bottom - top == 16, 'SetDIBitsToDevice keeps the size: ' + indexed['target'])
    expect(copy['format'] == '6' and invert['rop4'] == '6666', 'memory DC blits ' + copy['line'] + ' / ' + invert['line'])
    expect(alpha['constant'] == '200' and alpha['format'] == '1' and near(alpha['target'], box(500, 600, 820, 920)),
           'AlphaBlend ' + alpha['line'])
    expect(keyed['key'] == 'ff00ff' and near(keyed['target'], box(900, 600, 1220, 920)), 'TransparentBlt ' + keyed['line'])
    if len(sys.argv) > 3:  # the page drawn: the keyed picture is there, its key colour let through
        data = open(sys.argv[3], 'rb').read()
        header, width, height = data.split(b'\n', 3)[:3], *map(int, data.split(b'\n', 3)[1].split())
        pixels = data.split(b'\n', 3)[3]
        left, top, right, bottom = (int(v) for v in keyed['target'].split(','))
        white = inked = magenta = 0
        for y in range(top + 2, bottom - 2):
            for x in range(left + 2, right - 2):
                r, g, b = pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]
                white += (r, g, b) == (255, 255, 255)
                magenta += (r, g, b) == (255, 0, 255)
                inked += (r, g, b) != (255, 255, 255)
        expect(inked > 1000 and white > 1000 and magenta == 0,
               'the colour-keyed picture: %d inked, %d white, %d in the key colour' % (inked, white, magenta))
    expect(rect['mode'] == '0' and rect['vertices'] == '2' and near(rect['bounds'], box(100, 1100, 600, 1300)),
           'rectangle gradient ' + rect['line'])
    expect(triangle['mode'] == '2' and triangle['vertices'] == '5' and near(triangle['bounds'], box(800, 1100, 1200, 1400)),
           'triangle gradient ' + triangle['line'])

kind, log = sys.argv[1], sys.argv[2]
calls = parse(log)
{'shapes': check_shapes, 'none': check_none, 'fills': check_fills, 'text': check_text, 'images': check_images}[kind](calls)
expect(any(c['call'] == 'SendPage' for c in calls), 'no page sent')
for p in problems:
    print('  ' + p)
sys.exit(1 if problems else 0)
