# Sourced by the test-bed scripts: quiet Wine, and the wineserver that belongs to Debian's wine.
export WINEDEBUG="${WINEDEBUG:--all}"
# Wine's own dialogs (crash reports) would wait for a click that never comes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winedbg.exe=d}"
# Programs of ours load the spooler stand-in's winspool.drv from their own folder (native first);
# Wine's own programs, which have no such DLL beside them, keep Wine's builtin one.
case ";$WINEDLLOVERRIDES;" in
  *";winspool.drv="*) ;;
  *) export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winspool.drv=n,b" ;;
esac
wine_server() {
  if command -v wineserver >/dev/null 2>&1; then wineserver "$@"; else /usr/lib/wine/wineserver "$@"; fi
}
