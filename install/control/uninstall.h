// The "un"/"uninstall" command.
#pragma once
#include <windows.h>

struct UninstallOutcome {
  bool ErrorsLogged;
  DWORD FilesMarkedForRestart;
};

// Removes the installation; the log dialog, if shown, is owned by `ownerWindow` (or none).
UninstallOutcome RunUninstall(HWND ownerWindow);
