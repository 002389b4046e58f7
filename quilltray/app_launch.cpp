#include "quilltray/app_launch.h"

#include <wchar.h>

namespace {

// The product key with a trailing backslash (an empty sub-key name), as the installer writes it.
const char ProductKey[] = "Software\\Corvell\\Quillstack\\";

bool Append(WCHAR* text, size_t* length, const WCHAR* part) {
  size_t partLength = wcslen(part);
  if (*length + partLength + 1 > APP_COMMAND_LINE_UNITS) return false;
  wmemcpy(text + *length, part, partLength + 1);
  *length += partLength;
  return true;
}

}  // namespace

bool ReadApplicationPath(HKEY hive, WCHAR* buffer) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, ProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  WCHAR name[260] = {};
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "FullPathExe", -1, name, 260);
  bool found = false;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    // Read into a terminated copy: a value of the full 1040 bytes need not end in a zero.
    WCHAR value[APP_PATH_BYTES / sizeof(WCHAR) + 1] = {};
    size = APP_PATH_BYTES;
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    value[APP_PATH_BYTES / sizeof(WCHAR) - 1] = L'\0';
    wcscpy(buffer, value);
    found = true;
  }
  RegCloseKey(key);
  return found;
}

bool BuildApplicationCommandLine(const WCHAR* applicationPath, WORD flags, const WCHAR* file, WCHAR* commandLine) {
  size_t length = 0;
  commandLine[0] = L'\0';
  bool fits = Append(commandLine, &length, L"\"") && Append(commandLine, &length, applicationPath) && Append(commandLine, &length, L"\"");
  if (fits && (flags & 1)) fits = Append(commandLine, &length, L" /drv");
  if (fits && (flags & 2)) fits = Append(commandLine, &length, L" /silent");
  if (fits && file) fits = Append(commandLine, &length, L" \"") && Append(commandLine, &length, file) && Append(commandLine, &length, L"\"");
  // A cut-off line would name another program or another file.
  if (!fits) commandLine[0] = L'\0';
  return fits;
}

bool StartApplication(WORD flags, const WCHAR* file) {
  WCHAR path[APP_PATH_BYTES / sizeof(WCHAR)] = {};
  ReadApplicationPath(HKEY_CURRENT_USER, path);
  if (!path[0]) ReadApplicationPath(HKEY_LOCAL_MACHINE, path);
  WCHAR commandLine[APP_COMMAND_LINE_UNITS];
  if (!BuildApplicationCommandLine(path, flags, file, commandLine)) return SetLastError(ERROR_FILENAME_EXCED_RANGE), false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}
