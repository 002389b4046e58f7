#!/usr/bin/env bash
# Runs any 64-bit Windows program against the spooler stand-in, in the test prefix:
#   bash testbed/spooler/run-against-standin.sh PROGRAM.exe [ARGS...]
# The program is copied into <build>/standin-run/, beside the stand-in's winspool.drv, so that
# Wine loads the stand-in for it (winspool.drv=n,b). The prefix is made when it is missing.
# Exit code: the program's.   QUILL_BUILD_DIR: the build folder (default: build).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
program=$(realpath "${1:?program}")
shift
build=$(realpath -m "${QUILL_BUILD_DIR:-$top/build}")
standin="$build/x64/bin/winspool.drv"
[ -f "$standin" ] || { echo "run-against-standin.sh: build first, no $standin" >&2; exit 2; }
run="$build/standin-run"
mkdir -p "$run"
cp -f "$standin" "$run/"
cp -f "$program" "$run/"
exec bash "$top/testbed/wine-run.sh" "$build/wineprefix" "$build" "$run/$(basename "$program")" "$@"
