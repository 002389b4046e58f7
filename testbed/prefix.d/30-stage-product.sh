#!/usr/bin/env bash
# Stages the product in the prefix as it is installed, so that tests run the programs from where
# users have them:
#   C:\Program Files\Corvell\Quillstack\quilltray.exe
#   C:\Program Files\Corvell\Quillstack\setup\install.exe, the component files beside it (the
#   64-bit set from the x64 tree, the 32-bit set from the i686 tree, the help file), and the
#   spooler stand-in's winspool.drv (64-bit, so only beside the 64-bit installer).
# Runs with WINEPREFIX and QUILL_BUILD_ROOT set (prefix.sh); can be run again after a rebuild.
# QUILL_STAGE_PRODUCT=standin-only stages the stand-in's winspool.drv alone, for a prefix where the
# Windows Installer package puts the product in place (package/tests/).
set -euo pipefail
product="$WINEPREFIX/drive_c/Program Files/Corvell/Quillstack"
mkdir -p "$product/setup"
x64="$QUILL_BUILD_ROOT/x64/bin"
if [ "${QUILL_STAGE_PRODUCT:-all}" = standin-only ]; then
  cp -f "$x64/winspool.drv" "$product/setup/"
  exit 0
fi
x86="$QUILL_BUILD_ROOT/x86/bin"
stage() {  # stage SOURCE TARGET_DIR: copies when the build has made the file
  if [ -f "$1" ]; then cp -f "$1" "$2/"; else echo "30-stage-product.sh: not built yet: $1" >&2; fi
}
stage "$x86/quilltray.exe" "$product"
stage "$x64/install.exe" "$product/setup"
for component in vtxmon64.dll vtxdrv64.dll vtxui64.dll vtxhelp.chm; do
  stage "$x64/$component" "$product/setup"
done
# The 32-bit modules come from the i686 tree; on a host that cannot run i386 programs that tree
# is build/x86-i686 and build/x86 holds an x86_64 build of the same sources.
x86_modules="$x86"
[ -d "$QUILL_BUILD_ROOT/x86-i686/bin" ] && x86_modules="$QUILL_BUILD_ROOT/x86-i686/bin"
for component in vtxmon32.dll vtxdrv32.dll vtxui32.dll; do
  stage "$x86_modules/$component" "$product/setup"
done
stage "$x64/winspool.drv" "$product/setup"
