#include "spooler_switch.h"

#include <vector>

namespace {

bool WaitForState(SC_HANDLE service, DWORD state) {
  for (int i = 0; i < 100; ++i) {
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState == state) return true;
    Sleep(200);
  }
  return false;
}

}  // namespace

SpoolerSwitch::SpoolerSwitch() {
  Manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (Manager != nullptr) Service = OpenServiceW(Manager, L"spooler", SERVICE_ALL_ACCESS);
  if (Service == nullptr) return;
  DWORD needed = 0;
  QueryServiceConfigW(Service, nullptr, 0, &needed);
  std::vector<BYTE> config(needed > 0 ? needed : 1);
  if (QueryServiceConfigW(Service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data()), needed, &needed))
    OriginalStartType = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data())->dwStartType;
  WasRunning = State() == SERVICE_RUNNING;
}

SpoolerSwitch::~SpoolerSwitch() {
  if (Service != nullptr) {
    if (Disabled)
      ChangeServiceConfigW(Service, SERVICE_NO_CHANGE, OriginalStartType, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr);
    if (WasRunning && State() != SERVICE_RUNNING) {
      StartServiceW(Service, 0, nullptr);
      WaitForState(Service, SERVICE_RUNNING);
    }
    CloseServiceHandle(Service);
  }
  if (Manager != nullptr) CloseServiceHandle(Manager);
}

DWORD SpoolerSwitch::State() {
  SERVICE_STATUS status = {};
  if (Service == nullptr || !QueryServiceStatus(Service, &status)) return 0;
  return status.dwCurrentState;
}

bool SpoolerSwitch::Stop() {
  if (Service == nullptr) return false;
  SERVICE_STATUS status = {};
  ControlService(Service, SERVICE_CONTROL_STOP, &status);
  return WaitForState(Service, SERVICE_STOPPED);
}

bool SpoolerSwitch::Disable() {
  if (Service == nullptr) return false;
  Disabled = ChangeServiceConfigW(Service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr) != 0;
  return Disabled;
}
