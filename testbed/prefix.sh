#!/usr/bin/env bash
# The Wine prefix of a test run. It always lives inside the build folder.
#   prefix.sh fresh PREFIX BUILD_ROOT  - delete and make anew, run the set-up steps, start a persistent wineserver
#   prefix.sh ensure PREFIX BUILD_ROOT - make it only when it is not there yet
#   prefix.sh stop PREFIX              - end this prefix's wineserver (and every process of the prefix)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

cmd=${1:?command}
# Wine accepts only an absolute WINEPREFIX.
prefix=$(realpath -m "${2:?prefix}")
build_root=$(realpath -m "${3:-$(dirname "$prefix")}")
export WINEPREFIX="$prefix"

case "$prefix" in
  "$HOME"|"$HOME"/*) [ -n "${QUILL_ALLOW_HOME_PREFIX:-}" ] || { echo "prefix.sh: refusing a prefix in \$HOME: $prefix" >&2; exit 2; } ;;
esac

# A persistent server keeps services and the registry alive between program starts. Starting it
# when one already runs is a no-op.
start_server() {
  wine_server -p </dev/null >/dev/null 2>&1 || true
}

make_prefix() {
  rm -rf "$prefix"
  mkdir -p "$prefix"
  start_server
  # No network here: Mono and Gecko are not offered for download.
  WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1
  # Headless: windows work without a display through the null graphics driver.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  # Making the prefix can leave two service managers behind; services then start only now and
  # then (StartServiceW times out with 1053). A new server starts exactly one.
  wine_server -k >/dev/null 2>&1 || true
  wine_server -w >/dev/null 2>&1 || true
  start_server
  # Set-up steps of the parts of the test bed (spooler stand-in, staging of the product, ...).
  export QUILL_BUILD_ROOT="$build_root"
  for step in "$here"/prefix.d/*.sh; do
    [ -e "$step" ] || continue
    bash "$step" || { echo "prefix.sh: set-up step failed: $step" >&2; exit 1; }
  done
  # The first program that uses windows starts Wine's desktop process, which keeps that
  # program's output open; under ctest the test would then never end. Start it here instead.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  touch "$prefix/.quill-ready"
}

case "$cmd" in
  fresh)
    [ -d "$prefix" ] && wine_server -k >/dev/null 2>&1 || true
    make_prefix
    ;;
  ensure)
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -f "$prefix/.quill-ready" ]; then make_prefix; fi
    start_server
    ;;
  stop)
    [ -d "$prefix" ] && wine_server -k >/dev/null 2>&1 || true
    ;;
  *) echo "prefix.sh: unknown command $cmd" >&2; exit 2 ;;
esac
