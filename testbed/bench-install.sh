#!/usr/bin/env bash
# Times install.exe's sequences on the spooler stand-in in a fresh prefix of its own (the product
# staged in C:\Program Files\Corvell\Quillstack as users have it): "install" on a clean machine,
# "install" over an installation with two printers with key names, "uninstall"; with the spooler
# restarts of each.
#   bash testbed/bench-install.sh [rounds]      (default 5)
#   QUILL_BUILD_DIR  the build folder (default: build)
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
build=$(realpath -m "${QUILL_BUILD_DIR:-build}")
cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
prefix="$build/bench-prefix"
bash testbed/prefix.sh fresh "$prefix" "$build"
status=0
bash testbed/wine-run.sh "$prefix" "$build" "$build/x64/bin/install_bench.exe" "$@" || status=$?
bash testbed/prefix.sh stop "$prefix"
exit $status
