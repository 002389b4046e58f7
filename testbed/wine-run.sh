#!/usr/bin/env bash
# ctest's emulator: runs a Windows program under Wine in the test run's prefix.
#   wine-run.sh PREFIX BUILD_ROOT program.exe [args...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
export WINEPREFIX=$(realpath -m "${1:?prefix}")  # Wine wants an absolute prefix
build_root=$(realpath -m "${2:?build root}")
shift 2
[ -f "$WINEPREFIX/.quill-ready" ] || bash "$here/prefix.sh" ensure "$WINEPREFIX" "$build_root"
export QUILL_BUILD_ROOT="$build_root"
exec "$QUILL_WINE" "$@"
