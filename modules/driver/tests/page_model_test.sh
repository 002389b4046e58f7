#!/usr/bin/env bash
# The page model's documents (page_model_tests, PageDocuments: fills, clips, images of their own
# size, per-pixel alpha, patches of a pattern, of unhooked ink and of text) checked with tools that
# are not ours: qpdf's structure check, pdfimages' list of images, and the pages rendered by
# poppler and by MuPDF held against the page the test's engine drew, within antialiasing.
#   page_model_test.sh PREFIX BUILD_ROOT BIN_DIR WORK_DIR
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$1 build_root=$2 bin=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

QUILL_PAGE_MODEL_OUT="Z:$(pwd | tr / '\\')" bash "$here/../../../testbed/wine-run.sh" "$prefix" "$build_root" \
  "$bin/page_model_tests.exe" --gtest_filter='PageDocuments.*' --gtest_color=no >gtest.txt 2>&1 ||
  { cat gtest.txt; fail "page_model_tests wrote no documents"; }

for kind in colour grey; do
  pdf=page-model-$kind.pdf
  [ -s "$pdf" ] || { fail "$pdf missing"; continue; }
  qpdf --check "$pdf" >qpdf.txt 2>&1 || { cat qpdf.txt; fail "qpdf --check $pdf"; }
  # Images: the bitmaps at their own sizes, masks of the alpha image, patches; none of the page's size.
  pdfimages -list "$pdf" | awk 'NR > 2 {print $3, $4, $5, $6}' >images.txt
  grep -q '^image 160 100 ' images.txt || fail "$pdf: the 160 x 100 photograph is not an image of its own size"
  grep -q '^image 60 40 ' images.txt || fail "$pdf: the 60 x 40 logo is not an image of its own size"
  grep -q '^smask 64 32 ' images.txt || fail "$pdf: the alpha image has no soft mask of its size"
  grep -q '^image 600 400 ' images.txt && fail "$pdf: a page-sized image"
  if [ "$kind" = grey ]; then
    awk '$4 != "gray" {bad = 1} END {exit bad}' images.txt || fail "$pdf: an image that is not grey: $(cat images.txt)"
    mode=(-gray) extension=pgm
  else
    grep -q ' rgb$' images.txt || fail "$pdf: no colour image"
    mode=() extension=ppm
  fi
  pdftoppm "${mode[@]}" -r 150 -singlefile "$pdf" poppler-$kind || fail "pdftoppm $pdf"
  mutool draw -q -r 150 -o mupdf-$kind.$extension "$pdf" 1 2>mutool.txt || { cat mutool.txt; fail "mutool draw $pdf"; }
  for rendered in poppler-$kind.$extension mupdf-$kind.$extension; do
    [ -s "$rendered" ] || continue
    /usr/bin/python3 "$here/compare_antialiased.py" "$rendered" page-model-$kind.ppm 0.995 ||
      fail "$rendered differs from the page the engine drew"
  done
done

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
