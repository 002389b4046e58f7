// install.exe run as a process, as the programs that call it run it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::wstring Beside(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

DWORD RunInstall(const std::wstring& arguments) {
  std::wstring exe = Beside(L"" QUILL_INSTALL_EXE_W);
  std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  else ADD_FAILURE() << "install.exe did not end";
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

}  // namespace

TEST(InstallExitCodes, NoWordOrAnUnknownWordGives6) {
  EXPECT_EQ(6u, RunInstall(L""));
  EXPECT_EQ(6u, RunInstall(L"frobnicate"));
}
