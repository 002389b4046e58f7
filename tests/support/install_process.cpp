#include "install_process.h"

#include "test_paths.h"

InstallProcess::InstallProcess(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  Started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &Info) != 0;
}

InstallProcess::~InstallProcess() {
  if (!Started) return;
  if (WaitForSingleObject(Info.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(Info.hProcess, 0xFFFFFFFF);
  CloseHandle(Info.hThread);
  CloseHandle(Info.hProcess);
}

DWORD InstallProcess::Finish(DWORD timeoutMs) {
  if (!Started) return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  if (WaitPumping(Info.hProcess, timeoutMs))
    GetExitCodeProcess(Info.hProcess, &code);
  else
    TerminateProcess(Info.hProcess, 0xFFFFFFFF);
  return code;
}

DWORD RunInstallProcessAt(const std::wstring& exe, const std::wstring& arguments, DWORD timeoutMs) {
  InstallProcess process(exe, arguments);
  return process.Finish(timeoutMs);
}

// QUILL_INSTALL_EXE_W: the installer's file name, given by the test's build.
DWORD RunInstallProcess(const std::wstring& arguments, DWORD timeoutMs) {
  return RunInstallProcessAt(Beside(L"" QUILL_INSTALL_EXE_W), arguments, timeoutMs);
}

namespace {

void SendShift(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SHIFT;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(VK_SHIFT, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = flags;
  SendInput(1, &input, sizeof(input));
}

}  // namespace

ShiftHeld::ShiftHeld(bool press) : Down(press) {
  if (press) SendShift(0);
}

void ShiftHeld::Release() {
  if (Down) SendShift(KEYEVENTF_KEYUP);
  Down = false;
}

DialogRun RunWithLogDialog(const std::wstring& exe, const std::wstring& arguments, DialogClose how, bool holdShift) {
  DialogRun run;
  ShiftHeld shift(holdShift);
  InstallProcess process(exe, arguments);
  HWND dialog = process.Started ? WaitForProcessDialog(process.Info.dwProcessId, InstallDialogWaitMs) : nullptr;
  shift.Release();
  if (dialog != nullptr) {
    run.Shown = true;
    run.Title = ReadWindowText(dialog);
    run.Text = ReadWindowText(GetDlgItem(dialog, 1001));
    run.Owner = GetWindow(dialog, GW_OWNER);
    CloseDialog(dialog, how);
  }
  run.ExitCode = process.Finish();
  return run;
}
