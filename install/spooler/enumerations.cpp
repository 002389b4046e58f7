#include "enumerations.h"

#include <winspool.h>

#include "../log/install_log.h"
#include "../log/system_text.h"
#include "../util/two_call_query.h"

namespace {

const WCHAR PortMonitorName[] = L"Quillstack:";
const WCHAR PrinterDriverName[] = L"Quillstack printer";

// Unit by unit, terminator included, letter case counts. A missing name never matches.
bool SameName(const WCHAR* name, const WCHAR* wanted) {
  if (name == nullptr) return false;
  for (;; ++name, ++wanted) {
    if (*name != *wanted) return false;
    if (*name == 0) return true;
  }
}

// The name of record `index` of a monitor result, for the levels that have one.
const WCHAR* MonitorName(const EnumerationResult& result, DWORD index) {
  switch (result.Level) {
    case 1: return reinterpret_cast<const MONITOR_INFO_1W*>(result.Entries)[index].pName;
    case 2: return reinterpret_cast<const MONITOR_INFO_2W*>(result.Entries)[index].pName;
    default: return nullptr;
  }
}

const WCHAR* DriverName(const EnumerationResult& result, DWORD index) {
  const BYTE* entries = result.Entries;
  switch (result.Level) {
    case 1: return reinterpret_cast<const DRIVER_INFO_1W*>(entries)[index].pName;
    case 2: return reinterpret_cast<const DRIVER_INFO_2W*>(entries)[index].pName;
    case 3: return reinterpret_cast<const DRIVER_INFO_3W*>(entries)[index].pName;
    case 4: return reinterpret_cast<const DRIVER_INFO_4W*>(entries)[index].pName;
    case 5: return reinterpret_cast<const DRIVER_INFO_5W*>(entries)[index].pName;
    case 6: return reinterpret_cast<const DRIVER_INFO_6W*>(entries)[index].pName;
    default: return nullptr;
  }
}

// The system's text for the last error, or the fallback; formatted into the log line.
void LogEnumMonitorsFailure(InstallContext& context, const WCHAR* format) {
  DWORD code = GetLastError();
  WCHAR* description = SystemErrorText(code);
  LogLine(context, format, description != nullptr && description[0] != 0 ? description : L"No Error or no description");
  if (description != nullptr) LocalFree(description);
  SetLastError(code);
}

void ReleaseEntries(EnumerationResult& result) {
  if (result.Entries != nullptr) GlobalFree(result.Entries);
  result.Entries = nullptr;
  result.Count = 0;
}

}  // namespace

EnumerationResult EnumerateMonitors(InstallContext& context) {
  EnumerationResult result = {nullptr, 2, 0};
  DWORD count = 0;
  TwoCallResult query = QueryTwice([&count](BYTE* buffer, DWORD bytes, DWORD* needed) {
    return EnumMonitorsW(nullptr, 2, buffer, bytes, needed, &count);
  });
  switch (query.Outcome) {
    case TwoCallNothing: LogLine(context, L"1. EnumMonitors returns true"); break;
    case TwoCallSizeFailed: LogEnumMonitorsFailure(context, L"2. EnumMonitors  failed with code: %s"); break;
    case TwoCallNoMemory: LogLine(context, L"3. EnumMonitors - can't allocate memory for buffer"); break;
    case TwoCallReadFailed: LogEnumMonitorsFailure(context, L"3. EnumMonitors  failed with code: %s"); break;
    case TwoCallFilled:
      result.Entries = query.Block;
      result.Count = count;
      if (result.Count == 0) ReleaseEntries(result);
      break;
  }
  return result;
}

int FindPortMonitor(const EnumerationResult& result) {
  if (result.Entries == nullptr) return -1;
  for (DWORD i = 0; i < result.Count; ++i)
    if (SameName(MonitorName(result, i), PortMonitorName)) return static_cast<int>(i);
  return -1;
}

void ListMonitors(InstallContext& context, const EnumerationResult& result) {
  // Only records that carry a name at their start can be listed; anything else lists as empty.
  bool readable = result.Entries != nullptr && (result.Level == 1 || result.Level == 2);
  DWORD count = readable ? result.Count : 0;
  LogLine(context, L"------- %d existing monitors ----------", static_cast<int>(count));
  for (DWORD i = 0; i < count; ++i) {
    const WCHAR* name = MonitorName(result, i);
    LogLine(context, L"%d. %s", static_cast<int>(i + 1), name != nullptr ? name : L"***EMPTY***");
  }
  LogLine(context, L"---------------------------------------");
}

EnumerationResult EnumerateDrivers(const WCHAR* environment) {
  EnumerationResult result = {nullptr, 6, 0};
  WCHAR* environmentName = const_cast<WCHAR*>(environment);
  DWORD count = 0;
  TwoCallResult query = QueryTwice([environmentName, &count](BYTE* buffer, DWORD bytes, DWORD* needed) {
    return EnumPrinterDriversW(nullptr, environmentName, 6, buffer, bytes, needed, &count);
  });
  if (query.Outcome == TwoCallFilled) {
    result.Entries = query.Block;
    result.Count = count;
    if (result.Count == 0) ReleaseEntries(result);
  }
  return result;
}

int FindPrinterDriver(const EnumerationResult& result) {
  if (result.Entries == nullptr) return -1;
  for (DWORD i = 0; i < result.Count; ++i)
    if (SameName(DriverName(result, i), PrinterDriverName)) return static_cast<int>(i);
  return -1;
}
