// Port monitors and printer drivers as the spooler lists them.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// A two-call enumeration's result. Entries is a zero-filled fixed global-memory block holding the
// records and then their strings; the asker frees it with GlobalFree. Null Entries is empty.
struct EnumerationResult {
  BYTE* Entries;
  DWORD Level;  // 2 for monitors, 6 for printer drivers
  DWORD Count;
};

// Level 2; logs why the result is empty when the spooler gives nothing. A failed or empty
// enumeration has null Entries and Count 0.
EnumerationResult EnumerateMonitors(InstallContext& context);
// Index of the first record named exactly "Quillstack:", or -1 (levels 1 and 2).
int FindPortMonitor(const EnumerationResult& result);
// The monitors' names between two dashed lines; records of levels other than 1 and 2 are not read.
void ListMonitors(InstallContext& context, const EnumerationResult& result);
// Level 6 (DRIVER_INFO_6W) for the environment; logs nothing.
EnumerationResult EnumerateDrivers(const WCHAR* environment);
// Index of the first record named exactly "Quillstack printer", or -1 (levels 1 to 6).
int FindPrinterDriver(const EnumerationResult& result);
