#include "monitor_host.h"

#include <cstddef>

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "service_trace.h"
#include "switches.h"

namespace {

// The ports of the built-in "Local Port" monitor (the real one lives in localspl.dll, which the
// stand-in does not load).
const wchar_t* const LocalPorts[] = {L"LPT1:", L"COM1:", L"FILE:", L"NUL:"};

// The registry functions a monitor receives in MONITORINIT: plain registry calls on real keys.
LONG WINAPI MonCreateKey(HANDLE key, LPCWSTR sub, DWORD options, REGSAM sam, PSECURITY_ATTRIBUTES sa,
                         PHANDLE result, PDWORD disposition, HANDLE) {
  return RegCreateKeyExW(static_cast<HKEY>(key), sub, 0, nullptr, options, sam, sa,
                         reinterpret_cast<PHKEY>(result), disposition);
}
LONG WINAPI MonOpenKey(HANDLE key, LPCWSTR sub, REGSAM sam, PHANDLE result, HANDLE) {
  return RegOpenKeyExW(static_cast<HKEY>(key), sub, 0, sam, reinterpret_cast<PHKEY>(result));
}
LONG WINAPI MonCloseKey(HANDLE key, HANDLE) { return RegCloseKey(static_cast<HKEY>(key)); }
LONG WINAPI MonDeleteKey(HANDLE key, LPCWSTR sub, HANDLE) { return RegDeleteKeyW(static_cast<HKEY>(key), sub); }
LONG WINAPI MonEnumKey(HANDLE key, DWORD index, LPWSTR name, PDWORD chars, PFILETIME time, HANDLE) {
  return RegEnumKeyExW(static_cast<HKEY>(key), index, name, chars, nullptr, nullptr, nullptr, time);
}
LONG WINAPI MonQueryInfoKey(HANDLE key, PDWORD subKeys, PDWORD keyChars, PDWORD values, PDWORD valueChars,
                            PDWORD dataBytes, PDWORD security, PFILETIME time, HANDLE) {
  return RegQueryInfoKeyW(static_cast<HKEY>(key), nullptr, nullptr, nullptr, subKeys, keyChars, nullptr, values,
                          valueChars, dataBytes, security, time);
}
LONG WINAPI MonSetValue(HANDLE key, LPCWSTR value, DWORD type, const BYTE* data, DWORD bytes, HANDLE) {
  return RegSetValueExW(static_cast<HKEY>(key), value, 0, type, data, bytes);
}
LONG WINAPI MonDeleteValue(HANDLE key, LPCWSTR value, HANDLE) { return RegDeleteValueW(static_cast<HKEY>(key), value); }
LONG WINAPI MonEnumValue(HANDLE key, DWORD index, LPWSTR value, PDWORD chars, PDWORD type, PBYTE data,
                         PDWORD bytes, HANDLE) {
  return RegEnumValueW(static_cast<HKEY>(key), index, value, chars, nullptr, type, data, bytes);
}
LONG WINAPI MonQueryValue(HANDLE key, LPCWSTR value, PDWORD type, PBYTE data, PDWORD bytes, HANDLE) {
  return RegQueryValueExW(static_cast<HKEY>(key), value, nullptr, type, data, bytes);
}

MONITORREG MonitorRegistry = {sizeof(MONITORREG), MonCreateKey,  MonOpenKey,     MonCloseKey,
                              MonDeleteKey,       MonEnumKey,    MonQueryInfoKey, MonSetValue,
                              MonDeleteValue,     MonEnumValue,  MonQueryValue};

typedef LPMONITOR2(WINAPI* InitializeFunction)(PMONITORINIT, PHANDLE);

// The monitor DLL lives in the system folder; AddMonitorW names it by its bare file name.
std::wstring MonitorDllPath(const std::wstring& dllName) {
  if (dllName.find(L'\\') != std::wstring::npos || dllName.find(L'/') != std::wstring::npos) return dllName;
  return SystemDirectory() + L"\\" + dllName;
}

DWORD LoadMonitor(SpoolerState& state, const std::wstring& name, const std::wstring& dllName) {
  std::wstring path = MonitorDllPath(dllName);
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return ERROR_MOD_NOT_FOUND;
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    DWORD error = GetLastError();
    return error ? error : ERROR_MOD_NOT_FOUND;
  }
  InitializeFunction initialize =
      reinterpret_cast<InitializeFunction>(reinterpret_cast<void*>(GetProcAddress(module, "InitializePrintMonitor2")));
  if (!initialize) {
    FreeLibrary(module);
    return ERROR_PROC_NOT_FOUND;
  }
  // The monitor's own registry key: Monitors\<name>, which the registration creates.
  HKEY key = OpenPrintKey(MonitorKeyPath(name), KEY_ALL_ACCESS, true);
  MONITORINIT* init = new MONITORINIT();
  init->cbSize = sizeof(MONITORINIT);
  init->hSpooler = nullptr;
  init->hckRegistryRoot = reinterpret_cast<HKEYMONITOR>(key);
  init->pMonitorReg = &MonitorRegistry;
  init->bLocal = TRUE;
  init->pszServerName = nullptr;
  HANDLE monitor = nullptr;
  SetLastError(0);
  LPMONITOR2 functions = initialize(init, &monitor);
  if (!functions) {
    DWORD error = GetLastError();
    if (key) RegCloseKey(key);
    delete init;
    FreeLibrary(module);
    return error ? error : ERROR_INVALID_FUNCTION;
  }
  state.Monitors.push_back(LoadedMonitor{name, path, module, monitor, functions, key, init});
  TraceLine(L"monitor \"%s\" loaded from %s", name.c_str(), path.c_str());
  return 0;
}

void Unload(LoadedMonitor& monitor) {
  if (monitor.Functions && monitor.Functions->cbSize >= offsetof(MONITOR2, pfnShutdown) + sizeof(void*) &&
      monitor.Functions->pfnShutdown)
    monitor.Functions->pfnShutdown(monitor.Monitor);
  FreeLibrary(monitor.Module);
  if (monitor.RegistryRoot) RegCloseKey(monitor.RegistryRoot);
  delete monitor.Init;
  TraceLine(L"monitor \"%s\" unloaded", monitor.Name.c_str());
}

std::vector<std::wstring> PortsOf(LoadedMonitor& monitor) {
  std::vector<std::wstring> ports;
  if (!monitor.Functions->pfnEnumPorts) return ports;
  DWORD needed = 0, count = 0;
  monitor.Functions->pfnEnumPorts(monitor.Monitor, nullptr, 1, nullptr, 0, &needed, &count);
  if (needed == 0 || needed > 1 << 20) return ports;
  std::vector<BYTE> buffer(needed);
  if (!monitor.Functions->pfnEnumPorts(monitor.Monitor, nullptr, 1, buffer.data(), needed, &needed, &count))
    return ports;
  const PORT_INFO_1W* records = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
  for (DWORD i = 0; i < count && (i + 1) * sizeof(PORT_INFO_1W) <= buffer.size(); ++i)
    if (records[i].pName) ports.push_back(records[i].pName);
  return ports;
}

}  // namespace

void LoadRegisteredMonitors(SpoolerState& state) {
  KeyScope root(OpenPrintKey(L"Monitors", KEY_READ, false));
  if (!root.Key) return;
  for (const std::wstring& name : SubKeyNames(root.Key)) {
    if (name == TESTBED_LOCAL_PORT_MONITOR) continue;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.Key, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    std::wstring dll = ReadTextOr(key, L"Driver", L"");
    RegCloseKey(key);
    DWORD error = dll.empty() ? ERROR_MOD_NOT_FOUND : LoadMonitor(state, name, dll);
    if (error) TraceLine(L"monitor \"%s\" (%s) not loaded: error %lu", name.c_str(), dll.c_str(), error);
  }
}

void UnloadAllMonitors(SpoolerState& state) {
  for (LoadedMonitor& monitor : state.Monitors) Unload(monitor);
  state.Monitors.clear();
}

DWORD AddMonitor(SpoolerState& state, const std::wstring& name, const std::wstring& dllName) {
  if (DWORD fault = TakeFault(TESTBED_FAIL_ADD_MONITOR, DefaultFaultError(TESTBED_FAIL_ADD_MONITOR))) return fault;
  {
    KeyScope existing(OpenPrintKey(MonitorKeyPath(name), KEY_READ, false));
    if (existing.Key) return ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
  }
  DWORD error = LoadMonitor(state, name, dllName);
  if (error) {
    // LoadMonitor created the monitor's key for the monitor to use; a failed add leaves nothing.
    KeyScope monitors(OpenPrintKey(L"Monitors", KEY_ALL_ACCESS, false));
    if (monitors.Key) RegDeleteTreeW(monitors.Key, name.c_str());
    return error;
  }
  KeyScope key(OpenPrintKey(MonitorKeyPath(name), KEY_ALL_ACCESS, true));
  if (!key.Key) return GetLastError();
  return static_cast<DWORD>(WriteText(key.Key, L"Driver", dllName));
}

DWORD DeleteMonitor(SpoolerState& state, const std::wstring& name) {
  if (DWORD fault = TakeFault(TESTBED_FAIL_DELETE_MONITOR, DefaultFaultError(TESTBED_FAIL_DELETE_MONITOR)))
    return fault;
  KeyScope monitors(OpenPrintKey(L"Monitors", KEY_ALL_ACCESS, false));
  KeyScope existing(monitors.Key ? OpenPrintKey(MonitorKeyPath(name), KEY_READ, false) : nullptr);
  if (!existing.Key) return ERROR_UNKNOWN_PRINT_MONITOR;
  // Refused while the despooler hands it a job, or while a printer prints to one of its ports.
  if (SameText(state.BusyMonitor, name)) return ERROR_PRINT_MONITOR_IN_USE;
  std::vector<PortOwner> ports = EnumerateAllPorts(state);
  std::vector<PrinterEntry> printers = ReadPrinterEntries();
  for (const PortOwner& port : ports) {
    if (!SameText(port.Monitor, name)) continue;
    for (const PrinterEntry& printer : printers)
      for (const std::wstring& used : SplitPorts(printer.Port))
        if (SameText(used, port.Port)) return ERROR_PRINT_MONITOR_IN_USE;
  }
  for (size_t i = 0; i < state.Monitors.size(); ++i) {
    if (SameText(state.Monitors[i].Name, name)) {
      Unload(state.Monitors[i]);
      state.Monitors.erase(state.Monitors.begin() + i);
      break;
    }
  }
  LONG status = RegDeleteTreeW(monitors.Key, name.c_str());
  return status == ERROR_SUCCESS ? 0 : static_cast<DWORD>(status);
}

std::vector<PortOwner> EnumerateAllPorts(SpoolerState& state) {
  std::vector<PortOwner> ports;
  KeyScope local(OpenPrintKey(MonitorKeyPath(TESTBED_LOCAL_PORT_MONITOR), KEY_READ, false));
  if (local.Key)
    for (const wchar_t* port : LocalPorts) ports.push_back(PortOwner{port, TESTBED_LOCAL_PORT_MONITOR, nullptr});
  for (LoadedMonitor& monitor : state.Monitors)
    for (const std::wstring& port : PortsOf(monitor)) ports.push_back(PortOwner{port, monitor.Name, &monitor});
  return ports;
}
