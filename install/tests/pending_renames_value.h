// The Session Manager's "PendingFileRenameOperations" as tests prepare it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#define QUILL_SESSION_MANAGER_KEY L"SYSTEM\\CurrentControlSet\\Control\\Session Manager"
#define QUILL_PENDING_RENAMES L"PendingFileRenameOperations"

// Writes the units as they are, with one byte (0x78) more when oddByte is set.
inline bool WritePendingRenamesBytes(const std::wstring& units, bool oddByte) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, QUILL_SESSION_MANAGER_KEY, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  std::string bytes(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t));
  if (oddByte) bytes.push_back('x');
  // The type is not what the reader goes by; an odd size is stored as binary data.
  LONG status = RegSetValueExW(key, QUILL_PENDING_RENAMES, 0, oddByte ? REG_BINARY : REG_MULTI_SZ,
                               reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// A well-formed value: every string with its zero, then the final zero.
inline bool WritePendingRenames(const std::vector<std::wstring>& strings) {
  std::wstring units;
  for (const std::wstring& s : strings) units += s + L'\0';
  return WritePendingRenamesBytes(units + L'\0', false);
}

inline bool ClearPendingRenames() {
  LONG status = RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, QUILL_SESSION_MANAGER_KEY, QUILL_PENDING_RENAMES);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// The value's bytes, empty when there is none.
inline std::string ReadPendingRenamesBytes() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, QUILL_SESSION_MANAGER_KEY, QUILL_PENDING_RENAMES, RRF_RT_ANY, nullptr, nullptr, &size) !=
          ERROR_SUCCESS || size == 0)
    return std::string();
  std::string bytes(size, '\0');
  if (RegGetValueW(HKEY_LOCAL_MACHINE, QUILL_SESSION_MANAGER_KEY, QUILL_PENDING_RENAMES, RRF_RT_ANY | RRF_NOEXPAND, nullptr, &bytes[0],
                   &size) != ERROR_SUCCESS)
    return std::string();
  bytes.resize(size);
  return bytes;
}

// Starts with no value and puts back, at the end, what the machine had before.
struct PendingRenamesValueScope {
  std::string Saved;
  PendingRenamesValueScope() : Saved(ReadPendingRenamesBytes()) { ClearPendingRenames(); }
  ~PendingRenamesValueScope() {
    ClearPendingRenames();
    if (!Saved.empty()) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, QUILL_SESSION_MANAGER_KEY, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
      RegSetValueExW(key, QUILL_PENDING_RENAMES, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(Saved.data()),
                     static_cast<DWORD>(Saved.size()));
      RegCloseKey(key);
    }
  }
  PendingRenamesValueScope(const PendingRenamesValueScope&) = delete;
  PendingRenamesValueScope& operator=(const PendingRenamesValueScope&) = delete;
};
