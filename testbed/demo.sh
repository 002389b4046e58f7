#!/usr/bin/env bash
# The main job on the Wine test bed: builds everything, makes a prefix and runs the installer.
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
trap 'bash testbed/prefix.sh stop "$prefix"' EXIT
echo "== making a fresh Wine prefix in $prefix"
bash testbed/prefix.sh fresh "$prefix" "$build"
echo "== install.exe with an unknown word"
set +e
wine "$build/x64/bin/install.exe" no-such-word
code=$?
set -e
echo "install.exe exit code: $code"
