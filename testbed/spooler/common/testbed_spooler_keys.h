// Names shared by the spooler stand-in's service, its winspool.drv and the control library.
#pragma once
#include <windows.h>

// Where the spooler keeps its state, as on Windows (HKEY_LOCAL_MACHINE, 64-bit view).
#define TESTBED_PRINT_KEY L"SYSTEM\\CurrentControlSet\\Control\\Print"
#define TESTBED_MONITORS_KEY TESTBED_PRINT_KEY L"\\Monitors"
#define TESTBED_PRINTERS_KEY TESTBED_PRINT_KEY L"\\Printers"
#define TESTBED_ENVIRONMENTS_KEY TESTBED_PRINT_KEY L"\\Environments"
// The user's default printer (HKEY_CURRENT_USER), value "Device" = "name,winspool,port".
#define TESTBED_WINDOWS_KEY L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"

// Switches of the test bed (HKEY_LOCAL_MACHINE, 64-bit view). Every fault value is a DWORD count:
// the next N calls fail; "<name>Error" optionally gives the error code instead of the default.
#define TESTBED_SWITCH_KEY L"SOFTWARE\\Quillstack\\Testbed\\Spooler"
#define TESTBED_IGNORE_STOP L"IgnoreStopRequests"
#define TESTBED_FAIL_START L"FailStarts"
#define TESTBED_FAIL_ADD_MONITOR L"FailAddMonitorW"
#define TESTBED_FAIL_DELETE_MONITOR L"FailDeleteMonitorW"
#define TESTBED_FAIL_DELETE_DRIVER L"FailDeletePrinterDriverExW"
#define TESTBED_FAIL_ADD_PRINTER L"FailAddPrinterW"
#define TESTBED_FAIL_ADD_DRIVER L"FailAddPrinterDriverExW"
#define TESTBED_FAIL_ENUM_PRINTERS L"FailEnumPrintersW"
// DWORD, 1 (default) or 0: whether the service keeps driver files loaded once a printer used them.
#define TESTBED_DRIVER_CACHE L"DriverCache"
// DWORD written by the service after each attempt to despool a job: 0 or the monitor's error.
#define TESTBED_LAST_JOB_ERROR L"LastJobError"
// DWORD: how many jobs the service has handed to a port monitor to the end since the last reset.
#define TESTBED_JOBS_DESPOOLED L"JobsDespooled"

// DWORD in a printer's key: the access rights its security denies to everyone (a test's stand-in
// for a printer ACL, e.g. PRINTER_ACCESS_USE for one that gives administrators Manage but not
// Print). OpenPrinterW asking for any of them fails with ERROR_ACCESS_DENIED.
#define TESTBED_PRINTER_DENIED_ACCESS L"TestbedDeniedAccess"

// DWORD: the id the service gives the next job.
#define TESTBED_NEXT_JOB_ID L"NextJobId"

#define TESTBED_SERVICE_NAME L"Spooler"
#define TESTBED_LOCAL_PORT_MONITOR L"Local Port"
#define TESTBED_LOCAL_PORT_DLL L"localspl.dll"
