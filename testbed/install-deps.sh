#!/usr/bin/env bash
# Installs the toolchain and the Wine test bed from Debian's packages.
# Idempotent: when everything is already there it returns at once, without the network.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd cmake || need+=(cmake)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
have_cmd i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
have_pkg wine || need+=(wine)
have_pkg wine64 || need+=(wine64)
have_pkg wine32:i386 || need+=(wine32:i386)
have_cmd Xvfb || need+=(xvfb)
have_cmd xauth || need+=(xauth)
have_cmd python3 || need+=(python3)
have_cmd chmcmd || need+=(fp-utils)
[ -f /usr/x86_64-w64-mingw32/lib/libz.a ] || need+=(libz-mingw-w64-dev)
have_cmd pdfinfo || need+=(poppler-utils)
have_cmd qpdf || need+=(qpdf)
have_cmd import || need+=(imagemagick)  # screenshots of the driver's pages (testbed/ui-screenshots.sh)
# The driver's documents and its font library's tests: fonts the sample pages draw with and the
# font library subsets (metric-compatible TrueType; CFF outlines in TrueType collections; Wine's
# own faces, its raster .fon fonts among them), a second renderer, fontTools to read the fonts
# back, numpy for page comparisons within antialiasing, and the PostScript peer's converter.
[ -f /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf ] || need+=(fonts-liberation2)
[ -f /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf ] || need+=(fonts-dejavu-core)
[ -f /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc ] || need+=(fonts-noto-cjk)
have_pkg fonts-wine || need+=(fonts-wine)
have_cmd mutool || need+=(mupdf-tools)
/usr/bin/python3 -c 'import fontTools' 2>/dev/null || need+=(python3-fonttools)
/usr/bin/python3 -c 'import numpy' 2>/dev/null || need+=(python3-numpy)
have_cmd ps2pdf || need+=(ghostscript)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
