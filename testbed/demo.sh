#!/usr/bin/env bash
# The main job on the Wine test bed: builds everything, makes a fresh prefix (spooler stand-in,
# product staged as installed), installs the product with its own installer, prints a document
# from an application through the spooler into the main application's stand-in, and uninstalls.
#   QUILL_BUILD_DIR  the build folder (default: build)
#   QUILL_JOBS       parallel build jobs (default: the number of processors)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash testbed/install-deps.sh
build=${QUILL_BUILD_DIR:-build}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j "${QUILL_JOBS:-$(nproc)}"
build=$(cd "$build" && pwd)
prefix="$build/wineprefix"
source testbed/wine-env.sh
export WINEPREFIX="$prefix"
trap 'bash "$top/testbed/prefix.sh" stop "$prefix"' EXIT

echo
echo "== A fresh Wine prefix in $prefix"
bash testbed/prefix.sh fresh "$prefix" "$build" 2>/dev/null
echo "The product is staged where it is installed: C:\\Program Files\\Corvell\\Quillstack"
product="$prefix/drive_c/Program Files/Corvell/Quillstack"
system32="$prefix/drive_c/windows/system32"
drivers="$system32/spool/drivers/x64/3"
temp=$(ls -d "$prefix"/drive_c/users/*/Temp | head -n 1)
# An application of the test bed, beside the spooler stand-in's winspool.drv like every program of ours.
printapp="$build/x64/bin/printapp.exe"

run() {  # run PROGRAM ARGS...: prints the exit code
  set +e
  timeout 300 "$QUILL_WINE" "$@" </dev/null >/dev/null 2>&1
  local code=$?
  set -e
  echo "$code"
}
indent() { sed 's/^/  /'; }
state() {
  wine "$printapp" state </dev/null 2>/dev/null | tr -d '\r' | indent
  local value
  value=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v QuillstackTray /reg:64 2>/dev/null |
    tr -d '\r' | awk '/QuillstackTray/ {sub(/.*REG_SZ[ \t]+/, ""); print}' || true)
  echo "  Run value \"QuillstackTray\": ${value:-none}"
  for file in "$system32/vtxmon64.dll" "$drivers/vtxdrv64.dll" "$drivers/vtxui64.dll" "$drivers/vtxhelp.chm" \
    "$product/quilltray.exe"; do
    local windows="C:${file#"$prefix/drive_c"}"
    if [ -f "$file" ]; then echo "  ${windows//\//\\}  ($(stat -c %s "$file") bytes)"; else echo "  ${windows//\//\\}  absent"; fi
  done
}

echo
echo "== The main application's stand-in"
viewer="$prefix/drive_c/Program Files/Corvell/Quillstack Viewer"
mkdir -p "$viewer"
cp -f "$build/x86/bin/mainapp.exe" "$viewer/"
rm -f "$viewer/mainapp-calls.txt"
wine reg add 'HKCU\Software\Corvell\Quillstack' /v FullPathExe /d 'C:\Program Files\Corvell\Quillstack Viewer\mainapp.exe' /f >/dev/null 2>&1
echo "HKCU\\Software\\Corvell\\Quillstack  FullPathExe = C:\\Program Files\\Corvell\\Quillstack Viewer\\mainapp.exe"
echo "(it records the command line it is started with in mainapp-calls.txt beside itself)"

echo
echo "== The signed-in user's desktop shell"
# Wine headless has none; an elevated installer starts the tray program with the shell's token,
# never with its own, so an application of the test bed plays Explorer's part until the demo ends.
mkdir -p "$build/demo"
rm -f "$build/demo/shell.txt"
exec {shell_input}> >(exec "$QUILL_WINE" "$printapp" shell >"$build/demo/shell.txt" 2>/dev/null)
for _ in $(seq 100); do grep -q shell "$build/demo/shell.txt" 2>/dev/null && break; sleep 0.1; done
if grep -q shell "$build/demo/shell.txt" 2>/dev/null; then
  echo "printapp.exe shell: a window of the user's made the desktop's shell window (SetShellWindow)"
else
  echo "printapp.exe shell: no shell window (the installer will leave the tray program to the Run value)"
fi

echo
echo "== Before the installer"
state

echo
echo "== install.exe install  (it starts the spooler service itself)"
echo "exit code $(run "$product/setup/install.exe" install)  (1: installed, no error logged; 100: errors logged; 101: a restart is needed)"
for _ in $(seq 50); do
  wine "$printapp" state </dev/null 2>/dev/null | grep -q 'quilltray running: process' && break
  sleep 0.2
done
state

echo
echo "== An application prints a document to \"Quillstack\""
sample="$build/demo/Quarterly report.txt"
mkdir -p "$(dirname "$sample")"
{
  printf 'Quarterly report\r\n\r\nRevenue rose by 4 %% against the last quarter.\r\n'
  printf 'Every byte value follows, to show that the printed bytes arrive unchanged:\r\n'
  for i in $(seq 0 255); do printf "\\$(printf %03o "$i")"; done
} >"$sample"
rm -f "$temp/Quarterly report.txt.Quillstack"
echo "printapp.exe print Quillstack \"Quarterly report.txt\" <a file of $(stat -c %s "$sample") bytes>"
echo "  (OpenPrinterW, StartDocPrinterW with the document name, WritePrinter, EndDocPrinter)"
set +e
wine "$printapp" print Quillstack "Quarterly report.txt" "Z:$(echo "$sample" | tr / '\\')" </dev/null 2>/dev/null |
  tr -d '\r' | indent
code=${PIPESTATUS[0]}
set -e
echo "  exit code $code"
for _ in $(seq 300); do [ -s "$viewer/mainapp-calls.txt" ] && break; sleep 0.1; done
echo "The spooler handed the job to the port monitor, the monitor to quilltray; in the user's temporary folder:"
windows_temp="C:${temp#"$prefix/drive_c"}"
for file in "$temp"/*.Quillstack; do
  if [ -f "$file" ]; then echo "  ${windows_temp//\//\\}\\$(basename "$file")  ($(stat -c %s "$file") bytes)"; fi
done
if cmp "$temp/Quarterly report.txt.Quillstack" "$sample"; then
  echo "  cmp: Quarterly report.txt.Quillstack holds exactly the bytes printed"
fi
echo "The main application was started as:"
if [ -s "$viewer/mainapp-calls.txt" ]; then
  tr -d '\r' <"$viewer/mainapp-calls.txt" | awk -F '\t' '{print "  " $1 "\n  (the file it was given: " $2 " bytes)"}'
else
  echo "  not at all (no mainapp-calls.txt)"
fi

echo
echo "== An application draws a two-page document and prints it through the driver to \"Quillstack\""
# gdiplay plays GDI's part (Wine's GDI cannot load a printer graphics DLL): it loads vtxdrv64.dll,
# draws each page with Wine's GDI into the driver's surface and sends the driver's bytes to the
# printer with the winspool calls, as GDI does for an application's StartDoc ... EndDoc.
gdiplay="$build/x64/bin/gdiplay.exe"
emftool="$build/x64/bin/emftool.exe"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
pages="$build/demo"
wine "$emftool" draw report 210 297 1 "$(winpath "$pages/page-1.emf")" </dev/null >/dev/null 2>&1
wine "$emftool" draw chart 210 297 2 "$(winpath "$pages/page-2.emf")" </dev/null >/dev/null 2>&1
rm -f "$temp/Sales review.Quillstack"
echo "gdiplay.exe --paper A4 --dpi 300 --title \"Sales review\" --printer Quillstack page-1.emf page-2.emf"
echo "  (DrvEnableDriver, DrvEnablePDEV, DrvEnableSurface, DrvStartDoc, per page DrvStartPage, drawing, DrvSendPage,"
echo "   then DrvEndDoc; the driver's bytes go out with StartDocPrinterW, WritePrinter, EndDocPrinter)"
echo "  exit code $(run "$gdiplay" --paper A4 --dpi 300 --title "Sales review" --printer Quillstack \
  "$(winpath "$pages/page-1.emf")" "$(winpath "$pages/page-2.emf")")  (0: the driver accepted every call)"
for _ in $(seq 300); do [ "$(wc -l <"$viewer/mainapp-calls.txt" 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.1; done
pdf="$temp/Sales review.Quillstack"
if [ -f "$pdf" ]; then
  echo "In the user's temporary folder: ${windows_temp//\//\\}\\Sales review.Quillstack  ($(stat -c %s "$pdf") bytes)"
  echo "pdfinfo of it:"
  pdfinfo "$pdf" | grep -E '^(Title|Producer|Pages|Page size|PDF version|File size)' | indent
  echo "The fonts it carries (pdffonts: embedded, subset, Unicode map):"
  pdffonts "$pdf" | indent
  echo "and the first lines of its first page as pdftotext reads them:"
  pdftotext -layout -f 1 -l 1 "$pdf" - | sed '/^[[:space:]]*$/d' | head -n 8 | indent
  png="$build/demo/sales-review-page-1"
  pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$pdf" "$png"
  echo "Its first page rendered by poppler: $png.png"
  echo "Its images (pdfimages -list: page, width x height in pixels, colour):"
  pdfimages -list "$pdf" | awk 'NR > 2 {print "page " $1 ": " $4 " x " $5 " " $6}' | sort | uniq -c | indent
else
  echo "  no Sales review.Quillstack arrived"
fi
echo "The main application was started as:"
tr -d '\r' <"$viewer/mainapp-calls.txt" 2>/dev/null | tail -n 1 | awk -F '\t' '{print "  " $1 "\n  (the file it was given: " $2 " bytes)"}'

echo
echo "== install.exe uninstall"
echo "exit code $(run "$product/setup/install.exe" uninstall)  (2: removed, no error logged; 100: errors logged; 101: a restart is needed)"
state
echo "(uninstall removes the tray program from the product folder as well)"
exec {shell_input}>&-  # the shell's input ends, and with it the shell
