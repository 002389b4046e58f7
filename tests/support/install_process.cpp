#include "install_process.h"

#include "dialog_probe.h"
#include "test_paths.h"

// QUILL_INSTALL_EXE_W: the installer's file name, given by the test's build.
DWORD RunInstallProcess(const std::wstring& arguments, DWORD timeoutMs) {
  std::wstring exe = Beside(L"" QUILL_INSTALL_EXE_W);
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  if (WaitPumping(process.hProcess, timeoutMs))
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 0xFFFFFFFF);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}
