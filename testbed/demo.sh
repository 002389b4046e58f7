#!/usr/bin/env bash
# The main job on the Wine test bed: builds everything, makes a fresh prefix (spooler stand-in,
# product staged as installed), runs the installer and prints one job through the dispatcher
# into the main application's stand-in.
#   QUILL_BUILD_DIR  the build folder (default: build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash testbed/install-deps.sh
build=${QUILL_BUILD_DIR:-build}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"
build=$(cd "$build" && pwd)
prefix="$build/wineprefix"
source testbed/wine-env.sh
export WINEPREFIX="$prefix"
trap 'bash "$top/testbed/prefix.sh" stop "$prefix"' EXIT

echo "== a fresh Wine prefix in $prefix"
bash testbed/prefix.sh fresh "$prefix" "$build" 2>/dev/null
product="$prefix/drive_c/Program Files/Corvell/Quillstack"

run() {  # run PROGRAM ARGS...: prints the exit code
  set +e
  wine "$@" </dev/null >/dev/null 2>&1
  local code=$?
  set -e
  echo "$code"
}
spooler_state() { wine sc query spooler 2>/dev/null | tr -d '\r' | awk '/STATE/ {print $4}'; }

echo "== the installer"
wine net stop spooler >/dev/null 2>&1 || true
echo "spooler before: $(spooler_state)"
echo "install.exe in_notray -> exit code $(run "$product/setup/install.exe" in_notray)  (1: finished, nothing logged as an error)"
echo "spooler after:  $(spooler_state)  (the set-up started it)"
echo "install.exe no-such-word -> exit code $(run "$product/setup/install.exe" no-such-word)  (6: not a command)"

echo "== a print job through quilltray"
viewer="$prefix/drive_c/Program Files/Corvell/Quillstack Viewer"
mkdir -p "$viewer"
cp -f "$build/x86/bin/mainapp.exe" "$viewer/"
rm -f "$viewer/mainapp-calls.txt"
wine reg add 'HKCU\Software\Corvell\Quillstack' /v FullPathExe /d 'C:\Program Files\Corvell\Quillstack Viewer\mainapp.exe' /f >/dev/null 2>&1
wine "$product/quilltray.exe" </dev/null >/dev/null 2>&1 &
echo "testbed_print.exe \"D:\\Docs\\report.txt\" README.md -> exit code $(run "$build/x86/bin/testbed_print.exe" 'D:\Docs\report.txt' 'Z:'"$(echo "$top/README.md" | tr / '\\')")"
for _ in $(seq 50); do [ -s "$viewer/mainapp-calls.txt" ] && break; sleep 0.1; done
temp=$(ls -d "$prefix"/drive_c/users/*/Temp | head -n 1)
echo "spool files in the user's temporary folder:"
(cd "$temp" && ls -l -- *.Quillstack | awk '{print "  " $5 " bytes  " $NF}')
cmp -s "$temp/report.txt.Quillstack" README.md && echo "  report.txt.Quillstack holds exactly the bytes printed"
echo "the main application was started as:"
tr -d '\r' < "$viewer/mainapp-calls.txt" | awk -F '\t' '{print "  " $1 "   (file of " $2 " bytes)"}'
