// The port monitor "Quillstack:": its file in the system directory and its registration.
#pragma once
#include <windows.h>

#include "enumerations.h"
#include "../control/install_context.h"

// Installed monitor files of these builds stay in place during a reinstall.
const int CompatibleBuildFirst = 2416;
const int CompatibleBuildLast = BuildNumber;
// AddMonitorW is tried this many times, this far apart.
const int AddMonitorAttempts = 5;
const DWORD AddMonitorPauseMs = 50;

// Copies the monitor file (unless CopyMonitor is clear) and registers the monitor; gives the
// printers that the removal moved to "file:" their port back.
void InstallPortMonitor(InstallContext& context);
// Unregisters the monitor and deletes its file; with CheckMonitorVersion a compatible monitor
// stays. A refusal moves the monitor's printers to "file:", then restarts the spooler.
// `monitors` is a level-2 enumeration that the caller owns.
void RemovePortMonitor(InstallContext& context, const EnumerationResult& monitors);
// DeleteMonitorW for "Quillstack:" in the environment; logs nothing.
bool DeletePortMonitorEntry(const WCHAR* environment);
