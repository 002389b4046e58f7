// Port monitors inside the service: loaded with LoadLibrary and InitializePrintMonitor2 when the
// service starts and when AddMonitorW adds one, unloaded by DeleteMonitorW and at stop.
#pragma once
#include <string>
#include <vector>

#include "spooler_state.h"

void LoadRegisteredMonitors(SpoolerState& state);
void UnloadAllMonitors(SpoolerState& state);
DWORD AddMonitor(SpoolerState& state, const std::wstring& name, const std::wstring& dllName);
DWORD DeleteMonitor(SpoolerState& state, const std::wstring& name);

// Every port of the machine and the monitor that serves it.
struct PortOwner {
  std::wstring Port;
  std::wstring Monitor;
  LoadedMonitor* Owner;  // null for the built-in ports of "Local Port"
};
std::vector<PortOwner> EnumerateAllPorts(SpoolerState& state);
