#!/usr/bin/env bash
# Screenshots of the printer driver's property pages, as they look under Wine with a display:
#   testbed/ui-screenshots.sh [BUILD_ROOT] [OUTPUT_DIR]
# Makes (once) a prefix of its own in BUILD_ROOT/shots-prefix that draws on a virtual X display
# (Xvfb :91) instead of the test prefix's null graphics driver, shows Printing Preferences and the
# printer page with show_driver_page.exe from the x64 tree and saves them as
# OUTPUT_DIR/printing-preferences.png and OUTPUT_DIR/printer-page.png (default: docs/).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
build_root=$(realpath -m "${1:-$here/../build}")
out_dir=$(realpath -m "${2:-$here/../docs}")
bin="$build_root/x64/bin"
display=:91
export WINEPREFIX="$build_root/shots-prefix"
[ -f "$bin/show_driver_page.exe" ] || { echo "ui-screenshots.sh: build show_driver_page first" >&2; exit 1; }
mkdir -p "$out_dir"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  wine_server -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

if [ ! -f "$WINEPREFIX/.quill-shots" ]; then
  rm -rf "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1
  # The printer page shows where the main application is installed.
  wine reg add 'HKCU\Software\Corvell\Quillstack' /v FullPathExe \
    /d 'C:\Program Files\Corvell\Quillstack\Quillstack.exe' /f >/dev/null 2>&1
  touch "$WINEPREFIX/.quill-shots"
fi
wine_server -p >/dev/null 2>&1 || true

shoot() {  # shoot PAGE FILE
  (cd "$bin" && wine show_driver_page.exe "$1" 8 >/dev/null 2>&1) &
  local shower=$!
  sleep 5
  # The root window is black around the sheet (there is no window manager): trim it away.
  import -display "$display" -window root -trim +repage "$out_dir/$2"
  wait "$shower" || true
  echo "$out_dir/$2"
}
shoot document printing-preferences.png
shoot printer printer-page.png
