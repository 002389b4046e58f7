// Control of the print spooler stand-in, for tests of any issue. Link `spooler_testbed`.
// Every operation works on the machine of the test prefix and returns false when it could not
// do what it says (the last error then tells why).
#pragma once
#include <windows.h>

// Faults: the next `count` calls of the named spooler operation fail.
enum SpoolerFault {
  FaultAddMonitorW,            // default error ERROR_SHARING_VIOLATION
  FaultDeleteMonitorW,         // default ERROR_PRINT_MONITOR_IN_USE
  FaultDeletePrinterDriverExW, // default ERROR_PRINTER_DRIVER_IN_USE
  FaultAddPrinterW,            // default ERROR_NOT_ENOUGH_MEMORY
  FaultAddPrinterDriverExW,    // default ERROR_SHARING_VIOLATION
  FaultEnumPrintersW,          // only calls that pass a large enough buffer (the second call of
                               // the two-call protocol) fail, with ERROR_INSUFFICIENT_BUFFER, as
                               // when a printer appears between the two calls
  FaultIgnoreStopRequest,      // the service accepts the stop request and keeps running
  FaultFailStart,              // the service's next start ends at once in SERVICE_STOPPED
};

// How the service is left by a reset.
enum SpoolerAfterReset { SpoolerLeftRunning, SpoolerLeftStopped };

// A plain machine: the monitor "Local Port" and no other, no printers, no drivers (their files
// are deleted from the driver folders), no jobs, no default printer, no faults, driver cache on.
// Stops the service first (it holds monitors and driver files) and starts it again if asked.
bool ResetSpooler(SpoolerAfterReset after = SpoolerLeftRunning);
// As ResetSpooler, but with no monitors at all.
bool EmptySpooler(SpoolerAfterReset after = SpoolerLeftRunning);

// `error` 0 keeps the default error of the fault. A count of 0 clears the fault.
bool SetSpoolerFault(SpoolerFault fault, DWORD count, DWORD error = 0);
// The count of the fault still to come.
DWORD SpoolerFaultCount(SpoolerFault fault);
// On (the default): driver files stay loaded from the first use of a printer of the driver
// until the service stops. Off: the service never holds driver files.
bool SetDriverCache(bool on);

// Through the Service Control Manager, each waiting at most `timeoutMs` for the state.
bool StartSpoolerService(DWORD timeoutMs = 10000);
bool StopSpoolerService(DWORD timeoutMs = 10000);
// The service's current state (SERVICE_RUNNING, SERVICE_STOPPED, ...), 0 when unknown.
DWORD SpoolerServiceState();

// After each attempt to despool a job the service records the monitor's outcome: 0 or a
// Windows error.
DWORD LastSpoolerJobError();
// Jobs the service has handed to a port monitor to the end (every call accepted) since the last
// reset. Jobs are despooled after EndDocPrinter has returned, by a thread of the service.
DWORD SpoolerJobsDespooled();
// Waits until SpoolerJobsDespooled() reaches `count`; false when the time is up.
bool WaitForSpoolerJobsDespooled(DWORD count, DWORD timeoutMs = 30000);

// Folders of the spooler on this machine, with a trailing backslash.
// "C:\windows\system32\spool\drivers\x64\3\" for "Windows x64".
bool GetDriverVersionFolder(const wchar_t* environment, wchar_t* folder, DWORD chars);
