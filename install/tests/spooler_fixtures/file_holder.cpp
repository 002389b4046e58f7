// Test helper: holds a file open without sharing, so that nobody else can write it.
//   spooler_file_holder.exe PATH READY_EVENT HOLD_MS
// Creates PATH if needed, signals the named event READY_EVENT once the file is held, keeps it
// HOLD_MS milliseconds (at most a minute), then closes it and ends. Exit code 0, or 2 when the
// file could not be held.
#include <windows.h>
#include <shellapi.h>

#include <stdlib.h>

int main() {
  int argc = 0;
  WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 4) return 1;
  DWORD hold = static_cast<DWORD>(wcstoul(argv[3], nullptr, 10));
  if (hold > 60000) hold = 60000;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (ready != nullptr) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  if (file == INVALID_HANDLE_VALUE) return 2;
  Sleep(hold);
  CloseHandle(file);
  LocalFree(argv);
  return 0;
}
