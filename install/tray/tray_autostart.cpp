#include "tray_autostart.h"

#include "tray_start.h"

namespace {

bool EndsWithSeparator(const WideBuffer& path) {
  UINT64 length = Length(path);
  if (length == 0) return false;
  WCHAR last = Text(path)[length - 1];
  return last == L'\\' || last == L'/';
}

bool IsVistaOrLater() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(&version)) return false;
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
}

}  // namespace

WideBuffer TrayProgramPath(const InstallContext& context) {
  WideBufferScope directory(Clone(context.ModuleDirectory));
  if (EndsWithSeparator(directory.Value)) SetLength(directory.Value, Length(directory.Value) - 1);
  WideBuffer path = DirectoryPart(directory.Value);
  if (Length(path) != 0 && !EndsWithSeparator(path)) AppendWide(path, L"\\");
  AppendWide(path, TrayProgramName);
  return path;
}

void InstallTrayAutostart(InstallContext& context) {
  if (context.InstallTray == 0 || !IsVistaOrLater()) return;
  WideBufferScope path(TrayProgramPath(context));
  // The same quoted text serves as the Run value and as the command line of the start below.
  WideBufferScope quoted;
  AppendWide(quoted.Value, L"\"");
  AppendWide(quoted.Value, Text(path.Value));
  AppendWide(quoted.Value, L"\"");
  if (Length(quoted.Value) != Length(path.Value) + 2) return;  // out of memory

  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TrayRunKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    DWORD bytes = static_cast<DWORD>((Length(quoted.Value) + 1) * sizeof(WCHAR));
    RegSetValueExW(key, TrayRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(Text(quoted.Value)), bytes);
    RegCloseKey(key);
  }

  // The tray program and every file it receives belong to the signed-in user, not to the
  // administrator the installer runs as.
  StartTrayProgram(context, MutableText(quoted.Value));
}
