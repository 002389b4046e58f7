#include "switches.h"

#include <wchar.h>

#include "../common/testbed_spooler_keys.h"

DWORD TakeFault(const wchar_t* name, DWORD defaultError) {
  DWORD count = ReadSwitch(name, 0);
  if (count == 0) return 0;
  WriteSwitch(name, count - 1);
  wchar_t errorName[96];
  _snwprintf(errorName, 96, L"%sError", name);
  errorName[95] = 0;
  DWORD error = ReadSwitch(errorName, 0);
  return error != 0 ? error : defaultError;
}

DWORD DefaultFaultError(const wchar_t* name) {
  if (wcscmp(name, TESTBED_FAIL_DELETE_MONITOR) == 0) return ERROR_PRINT_MONITOR_IN_USE;
  if (wcscmp(name, TESTBED_FAIL_DELETE_DRIVER) == 0) return ERROR_PRINTER_DRIVER_IN_USE;
  if (wcscmp(name, TESTBED_FAIL_ENUM_PRINTERS) == 0) return ERROR_INSUFFICIENT_BUFFER;
  if (wcscmp(name, TESTBED_FAIL_ADD_PRINTER) == 0) return ERROR_NOT_ENOUGH_MEMORY;
  // AddMonitorW and AddPrinterDriverExW: the files are held by another process.
  return ERROR_SHARING_VIOLATION;
}
