#!/usr/bin/env bash
# Documents printed through vtxdrv64.dll and checked with tools that are not ours. emftool draws
# the test bed's documents as EMF (a ten-page office report with body text, ruled tables and a
# photograph on every third page; text in several faces and scripts, justified, opaque and
# rotated; a raster and a lying font; pens with dashes, caps and joins; clipped drawings;
# transparent images and gradients) and notes the text it draws; gdiplay prints them in one
# setting. Then:
#   qpdf --check                 the structure
#   pdftoppm and mutool draw     every page rendered by two renderers matches the same EMF played
#                                by Wine's GDI (emftool raster) within antialiasing
#   pdftotext                    every word drawn is in the document, in reading order on the
#                                report's pages (document content only)
#   pdffonts                     fonts embedded, as subsets, with Unicode maps (document content)
#   pdfimages -list              no page-sized image where none is needed, the photographs at
#                                their own size (document content); one image a page (as images)
#   mutool extract + fontTools   every embedded font program reads back whole
#   qpdf --qdf                   a grey job holds no RGB colour
#   document_checks_test.sh PREFIX BUILD_ROOT BIN_DIR WORK_DIR document|image|grey
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$1 build_root=$2 bin=$3 work=$4 setting=$5
python=/usr/bin/python3  # Debian's, with fontTools and numpy
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { bash "$here/../../../testbed/wine-run.sh" "$prefix" "$build_root" "$@"; }
emftool() { win "$bin/emftool.exe" "$@" 2>/dev/null || fail "emftool $*"; }
check() { $python "$here/check_document.py" "$@" || failures=$((failures + 1)); }

# The lying font, made from the metric-compatible family at test time.
liberation=/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf
$python "$here/make_lying_font.py" "$liberation" lying.ttf || fail "make_lying_font.py"
font=(--font lying.ttf)

# The pages, A4; their reference pictures at 150 dpi (1240 x 1754 pixels).
report=() others=()
for n in $(seq 1 10); do
  emftool --text "office-$n.txt" draw office 210 297 "$n" "office-$n.emf"
  report+=("office-$n.emf")
done
for kind in scripts layout bitmapfont lyingfont strokes clipping blending; do
  emftool "${font[@]}" --text "$kind.txt" draw "$kind" 210 297 1 "$kind.emf"
  others+=("$kind.emf")
done
for emf in "${report[@]}" "${others[@]}"; do emftool "${font[@]}" raster "$emf" 1240 1754 "${emf%.emf}.ppm"; done

flags=() grey=
case "$setting" in
  document) ;;
  image) flags=(--image) ;;
  grey) flags=(--gray) grey=gray ;;
  *) echo "unknown setting $setting"; exit 2 ;;
esac

print() {  # print PDF PAGES...
  local pdf=$1
  shift
  win "$bin/gdiplay.exe" --paper A4 --dpi 150 "${flags[@]}" "${font[@]}" --title "${pdf%.pdf}" --out "$pdf" "$@" ||
    fail "gdiplay $pdf ($setting): exit code $?"
  qpdf --check "$pdf" >"$pdf.qpdf.txt" 2>&1 || { tail -5 "$pdf.qpdf.txt"; fail "qpdf --check $pdf"; }
}

# compare PDF PAGE EMF: both renderers against GDI's picture of the EMF. Renderers resample and
# smooth thin strokes by up to a quarter of the range, hence 64 of 255; what is missing, extra or
# misplaced shows as a dense tile of mismatches (compare_antialiased.py).
compare() {
  local pdf=$1 page=$2 ref=${3%.emf}.ppm extension=ppm mode=() colorspace=rgb
  if [ -n "$grey" ]; then extension=pgm mode=(-gray) colorspace=gray; fi
  local poppler="$pdf-$page-poppler" mupdf="$pdf-$page-mupdf.$extension"
  pdftoppm -r 150 "${mode[@]}" -f "$page" -l "$page" -singlefile "$pdf" "$poppler" || fail "pdftoppm $pdf $page"
  mutool draw -q -r 150 -c "$colorspace" -o "$mupdf" "$pdf" "$page" 2>/dev/null || fail "mutool draw $pdf $page"
  local renderer result
  for renderer in "$poppler.$extension" "$mupdf"; do
    result=$($python "$here/compare_antialiased.py" "$renderer" "$ref" 0.995 64 "$renderer-diff.ppm") ||
      fail "$renderer differs from GDI's rendering of $3: $result"
    echo "$renderer: $result"
  done
}

print report.pdf "${report[@]}"
print others.pdf "${others[@]}"
for n in $(seq 1 10); do compare report.pdf "$n" "office-$n.emf"; done
page=0
for emf in "${others[@]}"; do page=$((page + 1)); compare others.pdf "$page" "$emf"; done

# Every embedded font program read back by fontTools.
for pdf in report.pdf others.pdf; do
  mkdir -p "fonts-$pdf" && (cd "fonts-$pdf" && mutool extract "../$pdf" >/dev/null 2>&1)
  check fontprograms "fonts-$pdf"
done

if [ "$setting" = image ]; then
  check image-pages report.pdf 10
  check image-pages others.pdf 7
else
  # The words drawn: on the report's pages in reading order, on the others all of them.
  for n in $(seq 1 10); do check text report.pdf "$n" "office-$n.txt" order; done
  page=0
  for emf in "${others[@]}"; do
    page=$((page + 1))
    [ "$emf" = bitmapfont.emf ] && continue  # Wine realises no raster font under a scaling transform
    check text others.pdf "$page" "${emf%.emf}.txt"
  done
  check fonts report.pdf
  check fonts others.pdf
  # Photographs at their own size (480 x 320) on pages 3, 6 and 9 of the report and through the
  # clip region (page 6 of the others); the blended pictures at 160 x 120 and 200 x 120.
  check images report.pdf 10 595.276 841.89 3:480x320 6:480x320 9:480x320
  check images others.pdf 7 595.276 841.89 6:480x320 7:160x120 7:200x120
fi
if [ -n "$grey" ]; then
  check grey report.pdf
  check grey others.pdf
fi

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed ($setting)"; exit 1; fi
echo "all checks passed ($setting)"
