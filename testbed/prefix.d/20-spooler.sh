#!/usr/bin/env bash
# Spooler stand-in: our service takes the name "Spooler" in place of Wine's, stopped, with the
# state of a plain machine. Runs with WINEPREFIX and QUILL_BUILD_ROOT set (prefix.sh).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$here/wine-env.sh"
service="$QUILL_BUILD_ROOT/x64/bin/quillspoolsvc.exe"
if [ ! -f "$service" ]; then
  echo "20-spooler.sh: $service is not built; the prefix keeps Wine's spooler" >&2
  exit 0
fi
wine "$service" register </dev/null
# Wine's service manager keeps part of a service's old configuration in memory: a start right
# after ChangeServiceConfigW hangs until it times out. A new server reads the configuration anew.
wine_server -k >/dev/null 2>&1 || true
wine_server -w >/dev/null 2>&1 || true
wine_server -p </dev/null >/dev/null 2>&1 || true
# The first program of the new server starts Wine's own services (services.exe and friends),
# which keep that program's output open for good: start them here, with no output to hold.
wine sc query Spooler </dev/null >/dev/null 2>&1 || true
