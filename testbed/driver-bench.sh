#!/usr/bin/env bash
# The printer driver's benchmark with its peer, in one run: driver_bench.exe prints the office
# report's pages through vtxdrv64.dll in both settings and through Wine's PostScript driver
# (wineps.drv with a Type 42 PPD on FILE:) into a PostScript file; then Ghostscript's ps2pdf
# makes the peer's PDF, timed here. The run needs Wine's own spooler, so it has a plain prefix of
# its own (build/bench-peer-prefix), made anew each time and ended afterwards.
#   driver-bench.sh [PAGES (30)]        QUILL_BUILD_DIR: the build folder (default build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${QUILL_BUILD_DIR:-$top/build}" && pwd)
pages=${1:-30}
# Wine's builtin spooler client, not the stand-in beside our programs.
export WINEDLLOVERRIDES="winspool.drv=b;winedbg.exe=d;mscoree,mshtml="
source "$top/testbed/wine-env.sh"
export WINEPREFIX="$build/bench-peer-prefix"
work="$build/bench-peer"
rm -rf "$WINEPREFIX" "$work" && mkdir -p "$WINEPREFIX" "$work"
trap 'wine_server -k >/dev/null 2>&1 || true' EXIT
wine_server -p </dev/null >/dev/null 2>&1 || true
wine wineboot -i </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
cp "$top/testbed/gdiplay/peer/peer.ppd" "$work/"

wine "$build/x64/bin/driver_bench.exe" "$pages" --peer "$(winpath "$work/peer.ps")" "$(winpath "$work/peer.ppd")" \
  </dev/null 2>"$work/driver_bench.err" | tr -d '\r' | tee "$work/driver_bench.txt"
code=${PIPESTATUS[0]}
[ "$code" = 0 ] || { cat "$work/driver_bench.err" >&2; exit 1; }
[ -s "$work/peer.ps" ] || { echo "driver-bench.sh: no PostScript from the peer" >&2; exit 1; }

start=$(date +%s.%N)
ps2pdf "$work/peer.ps" "$work/peer.pdf"
end=$(date +%s.%N)
ps_seconds=$(awk '/PostScript: seconds/ {gsub(/\)/, "", $NF); print $NF}' "$work/driver_bench.txt")
bytes=$(stat -c %s "$work/peer.pdf")
awk -v n="$pages" -v ps="$ps_seconds" -v gs="$start" -v ge="$end" -v b="$bytes" 'BEGIN { gs = ge - gs
  printf "%-22s %12.2f %14.0f %8.2f MiB  (PostScript %.2f s + ps2pdf %.2f s)\n", "peer, wineps + ps2pdf", n / (ps + gs), b / n, b / 1048576, ps, gs }'
# The targets, from the figures above: a page of text and tables (with its share of the fonts
# written at the end) at most the peer's bytes per page and a twentieth of the same page as an
# image, the driver at least five times the image setting's pages per second.
awk -v peer="$bytes" -v n="$pages" '
  /^document content/ { doc_rate = $3; getline; doc_text = $1; doc_end = $(NF - 4) }
  /^each page an image/ { img_rate = $5; getline; img_text = $1 }
  END {
    text = doc_text + doc_end / n
    printf "targets: a text page %.0f bytes <= the peer%s %.0f: %s; <= a twentieth of its image %.0f: %s; ", text, "\047s",
      peer / n, (text <= peer / n) ? "yes" : "no", img_text / 20, (text <= img_text / 20) ? "yes" : "no"
    printf "%.2f pages/s >= five times the image setting%s %.2f: %s\n", doc_rate, "\047s", 5 * img_rate,
      (doc_rate >= 5 * img_rate) ? "yes" : "no" }' "$work/driver_bench.txt"
echo "peer PDF: $work/peer.pdf, $(pdfinfo "$work/peer.pdf" | awk '/^Pages:/ {print $2}') pages; its fonts:"
pdffonts "$work/peer.pdf" | sed 's/^/  /'
