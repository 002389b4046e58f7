// What the running service holds: the loaded port monitors, the driver cache and the job queue.
// Only the pipe server's single thread touches it while the service runs.
#pragma once
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>
#include <vector>

struct LoadedMonitor {
  std::wstring Name;
  std::wstring DllPath;
  HMODULE Module;
  HANDLE Monitor;      // the handle InitializePrintMonitor2 gave back
  LPMONITOR2 Functions;
  // What the monitor was given; it may keep both for its lifetime, so they live as long as it.
  HKEY RegistryRoot;
  MONITORINIT* Init;
};

struct CachedDriverFile {
  std::wstring Environment;
  std::wstring DriverName;
  std::wstring Path;
  HANDLE File;  // held open without write or delete sharing: the file is in use
};

struct QueuedJob {
  DWORD JobId;
  std::wstring PrinterName;
  std::wstring DocumentName;
  std::wstring SpoolFile;
};

struct SpoolerState {
  std::vector<LoadedMonitor> Monitors;
  std::vector<CachedDriverFile> DriverFiles;
  std::vector<QueuedJob> Jobs;
  DWORD NextJobId;
};
