// Where the programs a test runs lie: in the build's bin folder, beside the test itself.
#pragma once
#include <windows.h>

#include <string>

inline std::wstring Beside(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}
