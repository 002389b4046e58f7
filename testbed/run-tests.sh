#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds both architectures, runs every test
# under Wine in a fresh prefix inside the build folder.
#   QUILL_BUILD_DIR  the build folder (default: build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash testbed/install-deps.sh
build=${QUILL_BUILD_DIR:-build}
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
