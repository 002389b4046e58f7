// install.exe run as a process, as the programs that call it run it: command words and exit
// codes, the owner window argument, and the log dialog read and closed from here.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/dialog_probe.h"
#include "support/install_process.h"
#include "support/test_paths.h"
#include "support/spooler_switch.h"
#include "spooler_testbed.h"

namespace {

std::string Narrow(const std::wstring& text) {
  std::string s;
  for (wchar_t c : text) s += (c >= 32 && c < 127) ? static_cast<char>(c) : (c == L'\r' ? '~' : (c == L'\n' ? '|' : '?'));
  return s;
}

// The installer beside the test: a calling program's view of it.
struct Process : InstallProcess {
  explicit Process(const std::wstring& arguments) : InstallProcess(Beside(L"" QUILL_INSTALL_EXE_W), arguments) {
    if (!Started) ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
  }
  DWORD Finish() {
    DWORD code = InstallProcess::Finish();
    if (Started && code == 0xFFFFFFFF) ADD_FAILURE() << "install.exe did not end";
    return code;
  }
};

DWORD RunInstall(const std::wstring& arguments) {
  Process process(arguments);
  return process.Finish();
}

DialogRun RunInstallWithDialog(const std::wstring& arguments, DialogClose how) {
  return RunWithLogDialog(Beside(L"" QUILL_INSTALL_EXE_W), arguments, how);
}

// A top-level window of the test process, the owner that a calling program would pass.
struct OwnerWindow {
  HWND Window = nullptr;
  OwnerWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillCallerWindow";
    RegisterClassW(&wc);
    Window = CreateWindowExW(0, wc.lpszClassName, L"Caller", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, wc.hInstance,
                             nullptr);
  }
  ~OwnerWindow() {
    if (Window != nullptr) DestroyWindow(Window);
  }
  std::wstring Number() const { return std::to_wstring(static_cast<long long>(reinterpret_cast<INT_PTR>(Window))); }
};

// install.exe beside the test really installs: each run of the program starts on a plain
// spooler and leaves nothing installed behind.
class PlainMachine : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(ResetSpooler()); }
  void TearDown() override {
    RunInstall(L"uninstall");
    ResetSpooler();
  }
};
const ::testing::Environment* const plainMachine = ::testing::AddGlobalTestEnvironment(new PlainMachine);

}  // namespace

TEST(InstallExitCodes, EveryCommandWordInAnyLetterCase) {
  struct Case {
    const wchar_t* arguments;
    DWORD code;
  } cases[] = {
      {L"in", 1},          {L"install", 1},       {L"serverinstall", 1}, {L"in_notray", 1}, {L"INSTALL", 1},
      {L"ServerInstall", 1}, {L"IN_NOTRAY", 1},   {L"un", 2},            {L"uninstall", 2}, {L"UnInstall", 2},
      {L"UN", 2},
      // Nothing of the product waits for a restart and no printer of its driver is the default:
      // "onInit" is fine (102); without a printer of its driver the driver check is false (3).
      {L"onInit", 102},    {L"ONINIT", 102},      {L"onChkDrv", 3},      {L"onchkdrv", 3},
      {L"removetray", 6},  {L"RemoveTray", 6},
  };
  for (const Case& c : cases) EXPECT_EQ(c.code, RunInstall(c.arguments)) << Narrow(c.arguments);
}

TEST(InstallExitCodes, DefSetOnlyExactlyAndWithAnyFurtherArguments) {
  EXPECT_EQ(4u, RunInstall(L"def.set"));
  EXPECT_EQ(4u, RunInstall(L"def.set 12345"));
  EXPECT_EQ(4u, RunInstall(L"def.set a b c"));
  const wchar_t* notDefSet[] = {L"DEF.SET", L"Def.Set", L"def.SET", L"def.setx", L"def.set.", L"def.set2", L"def", L"\"def.set \""};
  for (const wchar_t* word : notDefSet) EXPECT_EQ(6u, RunInstall(word)) << Narrow(word);
}

TEST(InstallExitCodes, NoWordAnUnknownWordOrAnAlmostWordGives6) {
  const wchar_t* words[] = {L"", L"\"\"", L"frobnicate", L"installer", L"instal", L"inn", L"\"in \"", L"-install",
                            L"/install", L"uninstallx", L"onInitialize", L"serverinstallserverinstall", L"in\u0130"};
  for (const wchar_t* word : words) EXPECT_EQ(6u, RunInstall(word)) << Narrow(word);
}

TEST(InstallExitCodes, FurtherArgumentsDoNotStopTheCommand) {
  EXPECT_EQ(1u, RunInstall(L"install 1 2"));
  EXPECT_EQ(1u, RunInstall(L"in_notray a b c d"));
  EXPECT_EQ(2u, RunInstall(L"uninstall 0 0"));
  EXPECT_EQ(3u, RunInstall(L"onChkDrv x y"));
}

TEST(InstallLogDialog, NoErrorAndNoShiftShowsNoDialog) {
  ASSERT_EQ(0, GetAsyncKeyState(VK_SHIFT) & 0x8000) << "Shift is held on this desktop";
  Process process(L"install");
  bool dialogSeen = false;
  while (process.Started && WaitForSingleObject(process.Info.hProcess, 20) == WAIT_TIMEOUT && !dialogSeen)
    dialogSeen = FindProcessDialog(process.Info.dwProcessId) != nullptr;
  EXPECT_FALSE(dialogSeen);
  EXPECT_EQ(1u, process.Finish());
}

TEST(InstallLogDialog, ShiftShowsTheLogUpToTheLastLineBeforeTheDialog) {
  DialogClose ways[] = {DialogClose::CloseButton, DialogClose::EnterKey, DialogClose::EscapeKey, DialogClose::CloseBox};
  for (DialogClose how : ways) {
    DialogRun run = RunInstallWithDialog(L"install", how);
    ASSERT_TRUE(run.Shown) << DialogCloseName(how);
    EXPECT_EQ(L"Quillstack build 2436- Install log.", run.Title) << DialogCloseName(how);
    EXPECT_EQ(0u, run.Text.find(L"Quillstack 2436\r\n>Check Spooler\r\n")) << Narrow(run.Text);
    EXPECT_NE(std::wstring::npos, run.Text.find(L"\r\nPrinterDriverDirectory(1):")) << Narrow(run.Text);
    EXPECT_NE(std::wstring::npos, run.Text.find(L"\r\n>>0010\r\n>ReInstall\r\n    >UnInstall\r\n")) << Narrow(run.Text);
    EXPECT_NE(std::wstring::npos, run.Text.find(L"\r\n    >Add Printer Driver\r\n")) << Narrow(run.Text);
    EXPECT_EQ(std::wstring::npos, run.Text.find(L">>0020")) << Narrow(run.Text);
    EXPECT_EQ(std::wstring::npos, run.Text.find(L"Error(")) << Narrow(run.Text);
    // However the dialog was closed, an error-free install reports success.
    EXPECT_EQ(1u, run.ExitCode) << DialogCloseName(how);
  }
}

TEST(InstallLogDialog, InstallWithoutTrayShowsItToo) {
  DialogRun run = RunInstallWithDialog(L"IN_NOTRAY", DialogClose::CloseButton);
  ASSERT_TRUE(run.Shown);
  EXPECT_EQ(L"Quillstack build 2436- Install log.", run.Title);
  EXPECT_EQ(1u, run.ExitCode);
}

TEST(InstallLogDialog, OwnedByTheWindowNamedInTheOnlyFurtherArgument) {
  OwnerWindow caller;
  ASSERT_NE(nullptr, caller.Window);
  std::wstring forms[] = {caller.Number(), L"\"  +" + caller.Number() + L"\"", caller.Number() + L"px"};
  for (const std::wstring& form : forms) {
    DialogRun run = RunInstallWithDialog(L"install " + form, DialogClose::CloseButton);
    ASSERT_TRUE(run.Shown) << Narrow(form);
    EXPECT_EQ(caller.Window, run.Owner) << Narrow(form);
    EXPECT_EQ(1u, run.ExitCode) << Narrow(form);
    EXPECT_TRUE(IsWindowEnabled(caller.Window)) << "the owner is enabled again once the dialog is closed";
  }
}

TEST(InstallLogDialog, NoOwnerForOtherArgumentsOrNoLiveWindow) {
  OwnerWindow caller;
  ASSERT_NE(nullptr, caller.Window);
  std::wstring forms[] = {caller.Number() + L" 1", L"1 " + caller.Number(), L"window", L"0", L"-7"};
  for (const std::wstring& form : forms) {
    DialogRun run = RunInstallWithDialog(L"install " + form, DialogClose::EscapeKey);
    ASSERT_TRUE(run.Shown) << Narrow(form);
    EXPECT_EQ(nullptr, run.Owner) << Narrow(form);
    EXPECT_EQ(1u, run.ExitCode) << Narrow(form);
  }
}

// The spooler as the installer may find it: stopped, or stopped and impossible to start.
TEST(InstallWithTheSpooler, StoppedSpoolerIsStartedWithoutError) {
  SpoolerSwitch spooler;
  ASSERT_TRUE(spooler.Stop());
  DialogRun run = RunInstallWithDialog(L"install", DialogClose::CloseButton);
  ASSERT_TRUE(run.Shown);
  EXPECT_EQ(L"Quillstack build 2436- Install log.", run.Title);
  EXPECT_EQ(0u, run.Text.find(L"Quillstack 2436\r\n>Check Spooler\r\nPrinterDriverDirectory(1):")) << Narrow(run.Text);
  EXPECT_EQ(std::wstring::npos, run.Text.find(L"Error(")) << Narrow(run.Text);
  EXPECT_EQ(1u, run.ExitCode);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), spooler.State());
}

TEST(InstallWithTheSpooler, SpoolerThatCannotStartShowsTheErrorLogHoweverItIsClosed) {
  SpoolerSwitch spooler;
  ASSERT_TRUE(spooler.Stop());
  ASSERT_TRUE(spooler.Disable());
  DialogClose ways[] = {DialogClose::CloseButton, DialogClose::EnterKey, DialogClose::EscapeKey, DialogClose::CloseBox};
  for (DialogClose how : ways) {
    DWORD start = GetTickCount();
    Process process(L"install");
    // No Shift: the logged error alone opens the dialog, after the 10-second wait for the start.
    HWND dialog = WaitForProcessDialog(process.Info.dwProcessId, InstallDialogWaitMs);
    ASSERT_NE(nullptr, dialog) << DialogCloseName(how);
    EXPECT_GE(GetTickCount() - start, 9000u) << DialogCloseName(how);
    std::wstring text = ReadWindowText(GetDlgItem(dialog, 1001));
    EXPECT_EQ(L"Quillstack build 2436- Install error log!", ReadWindowText(dialog)) << DialogCloseName(how);
    EXPECT_EQ(0u, text.find(L"Quillstack 2436\r\n>Check Spooler\r\n  Error(4): Can't start the spooler")) << Narrow(text);
    EXPECT_NE(std::wstring::npos, text.find(L"\r\n>>0010\r\n>ReInstall\r\n")) << Narrow(text);
    EXPECT_EQ(std::wstring::npos, text.find(L">>0020")) << Narrow(text);
    CloseDialog(dialog, how);
    EXPECT_EQ(100u, process.Finish()) << DialogCloseName(how);
  }
}
