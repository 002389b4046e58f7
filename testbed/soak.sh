#!/usr/bin/env bash
# The long soak of quilltray.exe: generated record streams against one running dispatcher, with
# the figures docs/benchmarks.md quotes (streams per second, handles, threads and working set after the
# warm-up and after the streams). Builds first; runs in the build's Wine prefix.
#   testbed/soak.sh [STREAMS (default 10000)] [SEED (default: the time)] [WRITERS (default 6)]
#   QUILL_BUILD_DIR  the build folder (default: build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
build=$(realpath -m "${QUILL_BUILD_DIR:-build}")
streams=${1:-10000}
seed=${2:-$(date +%s)}
writers=${3:-6}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j 2 >/dev/null
bash testbed/wine-run.sh "$build/wineprefix" "$build" "$build/x86/bin/quilltray_soak.exe" \
  --streams "$streams" --seed "$seed" --writers "$writers"
