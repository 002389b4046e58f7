// Another process's handle count, thread count and working set, read from outside. Under Wine
// GetProcessHandleCount and GetProcessMemoryInfo answer 0 for another process; the system's
// process list (NtQuerySystemInformation) has the real figures on Windows and Wine alike.
#pragma once

#include <windows.h>

struct ProcessFigures {
  ULONG Handles;
  ULONG Threads;
  SIZE_T WorkingSet;  // bytes
};

bool ReadProcessFigures(DWORD processId, ProcessFigures* figures);
