#!/usr/bin/env bash
# A service that depends on the spooler ("QuillSpoolerDependent", demand start, stopped), so that
# tests can stop and start the spooler with a running dependent. Runs with WINEPREFIX and
# QUILL_BUILD_ROOT set (prefix.sh); after 20-spooler.sh, whose "Spooler" it depends on.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/wine-env.sh"
service="$QUILL_BUILD_ROOT/x64/bin/quilldepsvc.exe"
if [ ! -f "$service" ]; then
  echo "25-dependent-service.sh: $service is not built; the prefix has no dependent service" >&2
  exit 0
fi
wine "$service" register </dev/null
