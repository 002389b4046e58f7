// Port monitors and ports: EnumMonitorsW, AddMonitorW, DeleteMonitorW, EnumPortsW.
#include <vector>

#include "../common/print_registry.h"
#include "spooler_link.h"

namespace {

struct MonitorEntry {
  std::wstring Name;
  std::wstring Dll;
};

std::vector<MonitorEntry> ReadMonitors() {
  std::vector<MonitorEntry> monitors;
  KeyScope root(OpenPrintKey(L"Monitors", KEY_READ, false));
  if (!root.Key) return monitors;
  for (const std::wstring& name : SubKeyNames(root.Key)) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.Key, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    monitors.push_back(MonitorEntry{name, ReadTextOr(key, L"Driver", L"")});
    RegCloseKey(key);
  }
  return monitors;
}

// Monitors are registered for the machine's own environment only.
bool MonitorEnvironment(const wchar_t* environment) {
  std::wstring canonical;
  return CanonicalEnvironment(environment, canonical) && canonical == L"Windows x64";
}

}  // namespace

extern "C" {

BOOL WINAPI EnumMonitorsW(LPWSTR pName, DWORD Level, LPBYTE pMonitor, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  (void)pName;
  if (!pcbNeeded || !pcReturned) return FailWith(RPC_X_NULL_REF_POINTER);
  if (Level != 1 && Level != 2) return FailWith(ERROR_INVALID_LEVEL);
  if (DWORD error = SpoolerUp()) return FailWith(error);
  std::vector<MonitorEntry> monitors = ReadMonitors();
  DWORD recordBytes = Level == 1 ? sizeof(MONITOR_INFO_1W) : sizeof(MONITOR_INFO_2W);
  return PackRecords(pMonitor, cbBuf, pcbNeeded, pcReturned, static_cast<DWORD>(monitors.size()), recordBytes,
                     [&](InfoPacker& packer, BYTE* record, DWORD i) {
                       LPWSTR name = packer.Text(monitors[i].Name);
                       if (Level == 1) {
                         if (record) reinterpret_cast<MONITOR_INFO_1W*>(record)->pName = name;
                         return;
                       }
                       LPWSTR environment = packer.Text(L"Windows x64");
                       LPWSTR dll = packer.Text(monitors[i].Dll);
                       if (!record) return;
                       MONITOR_INFO_2W* info = reinterpret_cast<MONITOR_INFO_2W*>(record);
                       info->pName = name;
                       info->pEnvironment = environment;
                       info->pDLLName = dll;
                     });
}

BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitors) {
  (void)pName;
  if (Level != 2) return FailWith(ERROR_INVALID_LEVEL);
  if (!pMonitors) return FailWith(RPC_X_NULL_REF_POINTER);
  const MONITOR_INFO_2W* info = reinterpret_cast<const MONITOR_INFO_2W*>(pMonitors);
  if (DWORD error = SpoolerUp()) return FailWith(error);
  if (!info->pName || !*info->pName || !info->pDLLName || !*info->pDLLName) return FailWith(ERROR_INVALID_PARAMETER);
  if (!FitsRequest(info->pName) || !FitsRequest(info->pDLLName)) return FailWith(ERROR_INVALID_PARAMETER);
  if (!MonitorEnvironment(info->pEnvironment)) return FailWith(ERROR_INVALID_ENVIRONMENT);
  DWORD error = CallService(SpoolerAddMonitor, 0, info->pName, info->pDLLName);
  return error ? FailWith(error) : TRUE;
}

BOOL WINAPI DeleteMonitorW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pMonitorName) {
  (void)pName;
  if (DWORD error = SpoolerUp()) return FailWith(error);
  if (!pMonitorName || !*pMonitorName || !FitsRequest(pMonitorName)) return FailWith(ERROR_INVALID_PARAMETER);
  if (!MonitorEnvironment(pEnvironment)) return FailWith(ERROR_INVALID_ENVIRONMENT);
  DWORD error = CallService(SpoolerDeleteMonitor, 0, pMonitorName, L"");
  return error ? FailWith(error) : TRUE;
}

BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned) {
  (void)pName;
  if (!pcbNeeded || !pcReturned) return FailWith(RPC_X_NULL_REF_POINTER);
  if (Level != 1 && Level != 2) return FailWith(ERROR_INVALID_LEVEL);
  SpoolerReply* own = new SpoolerReply();
  DWORD error = CallService(SpoolerEnumPorts, 0, L"", L"", own);
  if (error) {
    delete own;
    return FailWith(error);
  }
  std::vector<std::wstring> ports, monitors;
  for (const wchar_t* at = own->Text; *at;) {
    ports.push_back(at);
    at += wcslen(at) + 1;
    monitors.push_back(at);
    at += wcslen(at) + 1;
  }
  delete own;
  DWORD recordBytes = Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  return PackRecords(pPorts, cbBuf, pcbNeeded, pcReturned, static_cast<DWORD>(ports.size()), recordBytes,
                     [&](InfoPacker& packer, BYTE* record, DWORD i) {
                       LPWSTR port = packer.Text(ports[i]);
                       if (Level == 1) {
                         if (record) reinterpret_cast<PORT_INFO_1W*>(record)->pName = port;
                         return;
                       }
                       LPWSTR monitor = packer.Text(monitors[i]);
                       LPWSTR description = packer.Text(monitors[i]);
                       if (!record) return;
                       PORT_INFO_2W* info = reinterpret_cast<PORT_INFO_2W*>(record);
                       info->pPortName = port;
                       info->pMonitorName = monitor;
                       info->pDescription = description;
                       info->fPortType = PORT_TYPE_WRITE;
                     });
}

}  // extern "C"
