#!/usr/bin/env bash
# gdiplay's calls into a driver that hooks its surface, checked with the recording driver's log:
# the PATHOBJ, CLIPOBJ, BRUSHOBJ and LINEATTRS each drawing record becomes, the hooks that decide
# which calls are made, the private settings --image asks for, and the page bitmap, which must be
# exactly what Wine's GDI draws for the same EMF (emftool raster) whatever is hooked.
#   gdiplay_calls_test.sh PREFIX BUILD_ROOT BIN_DIR WORK_DIR
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$1 build_root=$2 bin=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { bash "$here/../../wine-run.sh" "$prefix" "$build_root" "$@"; }
record() {  # record LOG [gdiplay options...] PAGE.emf: prints through the recording driver
  local log=$1
  shift
  win "$bin/gdiplay.exe" --paper A4 --dpi 150 --driver "$bin/recording_driver.dll" --out "$log" "$@" ||
    fail "gdiplay $*: exit code $?"
}
same_page() {  # same_page PPM: the driver's page against Wine's GDI
  cmp -s "$1" reference.ppm || fail "$1 is not the page Wine's GDI draws"
}

win "$bin/calls_pages.exe" shapes shapes.emf || fail "calls_pages shapes"
win "$bin/emftool.exe" raster shapes.emf 1240 1754 reference.ppm || fail "emftool raster"

# Everything hooked: each shape arrives as its call, and the Eng twins draw the page exactly.
record all.log shapes.emf
same_page page-1.ppm
python3 "$here/check_calls.py" shapes all.log || fail "the calls of the shapes page"

# Nothing hooked (the old driver): no drawing call, the same page.
QUILL_RECORDING_HOOKS=0 record none.log shapes.emf
same_page page-1.ppm
python3 "$here/check_calls.py" none none.log || fail "calls made without hooks"

# Fills alone hooked: only DrvFillPath arrives; the rest GDI draws itself, and the page is the same.
QUILL_RECORDING_HOOKS=40 record fills.log --image shapes.emf
same_page page-1.ppm
python3 "$here/check_calls.py" fills fills.log || fail "calls with HOOK_FILLPATH alone"

# A driver that does not pass DrvFillPath on: those shapes are missing from its bitmap, as GDI
# leaves them to the driver, and the records after them still draw.
QUILL_RECORDING_SKIP=FillPath record skip.log shapes.emf
cmp -s page-1.ppm reference.ppm && fail "the fills were drawn although the driver did not pass them on"
grep -c '^StrokePath' skip.log | grep -qx 3 || fail "skip.log: $(cat skip.log)"

# Text: DrvTextOut with glyph indices checked against each font's cmap (fontTools), a font loaded
# with --font only for this run, and the page as Wine's GDI draws it without hooks.
fonttools_python=/usr/bin/python3
"$fonttools_python" -c 'import fontTools' 2>/dev/null || fonttools_python=python3
"$fonttools_python" - <<'PY' || fail "making the private font"
from fontTools.ttLib import TTFont
font = TTFont('/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf')
for record in font['name'].names:
    if record.nameID in (1, 4, 16):
        record.string = 'Quill Test Sans'
    elif record.nameID == 6:
        record.string = 'QuillTestSans'
font.save('quill-test-sans.ttf')
PY
win "$bin/calls_pages.exe" text text.emf || fail "calls_pages text"
QUILL_RECORDING_HOOKS=0 record text-none.log --font quill-test-sans.ttf text.emf
mv page-1.ppm reference.ppm
record text.log --font quill-test-sans.ttf text.emf
same_page page-1.ppm
"$fonttools_python" "$here/check_calls.py" text text.log || fail "the calls of the text page"
win "$bin/gdiplay.exe" --font missing.ttf --out x.log text.emf 2>font.txt
code=$?
[ "$code" = 3 ] && grep -q 'cannot load the font missing.ttf' font.txt || fail "a missing font: exit code $code, $(cat font.txt)"

# Images: each blit record with its source bitmap and colours, exactly drawn by the Eng twins.
win "$bin/calls_pages.exe" images images.emf || fail "calls_pages images"
win "$bin/emftool.exe" raster images.emf 1240 1754 reference.ppm || fail "emftool raster images"
record images.log images.emf
same_page page-1.ppm
python3 "$here/check_calls.py" images images.log page-1.ppm || fail "the calls of the images page"

# The test bed's sample documents with everything hooked: drawing calls arrive, and each page is
# still exactly what Wine's GDI draws.
for kind in office scripts layout strokes clipping blending; do
  win "$bin/emftool.exe" draw $kind 210 297 1 sample-$kind.emf || fail "emftool draw $kind"
  win "$bin/emftool.exe" raster sample-$kind.emf 1240 1754 reference.ppm || fail "emftool raster $kind"
  record sample-$kind.log sample-$kind.emf
  same_page page-1.ppm
  calls=$(grep -c -E '^(StrokePath|FillPath|StrokeAndFillPath|LineTo|BitBlt|CopyBits|StretchBlt|AlphaBlend|TransparentBlt|GradientFill|TextOut) ' sample-$kind.log)
  [ "$calls" -gt 0 ] || fail "sample page $kind: no drawing calls"
done
# The strokes page writes its pens back as extended pens: a user style keeps its colour and its
# entries 60, 20, 10, 20, which Wine's GDI draws in device pixels: in world units over the page's
# scale of 0.5908 pixels a unit.
grep -q '^StrokePath .* brush=780078 .*linefl=9 .*style=101.556,33.852,16.926,33.852, xform=0.5908,0.5908 ' \
  sample-strokes.log || fail "the user-styled pen of the strokes page: $(grep 'brush=780078' sample-strokes.log)"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
