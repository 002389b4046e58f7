// The "un"/"uninstall" command, and the removal that an install runs first.
#pragma once
#include <windows.h>

#include "install_context.h"
#include "run_end.h"
#include "../tray/tray_control.h"

// Removes the tray program, every printer of the product's driver (remembered in SavedPrinters),
// the printer driver and the port monitor, in that order; retries locked files once. A reinstall
// keeps the tray program's file, which its last step starts again.
void UnInstall(InstallContext& context, TrayProgramFile trayFile = DeleteTrayProgramFile);
// UnInstall, then the system's pending deletions now, and locked files retried, the last time
// with the spooler stopped.
void UninstallWithCleanup(InstallContext& context);
// Removes the installation and ends the run (EndRun).
RunOutcome RunUninstall(const RunSettings& settings);
