// What install.exe's exit codes mean to Windows Installer.
#pragma once
#include <windows.h>

struct InstallerOutcome {
  UINT ActionResult;     // ERROR_SUCCESS or ERROR_INSTALL_FAILURE
  bool RestartNeeded;    // files wait for the next restart
  bool ErrorsLogged;     // install.log holds error lines of this run
};

// 1 (install) and 2 (uninstall) succeed; 101 succeeds and needs a restart; 100 and every other
// code fail (a code the installer never gives means it did not run to its end).
InstallerOutcome MapInstallerExitCode(DWORD exitCode);
