#!/usr/bin/env bash
# The package's tables as Windows Installer reads them, checked with msitools (msidump, msiinfo,
# msiextract), not with our own code:   check-tables.sh PACKAGE.msi NEWER.msi
set -uo pipefail
msi=${1:?package}
newer=${2:?newer package}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect TABLE LINE: the dumped table has that row (tab-separated, as msidump writes it).
expect() {
  grep -qxF "$2" "$work/tables/$1.idt" || fail "$1 has no row: $(printf '%s' "$2" | tr '\t' '|')"
}
# sequence ACTION: the action's number in InstallExecuteSequence.
sequence() { awk -F'\t' -v a="$1" '$1 == a { print $3 }' "$work/tables/InstallExecuteSequence.idt"; }
before() {  # before A B: A comes before B
  local a b; a=$(sequence "$1"); b=$(sequence "$2")
  [ -n "$a" ] && [ -n "$b" ] && [ "$a" -lt "$b" ] || fail "$1 ($a) does not come before $2 ($b)"
}
property() { awk -F'\t' -v p="$2" '$1 == p { print $2 }' "$1/Property.idt" | tr -d '\r'; }

mkdir -p "$work/tables" "$work/newer" "$work/files"
msidump -t -d "$work/tables" "$msi" >/dev/null || { echo "FAIL: msidump cannot read $msi"; exit 1; }
msidump -t -d "$work/newer" "$newer" >/dev/null || { echo "FAIL: msidump cannot read $newer"; exit 1; }
for table in "$work"/tables/*.idt "$work"/newer/*.idt; do sed -i 's/\r$//' "$table"; done

# Per-machine, 64-bit, the product's names and a version carrying build 2436.
msiinfo suminfo "$msi" | grep -qx 'Template: x64;1033' || fail "summary template is not x64;1033"
expect Property $'ProductName\tQuillstack'
expect Property $'Manufacturer\tCorvell'
expect Property $'ALLUSERS\t1'
expect Property $'ARPPRODUCTICON\tquillstack.ico'
expect Property $'UpgradeCode\t{6F1A3C52-8D0B-4E47-9C1E-2B7D5A40C936}'
[[ "$(property "$work/tables" ProductVersion)" =~ ^[0-9]+\.[0-9]+\.2436$ ]] || fail "ProductVersion does not carry build 2436"
[ "$(property "$work/newer" UpgradeCode)" = "$(property "$work/tables" UpgradeCode)" ] || fail "the newer package has another upgrade code"
[ "$(property "$work/newer" ProductCode)" != "$(property "$work/tables" ProductCode)" ] || fail "both packages have one product code"
[ "$(printf '%s\n' "$(property "$work/tables" ProductVersion)" "$(property "$work/newer" ProductVersion)" | sort -V | tail -1)" \
  = "$(property "$work/newer" ProductVersion)" ] || fail "the newer package's version is not the higher one"
msiinfo streams "$msi" | grep -qx 'Icon.quillstack.ico' || fail "no icon stream"
msiinfo streams "$msi" | grep -qx 'Binary.QuillstackActions' || fail "no custom-action DLL"

# Files and their folders: [ProgramFiles64Folder]Corvell\Quillstack\ and its setup\ folder.
expect Directory $'CorvellFolder\tProgramFiles64Folder\tCorvell'
expect Directory $'INSTALLDIR\tCorvellFolder\tQuillstack'
expect Directory $'SETUPDIR\tINSTALLDIR\tsetup'
component_dir() { awk -F'\t' -v c="$1" '$1 == c { print $3 }' "$work/tables/Component.idt"; }
component_attributes() { awk -F'\t' -v c="$1" '$1 == c { print $4 }' "$work/tables/Component.idt"; }
check_file() {  # check_file NAME DIRECTORY
  local component
  component=$(awk -F'\t' -v f="$1" '$3 == f { print $2 }' "$work/tables/File.idt")
  [ -n "$component" ] || { fail "no file $1"; return; }
  [ "$(component_dir "$component")" = "$2" ] || fail "$1 is not in $2"
  [ "$(( $(component_attributes "$component") & 256 ))" -eq 256 ] || fail "$1's component is not 64-bit"
}
check_file quilltray.exe INSTALLDIR
for f in install.exe vtxmon64.dll vtxdrv64.dll vtxui64.dll vtxhelp.chm vtxmon32.dll vtxdrv32.dll vtxui32.dll; do check_file "$f" SETUPDIR; done
[ "$(tail -n +4 "$work/tables/File.idt" | wc -l)" -eq 9 ] || fail "the package holds other files than the nine"
# The files themselves, unpacked: the tray program is the 32-bit one, the installer 64-bit.
msiextract -C "$work/files" "$msi" >/dev/null || fail "msiextract cannot unpack $msi"
objdump_f() { x86_64-w64-mingw32-objdump -f "$work/files/Corvell/Quillstack/$1" 2>/dev/null | grep -o 'file format [a-z0-9-]*'; }
[ "$(objdump_f quilltray.exe)" = "file format pei-i386" ] || fail "quilltray.exe is not a 32-bit program"
[ "$(objdump_f setup/install.exe)" = "file format pei-x86-64" ] || fail "install.exe is not a 64-bit program"
[ "$(objdump_f setup/vtxmon32.dll)" = "file format pei-i386" ] || fail "vtxmon32.dll is not a 32-bit DLL"

# The custom actions: 1 DLL in the Binary table, 51 property setter, 64 result ignored,
# 256 rollback, 1024 deferred, 2048 no impersonation.
expect CustomAction $'InstallProduct\t3073\tQuillstackActions\tInstallProduct\t'
expect CustomAction $'UninstallProduct\t3073\tQuillstackActions\tUninstallProduct\t'
expect CustomAction $'RollbackInstall\t3393\tQuillstackActions\tRollbackInstall\t'
expect CustomAction $'AskForRestart\t65\tQuillstackActions\tAskForRestart\t'
expect CustomAction $'SetInstallProductData\t51\tInstallProduct\t[SETUPDIR]\t'
expect CustomAction $'SetFirstInstallProductData\t51\tInstallProduct\t[SETUPDIR]|undo\t'
expect CustomAction $'SetUninstallProductData\t51\tUninstallProduct\t[SETUPDIR]\t'
expect CustomAction $'SetRollbackInstallData\t51\tRollbackInstall\t[SETUPDIR]\t'
expect CustomAction $'SetInstallLocation\t51\tARPINSTALLLOCATION\t[INSTALLDIR]\t'
# ... their conditions and places.
condition() { awk -F'\t' -v a="$1" '$1 == a { print $2 }' "$work/tables/InstallExecuteSequence.idt"; }
[ "$(condition InstallProduct)" = 'NOT REMOVE~="ALL" AND (NOT Installed OR REINSTALL)' ] || fail "InstallProduct's condition: $(condition InstallProduct)"
[ "$(condition UninstallProduct)" = '?Installer=3 AND $Installer=2 AND NOT UPGRADINGPRODUCTCODE' ] || fail "UninstallProduct's condition: $(condition UninstallProduct)"
[ "$(condition SetUninstallProductData)" = "$(condition UninstallProduct)" ] || fail "UninstallProduct's data is set on another condition"
[ "$(condition SetInstallProductData)" = "$(condition InstallProduct)" ] || fail "InstallProduct's data is set on another condition"
[ "$(condition RollbackInstall)" = 'NOT Installed AND NOT OLDERFOUND' ] || fail "RollbackInstall's condition: $(condition RollbackInstall)"
[ "$(condition SetFirstInstallProductData)" = "$(condition RollbackInstall)" ] || fail "the undo mark is set on another condition"
before CostFinalize SetInstallProductData
before SetInstallProductData SetFirstInstallProductData
before SetFirstInstallProductData InstallInitialize
before UninstallProduct RemoveFiles
before InstallFiles RollbackInstall
before RollbackInstall InstallProduct
before InstallProduct InstallFinalize
before InstallFinalize AskForRestart
before AskForRestart RemoveExistingProducts
before FindRelatedProducts LaunchConditions

# A major upgrade of every older version; a newer one is detected only, and refuses this one.
expect Upgrade $'{6F1A3C52-8D0B-4E47-9C1E-2B7D5A40C936}\t0.0.0\t'"$(property "$work/tables" ProductVersion)"$'\t\t256\t\tOLDERFOUND'
expect Upgrade $'{6F1A3C52-8D0B-4E47-9C1E-2B7D5A40C936}\t'"$(property "$work/tables" ProductVersion)"$'\t\t\t2\t\tNEWERFOUND'
expect LaunchCondition $'NOT NEWERFOUND\tA newer version of Quillstack is already installed. Remove it first to install this version.'
grep -q 'OLDERFOUND' <<<"$(property "$work/tables" SecureCustomProperties)" || fail "OLDERFOUND is not a secure property"
# No dialogs of its own: msiexec's basic UI only.
[ ! -s "$work/tables/Dialog.idt" ] || fail "the package has dialogs"

[ "$failures" -eq 0 ] && echo "package tables: all checks passed" || { echo "$failures check(s) failed"; exit 1; }
