// The package's custom actions (quillstack_actions.dll, stored in the Binary table):
//   InstallProduct   deferred, no impersonation, after InstallFiles: install.exe install /quiet
//   RollbackInstall  its rollback: install.exe uninstall /quiet
//   UninstallProduct deferred, no impersonation, before RemoveFiles: install.exe uninstall /quiet
//   AskForRestart    immediate, after InstallFinalize: a restart that a deferred action asked for
// The deferred ones get the setup folder (ending in a backslash) as CustomActionData;
// InstallProduct's ends in "|undo" on a first install (no Quillstack was there before).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <stdarg.h>
#include <wchar.h>

#include "exit_codes.h"
#include "installer_log.h"
#include "installer_process.h"
#include "restart_request.h"
#include "started_tray.h"

#define QUILL_ACTION extern "C" __declspec(dllexport) UINT __stdcall

namespace {

void LogFormatted(MSIHANDLE install, const WCHAR* format, ...) {
  WCHAR line[MAX_PATH + 200] = {};
  va_list arguments;
  va_start(arguments, format);
  _vsnwprintf(line, MAX_PATH + 199, format, arguments);
  va_end(arguments);
  LogToInstaller(install, line);
}

const WCHAR UndoMark[] = L"|undo";
const DWORD TrayStartWaitMs = 5000;

// The setup folder the action was given, or false when it has none; `undo` tells whether the
// data ended in UndoMark (which is cut off).
bool ReadSetupFolder(MSIHANDLE install, WCHAR* folder, DWORD units, bool* undo) {
  DWORD length = units;
  folder[0] = 0;
  if (MsiGetPropertyW(install, L"CustomActionData", folder, &length) != ERROR_SUCCESS) return false;
  int n = lstrlenW(folder);
  int mark = lstrlenW(UndoMark);
  *undo = n >= mark && lstrcmpiW(folder + n - mark, UndoMark) == 0;
  if (*undo) folder[n - mark] = 0;
  return folder[0] != 0;
}

// Runs install.exe with the word and turns its exit code into the action's result.
UINT RunAndMap(MSIHANDLE install, const WCHAR* word, bool* undo) {
  WCHAR folder[MAX_PATH] = {};
  if (!ReadSetupFolder(install, folder, MAX_PATH, undo)) {
    LogToInstaller(install, L"Quillstack: no setup folder given to the action");
    return ERROR_INSTALL_FAILURE;
  }
  LogFormatted(install, L"Quillstack: running %sinstall.exe %s /quiet", folder, word);
  InstallerRun run = RunInstaller(folder, word);
  if (!run.Started) {
    LogFormatted(install, L"Quillstack: %sinstall.exe could not be started, error %lu", folder, run.StartError);
    return ERROR_INSTALL_FAILURE;
  }
  if (!run.Finished) {
    LogFormatted(install, L"Quillstack: install.exe %s did not end within %lu s and was ended", word, InstallerWaitMs / 1000);
    return ERROR_INSTALL_FAILURE;
  }
  LogFormatted(install, L"Quillstack: install.exe %s ended with exit code %lu", word, run.ExitCode);
  InstallerOutcome outcome = MapInstallerExitCode(run.ExitCode);
  if (outcome.ErrorsLogged) {
    CopyInstallerErrorLines(install);
    WCHAR path[MAX_PATH] = {};
    InstallerLogPath(path, MAX_PATH);
    LogFormatted(install, L"Quillstack: the whole run is in %s", path);
  }
  if (outcome.RestartNeeded) {
    if (MarkRestartNeeded())
      LogToInstaller(install, L"Quillstack: files wait for the next restart; a restart is asked for");
    else
      LogToInstaller(install, L"Quillstack: files wait for the next restart, but the restart could not be asked for");
  }
  return outcome.ActionResult;
}

}  // namespace

// A first install that fails takes back what install.exe registered before it returns, while
// install.exe is still on disk: Wine's msiexec removes the package's files before it runs the
// rollback action. Over an older Quillstack (an upgrade, a repair) nothing is taken back: the
// installer's record of the printers it was re-creating stays for the next run.
QUILL_ACTION InstallProduct(MSIHANDLE install) {
  ClearRestartMark();
  bool undo = false;
  UINT result = RunAndMap(install, L"install", &undo);
  if (result != ERROR_SUCCESS && undo) {
    LogToInstaller(install, L"Quillstack: the install failed; taking back what it registered");
    // The uninstall must find the tray program that the install started, or its file stays.
    WaitForStartedTray(TrayStartWaitMs);
    RunAndMap(install, L"uninstall", &undo);
    ClearRestartMark();
  }
  return result;
}

QUILL_ACTION UninstallProduct(MSIHANDLE install) {
  ClearRestartMark();
  bool undo = false;
  return RunAndMap(install, L"uninstall", &undo);
}

// Rolls back a first install that failed after InstallProduct: whatever install.exe registered
// goes again. Its result changes nothing (Windows Installer ignores a rollback action's
// failure), so it is only logged.
QUILL_ACTION RollbackInstall(MSIHANDLE install) {
  bool undo = false;
  RunAndMap(install, L"uninstall", &undo);
  ClearRestartMark();
  return ERROR_SUCCESS;
}

QUILL_ACTION AskForRestart(MSIHANDLE install) {
  if (TakeRestartMark()) {
    MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
    LogToInstaller(install, L"Quillstack: a restart is needed to finish");
  }
  return ERROR_SUCCESS;
}
