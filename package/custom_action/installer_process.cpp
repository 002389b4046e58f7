#include "installer_process.h"

#include <wchar.h>

namespace {

struct HandleScope {
  HANDLE Value;
  explicit HandleScope(HANDLE value) : Value(value) {}
  ~HandleScope() {
    if (Value != nullptr) CloseHandle(Value);
  }
  HandleScope(const HandleScope&) = delete;
  HandleScope& operator=(const HandleScope&) = delete;
};

}  // namespace

InstallerRun RunInstaller(const WCHAR* setupFolder, const WCHAR* word, DWORD waitMs) {
  InstallerRun run;
  WCHAR folder[MAX_PATH] = {};
  lstrcpynW(folder, setupFolder, MAX_PATH - 16);
  int length = lstrlenW(folder);
  if (length > 0 && folder[length - 1] != L'\\') lstrcatW(folder, L"\\");
  WCHAR program[MAX_PATH] = {};
  _snwprintf(program, MAX_PATH - 1, L"%sinstall.exe", folder);
  WCHAR command[MAX_PATH + 64] = {};
  _snwprintf(command, MAX_PATH + 63, L"\"%s\" %s /quiet", program, word);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, folder, &startup, &process)) {
    run.StartError = GetLastError();
    return run;
  }
  run.Started = true;
  HandleScope processHandle(process.hProcess);
  HandleScope threadHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, waitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, ERROR_TIMEOUT);
    WaitForSingleObject(process.hProcess, 10000);
    return run;
  }
  run.Finished = GetExitCodeProcess(process.hProcess, &run.ExitCode) != 0;
  return run;
}
