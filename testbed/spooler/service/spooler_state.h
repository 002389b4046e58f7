// What the running service holds: the loaded port monitors, the driver cache and the job queue.
// The pipe server's thread and the despooler's thread share it; both touch it only inside Lock.
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
  SYSTEMTIME Submitted;
  bool Ended;           // EndDocPrinter came: the job waits for the despooler
  bool Despooling;      // the despooler is handing it to the monitor now
  bool Cancelled;       // deleted while despooling: dropped once the monitor has let go
  DWORD Error;          // the Windows error of the last attempt, 0 before any or after success
  DWORD NextAttemptTick;  // a failed job is tried again from this tick on
};

struct SpoolerState {
  CRITICAL_SECTION Lock;
  std::vector<LoadedMonitor> Monitors;
  std::vector<CachedDriverFile> DriverFiles;
  std::vector<QueuedJob> Jobs;
  DWORD NextJobId;
  // The despooler: its thread, the event that wakes it, the stop flag (read under Lock) and the
  // monitor it is calling now (DeleteMonitorW refuses to unload that one).
  HANDLE DespoolThread;
  HANDLE DespoolWake;
  bool DespoolStop;
  std::wstring BusyMonitor;
};
