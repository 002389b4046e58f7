# Sourced by the test-bed scripts: quiet Wine, and the wineserver that belongs to Debian's wine.
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine's own dialogs (crash reports) would wait for a click that never comes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winedbg.exe=d}"
wine_server() {
  if command -v wineserver >/dev/null 2>&1; then wineserver "$@"; else /usr/lib/wine/wineserver "$@"; fi
}
