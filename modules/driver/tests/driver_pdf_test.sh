#!/usr/bin/env bash
# The driver's documents checked with Debian's tools, not with code of ours: gdiplay prints sample
# pages through vtxdrv64.dll; pdfinfo reads page count, page sizes, title and producer; qpdf checks
# the structure; pdfimages lists the images; pdftoppm renders pages back, which must match the same
# EMF played by Wine's GDI into a bitmap of the page's size (emftool raster) pixel for pixel in the
# page-as-image setting (--image), and within antialiasing (poppler and MuPDF) as document content.
#   driver_pdf_test.sh PREFIX BUILD_ROOT BIN_DIR WORK_DIR
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$1 build_root=$2 bin=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { bash "$here/../../../testbed/wine-run.sh" "$prefix" "$build_root" "$@"; }
gdiplay() { win "$bin/gdiplay.exe" "$@"; }
emftool() { win "$bin/emftool.exe" "$@" || fail "emftool $*"; }
expect() {  # expect FILE FIELD VALUE: one line of pdfinfo
  local got
  got=$(pdfinfo "$1" | sed -n "s/^$2: *//p" | head -n 1)
  [ "$got" = "$3" ] || fail "$1: $2 is '$got', expected '$3'"
}
page_size() {  # page_size FILE PAGE: "W x H pts" of that page
  pdfinfo -f "$2" -l "$2" "$1" | sed -n "s/^Page *$2 size: *\([0-9.]* x [0-9.]* pts\).*/\1/p"
}
matches() {  # matches FILE PAGE DPI EMF WIDTH HEIGHT [gray]: poppler's rendering against GDI's
  local mode=() extension=ppm tolerance=0 minimum=0.999
  if [ "${7:-}" = gray ]; then mode=(-gray); extension=pgm; tolerance=1; minimum=0.995; fi
  pdftoppm "${mode[@]}" -r "$3" -f "$2" -l "$2" -singlefile "$1" "rendered-$2" || fail "pdftoppm $1 $2"
  emftool raster "$4" "$5" "$6" "reference-$2.ppm"
  local result
  result=$(python3 "$here/compare_pages.py" "rendered-$2.$extension" "reference-$2.ppm" $minimum $tolerance) ||
    fail "$1 page $2 differs from GDI's rendering"
  echo "$1 page $2: $result"
}

emftool draw report 210 297 1 report-a4.emf
emftool draw chart 210 297 2 chart-a4.emf
emftool draw report 279 216 3 report-letter-landscape.emf
emftool draw blank 279 216 0 blank-letter-landscape.emf
emftool draw photo 148 210 4 photo-a5.emf
emftool draw chart 216 356 5 chart-legal.emf

# Colour, A4 at 150 dpi, two pages and a title outside ASCII.
gdiplay --image --paper A4 --dpi 150 --title "Quarterly report – Zürich.docx" --out colour.pdf report-a4.emf chart-a4.emf ||
  fail "gdiplay colour.pdf: exit code $?"
expect colour.pdf Pages 2
expect colour.pdf Title "Quarterly report – Zürich.docx"
expect colour.pdf Producer Quillstack
expect colour.pdf "Page size" "595.276 x 841.89 pts (A4)"
qpdf --check colour.pdf >qpdf.txt 2>&1 || { cat qpdf.txt; fail "qpdf --check colour.pdf"; }
pdfimages -list colour.pdf | awk 'NR > 2 {print $6, $7, $8}' | sort -u | grep -qx 'rgb 3 8' ||
  fail "colour.pdf: images are not 8-bit RGB: $(pdfimages -list colour.pdf)"
matches colour.pdf 1 150 report-a4.emf 1240 1754
matches colour.pdf 2 150 chart-a4.emf 1240 1754

# Grey, Letter landscape at 300 dpi, a blank page, two copies uncollated: 1 1 2 2. Each page
# keeps one image, shared by its copies, and the blank page has none.
gdiplay --image --paper Letter --landscape --dpi 300 --gray --copies 2 --uncollated --out grey.pdf \
  report-letter-landscape.emf blank-letter-landscape.emf || fail "gdiplay grey.pdf: exit code $?"
expect grey.pdf Pages 4
expect grey.pdf Title report-letter-landscape.emf
for page in 1 2 3 4; do
  [ "$(page_size grey.pdf $page)" = "792 x 612 pts" ] || fail "grey.pdf page $page: $(page_size grey.pdf $page)"
done
qpdf --check grey.pdf >qpdf.txt 2>&1 || { cat qpdf.txt; fail "qpdf --check grey.pdf"; }
images=$(pdfimages -list grey.pdf | awk 'NR > 2 {print $1, $6, $7, $8}')
[ "$(echo "$images" | awk '{print $1}' | tr '\n' ' ')" = "1 2 " ] || fail "grey.pdf: images on pages: $images"
echo "$images" | awk '{print $2, $3, $4}' | sort -u | grep -qx 'gray 1 8' || fail "grey.pdf: not 8-bit grey: $images"
matches grey.pdf 2 300 report-letter-landscape.emf 3300 2550 gray
# The blank page renders all white.
pdftoppm -gray -r 50 -f 3 -l 3 -singlefile grey.pdf blank && python3 - blank.pgm <<'PY' || fail "grey.pdf page 3 is not white"
import sys
data = open(sys.argv[1], 'rb').read()
sys.exit(0 if set(data[-1000:]) == {255} and data.count(b'\xff') > 0.9 * len(data) else 1)
PY

# Collated copies of two pages: 1 2 1 2 1 2, and the other papers.
gdiplay --paper A5 --dpi 600 --copies 3 --out copies.pdf photo-a5.emf chart-a4.emf || fail "gdiplay copies.pdf: exit code $?"
expect copies.pdf Pages 6
qpdf --check copies.pdf >qpdf.txt 2>&1 || { cat qpdf.txt; fail "qpdf --check copies.pdf"; }
pdftoppm -r 20 -png copies.pdf copy || fail "pdftoppm copies.pdf"
for pair in "1 3" "1 5" "2 4" "2 6"; do
  set -- $pair
  cmp -s "copy-$1.png" "copy-$2.png" || fail "copies.pdf: page $2 is not a copy of page $1"
done
cmp -s copy-1.png copy-2.png && fail "copies.pdf: pages 1 and 2 are the same"
[ "$(page_size copies.pdf 1)" = "419.528 x 595.276 pts" ] || fail "A5: $(page_size copies.pdf 1)"
gdiplay --image --paper Legal --dpi 150 --out legal.pdf chart-legal.emf || fail "gdiplay legal.pdf: exit code $?"
expect legal.pdf "Page size" "612 x 1008 pts"
matches legal.pdf 1 150 chart-legal.emf 1275 2100
gdiplay --paper A3 --landscape --dpi 150 --out a3.pdf chart-legal.emf || fail "gdiplay a3.pdf: exit code $?"
[ "$(page_size a3.pdf 1)" = "1190.55 x 841.89 pts" ] || fail "A3 landscape: $(page_size a3.pdf 1)"

# A job without pages (StartDoc and EndDoc alone, three copies asked): a document every reader
# opens, one blank page of the job's paper.
gdiplay --paper A4 --dpi 300 --copies 3 --title "Empty selection" --out empty.pdf || fail "gdiplay empty.pdf: exit code $?"
expect empty.pdf Pages 1
expect empty.pdf "Page size" "595.276 x 841.89 pts (A4)"
qpdf --check empty.pdf >qpdf.txt 2>&1 || { cat qpdf.txt; fail "qpdf --check empty.pdf"; }
pdftoppm -gray -r 20 -singlefile empty.pdf empty || fail "pdftoppm refuses empty.pdf: exit code $?"
[ -z "$(pdfimages -list empty.pdf | awk 'NR > 2')" ] || fail "empty.pdf has an image"

# Document content, the default: the same pages as paths, fills and text. Each page within
# antialiasing of GDI's by poppler and by MuPDF; the chart carries no page-sized image and is less
# than half its picture; a grey document has no colour anywhere, in its content or its images.
near() {  # near FILE PAGE EMF [gray]: poppler's and MuPDF's renderings at 150 dpi against GDI's
  local mode=() extension=ppm
  if [ "${4:-}" = gray ]; then mode=(-gray); extension=pgm; fi
  emftool raster "$3" 1240 1754 "near-reference-$2.ppm"
  pdftoppm "${mode[@]}" -r 150 -f "$2" -l "$2" -singlefile "$1" "near-poppler-$2" || fail "pdftoppm $1 $2"
  mutool draw -q -r 150 -o "near-mupdf-$2.$extension" "$1" "$2" 2>/dev/null || fail "mutool draw $1 $2"
  for rendered in "near-poppler-$2.$extension" "near-mupdf-$2.$extension"; do
    /usr/bin/python3 "$here/compare_antialiased.py" "$rendered" "near-reference-$2.ppm" 0.99 >near.txt ||
      fail "$1 page $2 ($rendered): $(cat near.txt)"
    echo "$1 page $2 ($rendered): $(cat near.txt)"
  done
}
gdiplay --paper A4 --dpi 150 --out content.pdf chart-a4.emf report-a4.emf || fail "gdiplay content.pdf: exit code $?"
qpdf --check content.pdf >qpdf.txt 2>&1 || { cat qpdf.txt; fail "qpdf --check content.pdf"; }
pdfimages -list -f 1 -l 1 content.pdf | awk 'NR > 2 && $4 >= 1200 && $5 >= 1700' | grep -q . &&
  fail "content.pdf: the chart has a page-sized image"
near content.pdf 1 chart-a4.emf
near content.pdf 2 report-a4.emf
gdiplay --image --paper A4 --dpi 150 --out chart-picture.pdf chart-a4.emf || fail "gdiplay chart-picture.pdf"
gdiplay --paper A4 --dpi 150 --out chart-content.pdf chart-a4.emf || fail "gdiplay chart-content.pdf"
picture=$(stat -c %s chart-picture.pdf) content=$(stat -c %s chart-content.pdf)
[ "$content" -lt $((picture / 2)) ] || fail "the chart as content ($content bytes) is not half of its picture ($picture)"
echo "chart: $content bytes as content, $picture as a picture"
gdiplay --paper A4 --dpi 150 --gray --out content-grey.pdf chart-a4.emf report-a4.emf || fail "gdiplay content-grey.pdf"
qpdf --qdf --object-streams=disable content-grey.pdf content-grey-qdf.pdf 2>/dev/null
grep -a -q -E '(^| )(rg|RG|sc|scn|SC|SCN)$|/DeviceRGB' content-grey-qdf.pdf && fail "content-grey.pdf says a colour"
pdfimages -list content-grey.pdf | awk 'NR > 2 && $6 != "gray" {bad = 1} END {exit bad}' ||
  fail "content-grey.pdf: an image that is not grey"
near content-grey.pdf 1 chart-a4.emf gray

# Bytes that cannot be written fail the driver's call and gdiplay's exit code.
gdiplay --paper A4 --dpi 150 --out 'Z:\dev\full' report-a4.emf 2>full.txt
code=$?
[ "$code" = 1 ] || fail "a full disk: exit code $code, expected 1"
grep -q 'DrvSendPage failed\|DrvEndDoc failed' full.txt || fail "a full disk: $(cat full.txt)"
# Bad command lines and missing pages.
gdiplay --paper B5 --out x.pdf report-a4.emf 2>/dev/null; [ $? = 2 ] || fail "--paper B5 accepted"
gdiplay --out x.pdf missing.emf 2>/dev/null; [ $? = 3 ] || fail "a missing page accepted"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
