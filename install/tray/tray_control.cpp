#include "tray_control.h"

#include "shared/quillstack_ids.h"
#include "tray_autostart.h"
#include "../util/path_parts.h"

namespace {

// Posts the one exit request and waits until the process that owns the window has ended, at most
// TrayExitWaitMs. The tray program's mutex is never owned, so waiting on it would return at once.
void EndTrayProgram(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = processId != 0 ? OpenProcess(SYNCHRONIZE, FALSE, processId) : nullptr;
  PostMessageW(window, UM_EXIT, 0, 0);
  if (process != nullptr) {
    WaitForSingleObject(process, TrayExitWaitMs);
    CloseHandle(process);
    return;
  }
  // No handle to wait on: watch the window instead, for the same time.
  for (DWORD waited = 0; waited < TrayExitWaitMs && IsWindow(window); waited += 50) Sleep(50);
}

// Deletes the program file, retrying while it is still locked by the ending program.
void DeleteTrayProgram(const WCHAR* path) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (DeleteFileW(path)) return;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return;
    Sleep(error == ERROR_ACCESS_DENIED ? 100 : 10);
  }
}

}  // namespace

bool TrayProgramFromRunValue(const WCHAR* value, WCHAR* path, int units) {
  const WCHAR* begin = value;
  int length = 0;
  if (*begin == L'"') {
    ++begin;
    while (begin[length] != 0 && begin[length] != L'"') ++length;
  } else {
    length = lstrlenW(begin);
  }
  if (length == 0 || length >= units) return false;
  CopyMemory(path, begin, static_cast<SIZE_T>(length) * sizeof(WCHAR));
  path[length] = 0;
  return CompareStringOrdinal(FileNamePart(path), -1, TrayProgramName, -1, TRUE) == CSTR_EQUAL;
}

void RemoveTray(TrayProgramFile programFile) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, QUILL_TRAY_MUTEX_NAME);
  if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    // A tray program runs in this logon session; it may still be creating its window.
    for (int poll = 0; poll < TrayWindowPolls; ++poll) {
      HWND window = FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr);
      if (window != nullptr) {
        EndTrayProgram(window);
        break;
      }
      Sleep(TrayWindowPollMs);
    }
  }
  if (mutex != nullptr) CloseHandle(mutex);

  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TrayRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  if (mutex != nullptr && programFile == DeleteTrayProgramFile) {
    // One unit fewer than the buffer is offered, so the text ends in 0 whatever the value holds.
    WCHAR value[TrayRunValueUnits] = {};
    WCHAR path[TrayRunValueUnits] = {};
    DWORD type = 0;
    DWORD bytes = (TrayRunValueUnits - 1) * sizeof(WCHAR);
    if (RegQueryValueExW(key, TrayRunValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) == ERROR_SUCCESS &&
        type == REG_SZ && TrayProgramFromRunValue(value, path, TrayRunValueUnits))
      DeleteTrayProgram(path);
  }
  RegDeleteValueA(key, TrayRunValueA);
  RegCloseKey(key);
}
