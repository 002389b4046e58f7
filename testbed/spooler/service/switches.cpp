#include "switches.h"

#include <wchar.h>

#include "../common/testbed_spooler_keys.h"

DWORD ReadSwitch(const wchar_t* name, DWORD fallback) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TESTBED_SWITCH_KEY, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return fallback;
  DWORD value = 0, size = sizeof(value), type = 0;
  LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) ? value : fallback;
}

void WriteSwitch(const wchar_t* name, DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TESTBED_SWITCH_KEY, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(key);
}

DWORD TakeFault(const wchar_t* name, DWORD defaultError) {
  DWORD count = ReadSwitch(name, 0);
  if (count == 0) return 0;
  WriteSwitch(name, count - 1);
  wchar_t errorName[96];
  _snwprintf(errorName, 96, L"%sError", name);
  errorName[95] = 0;
  DWORD error = ReadSwitch(errorName, 0);
  return error != 0 ? error : defaultError;
}

DWORD DefaultFaultError(const wchar_t* name) {
  if (wcscmp(name, TESTBED_FAIL_DELETE_MONITOR) == 0) return ERROR_PRINT_MONITOR_IN_USE;
  if (wcscmp(name, TESTBED_FAIL_DELETE_DRIVER) == 0) return ERROR_PRINTER_DRIVER_IN_USE;
  if (wcscmp(name, TESTBED_FAIL_ENUM_PRINTERS) == 0) return ERROR_INSUFFICIENT_BUFFER;
  if (wcscmp(name, TESTBED_FAIL_ADD_PRINTER) == 0) return ERROR_NOT_ENOUGH_MEMORY;
  // AddMonitorW and AddPrinterDriverExW: the files are held by another process.
  return ERROR_SHARING_VIOLATION;
}
