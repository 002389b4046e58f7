// The end of an install or uninstall run, the same for both.
#pragma once
#include <windows.h>

#include "install_context.h"

struct RunOutcome {
  bool ErrorsLogged;
  DWORD FilesMarkedForRestart;
};

// How the run was started: the log dialog's owner, whether "/quiet" followed the command word,
// and the command word itself (for the log file).
struct RunSettings {
  HWND OwnerWindow;
  bool Quiet;
  const WCHAR* CommandWord;
};

// Hands the files still in PendingDeletes to Windows for the next restart, appends the log to the
// log file, and shows the log dialog when an error was logged or Shift is held, unless the run is
// quiet or has no desktop anyone sees (a dialog there would wait for good).
RunOutcome EndRun(InstallContext& context, const RunSettings& settings);
// Whether the process's window station is one a user sees: the interactive one, outside session 0.
bool HasVisibleDesktop();
