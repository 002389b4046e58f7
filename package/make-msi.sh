#!/usr/bin/env bash
# Builds the package from the build trees' files:
#   make-msi.sh BUILD_ROOT VERSION OUTPUT.msi ACTIONS.dll
# The 64-bit files come from BUILD_ROOT/x64/bin; quilltray.exe and the 32-bit modules from the
# tree that holds the real i686 build (BUILD_ROOT/x86-i686 where the host cannot run i386
# programs and BUILD_ROOT/x86 is an x86_64 build, else BUILD_ROOT/x86).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build_root=${1:?build root}
version=${2:?version}
output=${3:?output}
actions=${4:?custom-action DLL}
x64="$build_root/x64/bin"
x86="$build_root/x86/bin"
[ -d "$build_root/x86-i686/bin" ] && x86="$build_root/x86-i686/bin"
for file in "$x64"/{install.exe,vtxmon64.dll,vtxdrv64.dll,vtxui64.dll,vtxhelp.chm} "$x86"/{quilltray.exe,vtxmon32.dll,vtxdrv32.dll,vtxui32.dll} "$actions"; do
  [ -f "$file" ] || { echo "make-msi.sh: not built yet: $file" >&2; exit 1; }
done
# A 64-bit quilltray.exe would be a wrong package: the tray program is the 32-bit one.
if ! x86_64-w64-mingw32-objdump -f "$x86/quilltray.exe" | grep -q 'file format pei-i386'; then
  echo "make-msi.sh: $x86/quilltray.exe is not a 32-bit program" >&2; exit 1
fi
# wixl finds sources only by relative paths: the files are gathered in a folder of their own.
output=$(realpath -m "$output")
stage="$output.files"
rm -rf "$stage"
mkdir -p "$stage/setup32" "$stage/setup" "$stage/tray"
cp -f "$x64"/{install.exe,vtxmon64.dll,vtxdrv64.dll,vtxui64.dll,vtxhelp.chm} "$stage/setup/"
cp -f "$x86"/{vtxmon32.dll,vtxdrv32.dll,vtxui32.dll} "$stage/setup32/"
cp -f "$x86/quilltray.exe" "$stage/tray/"
cp -f "$actions" "$stage/quillstack_actions.dll"
cp -f "$here/../quilltray/res/icon107.ico" "$stage/quillstack.ico"
cp -f "$here/quillstack.wxs" "$stage/"
cd "$stage"
# wixl warns that it ignores the Package's Platform attribute (-a x64 is what counts).
wixl -a x64 -o "$output.tmp" -D Version="$version" -D SetupDir=setup -D Setup32Dir=setup32 -D TrayDir=tray \
  -D ActionsDll=quillstack_actions.dll -D IconFile=quillstack.ico quillstack.wxs 2>wixl.err || { cat wixl.err >&2; exit 1; }
grep -v "has no property named 'Platform'" wixl.err | grep -v '^$' >&2 || true
# What wixl 0.101 cannot say: a rollback action (it knows no Execute="rollback"), and an immediate
# action without the no-impersonation bit it adds. Types: 1 DLL in the Binary table, 64 result
# ignored, 256 rollback, 1024 in the script (deferred), 2048 no impersonation.
msibuild "$output.tmp" -q "UPDATE \`CustomAction\` SET \`Type\` = 3393 WHERE \`Action\` = 'RollbackInstall'"
msibuild "$output.tmp" -q "UPDATE \`CustomAction\` SET \`Type\` = 65 WHERE \`Action\` = 'AskForRestart'"
msibuild "$output.tmp" -q "UPDATE \`CustomAction\` SET \`Type\` = 51 WHERE \`Type\` = 2099"
mv -f "$output.tmp" "$output"
