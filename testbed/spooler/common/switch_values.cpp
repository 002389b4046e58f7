#include "switch_values.h"

#include "testbed_spooler_keys.h"

DWORD ReadSwitch(const wchar_t* name, DWORD fallback) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TESTBED_SWITCH_KEY, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return fallback;
  DWORD value = 0, size = sizeof(value), type = 0;
  LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) ? value : fallback;
}

bool WriteSwitch(const wchar_t* name, DWORD value) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, TESTBED_SWITCH_KEY, 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
  }
  SetLastError(status);
  return status == ERROR_SUCCESS;
}
