#include "command_line.h"

#include <shellapi.h>
#include <wchar.h>

#include "check_modes.h"
#include "context_setup.h"
#include "deferred_files.h"
#include "reinstall.h"
#include "uninstall.h"
#include "../log/install_log.h"
#include "run_end.h"
#include "../tray/tray_control.h"

HINSTANCE ProgramInstance = nullptr;

namespace {

// Frees CommandLineToArgvW's block when the scope ends.
struct ArgumentVector {
  WCHAR** Strings;
  int Count;
  ArgumentVector() : Strings(CommandLineToArgvW(GetCommandLineW(), &Count)) {
    if (Strings == nullptr) Count = 0;
  }
  ~ArgumentVector() {
    if (Strings != nullptr) LocalFree(Strings);
  }
  ArgumentVector(const ArgumentVector&) = delete;
  ArgumentVector& operator=(const ArgumentVector&) = delete;
};

WCHAR LowerAscii(WCHAR c) { return (c >= L'A' && c <= L'Z') ? static_cast<WCHAR>(c - L'A' + L'a') : c; }

// The install and install-without-tray modes; returns 1, 100 or 101.
int RunInstallProcedure(int installMode, const RunSettings& settings) {
  CloseHelpWindows();
  InstallContext context = {};
  InitInstallContext(context, installMode);
  LogLine(context, L">>0010");
  ReInstall(context);
  RunOutcome outcome = EndRun(context, settings);
  // Written after the dialog has closed, so the dialog never shows it.
  LogLine(context, L">>0020");
  ReleaseInstallContext(context);
  if (outcome.ErrorsLogged) return 100;
  return outcome.FilesMarkedForRestart > 0 ? 101 : 1;
}

}  // namespace

bool EqualsIgnoringAsciiCase(const WCHAR* word, const WCHAR* expected) {
  for (;; ++word, ++expected) {
    if (LowerAscii(*word) != LowerAscii(*expected)) return false;
    if (*word == 0) return true;
  }
}

bool AsksForQuiet(int argumentCount, WCHAR** arguments) {
  for (int i = 2; i < argumentCount; ++i)
    if (EqualsIgnoringAsciiCase(arguments[i], L"/quiet")) return true;
  return false;
}

HWND ReadOwnerWindow(int argumentCount, WCHAR** arguments) {
  if (argumentCount != 3) return nullptr;
  long number = wcstol(arguments[2], nullptr, 10);
  HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(number));
  return (window != nullptr && IsWindow(window)) ? window : nullptr;
}

void CloseHelpWindows() {
  for (int attempt = 0; attempt < HelpWindowCloseAttempts; ++attempt) {
    HWND help = FindWindowW(L"HH Parent", L"Quillstack Help");
    if (help == nullptr) return;
    PostMessageW(help, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(50);
  }
}

int RunCommandLine(HINSTANCE instance) {
  ProgramInstance = instance;
  int installMode = 0;
  HWND ownerWindow = nullptr;
  bool quiet = false;
  WCHAR word[16] = {};
  {
    ArgumentVector arguments;
    if (arguments.Count < 2) return 6;
    ownerWindow = ReadOwnerWindow(arguments.Count, arguments.Strings);
    quiet = AsksForQuiet(arguments.Count, arguments.Strings);
    const WCHAR* given = arguments.Strings[1];
    // Every known word is shorter than the copy; a longer one can match none of them.
    if (wcslen(given) >= sizeof(word) / sizeof(word[0])) return 6;
    lstrcpynW(word, given, sizeof(word) / sizeof(word[0]));
  }

  if (EqualsIgnoringAsciiCase(word, L"in") || EqualsIgnoringAsciiCase(word, L"install") ||
      EqualsIgnoringAsciiCase(word, L"serverinstall"))
    installMode = InstallMode64Bit;
  else if (EqualsIgnoringAsciiCase(word, L"in_notray"))
    installMode = InstallMode64Bit | InstallModeNoTray;

  if (EqualsIgnoringAsciiCase(word, L"onChkDrv")) return DriverBuildCheck() ? 103 : 3;
  if (EqualsIgnoringAsciiCase(word, L"onInit")) {
    if (ComponentsPendingCheck()) return 200;
    return DefaultPrinterCheck() ? 102 : 3;
  }
  if (EqualsIgnoringAsciiCase(word, L"un") || EqualsIgnoringAsciiCase(word, L"uninstall")) {
    CloseHelpWindows();
    RunOutcome outcome = RunUninstall(RunSettings{ownerWindow, quiet, word});
    if (outcome.ErrorsLogged) return 100;
    return outcome.FilesMarkedForRestart > 0 ? 101 : 2;
  }
  if (EqualsIgnoringAsciiCase(word, L"removetray")) {
    RemoveTray(DeleteTrayProgramFile);
    return 6;
  }
  if (installMode != 0) return RunInstallProcedure(installMode, RunSettings{ownerWindow, quiet, word});
  // Exact: eight units, the terminator included, so neither case nor a longer word matches.
  if (wmemcmp(word, L"def.set", 8) == 0) {
    MakeDefaultPrinter();
    return 4;
  }
  return 6;
}
