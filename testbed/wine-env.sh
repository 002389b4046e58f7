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
# Some Linux hosts (kernels without 32-bit compatibility) cannot run i386 programs, and with them
# not Debian's 32-bit Wine loader that /usr/bin/wine prefers. There the 64-bit loader runs every
# program of ours: the test bed then builds the tray program's tree for x86_64 as well
# (CMakeLists.txt, QUILL_HOST_RUNS_I386).
quill_host_runs_i386() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }
if [ -z "${QUILL_WINE:-}" ]; then
  if ! command -v wine >/dev/null 2>&1 || quill_host_runs_i386; then
    # The program's path, not its name: the function below is called wine too.
    QUILL_WINE=$(type -P wine || echo /usr/bin/wine)
  else
    QUILL_WINE=/usr/lib/wine/wine64
    export WINELOADER="${WINELOADER:-/usr/lib/wine/wine64}"
  fi
fi
export QUILL_WINE
wine() { "$QUILL_WINE" "$@"; }
export -f wine
