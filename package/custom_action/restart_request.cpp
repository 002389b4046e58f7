#include "restart_request.h"

namespace {

const WCHAR ProductKey[] = L"SOFTWARE\\Corvell\\Quillstack";
const WCHAR MarkValue[] = L"PackageRestartNeeded";

}  // namespace

bool MarkRestartNeeded() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ProductKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  DWORD one = 1;
  bool ok = RegSetValueExW(key, MarkValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

void ClearRestartMark() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, MarkValue);
  RegCloseKey(key);
}

bool TakeRestartMark() {
  // Read and removed with separate rights: an immediate action of an install started without
  // elevation runs as the user, who may read the machine's key but not change it. The mark it
  // cannot remove is cleared by the next run's deferred action before it runs install.exe.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ProductKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return false;
  DWORD value = 0, bytes = sizeof(value), type = 0;
  bool marked = RegQueryValueExW(key, MarkValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) == ERROR_SUCCESS &&
                type == REG_DWORD && value != 0;
  RegCloseKey(key);
  if (marked) ClearRestartMark();
  return marked;
}
