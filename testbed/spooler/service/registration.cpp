// `quillspoolsvc.exe register`: makes this program the "Spooler" service of the prefix in
// place of Wine's (demand start, stopped) and puts the spooler state back to a plain machine.
#include <windows.h>

#include <stdio.h>

#include "../common/testbed_spooler_keys.h"
#include "../control/spooler_testbed.h"

int RegisterSpoolerService() {
  wchar_t path[MAX_PATH + 2] = L"\"";
  DWORD length = GetModuleFileNameW(nullptr, path + 1, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  wcscat(path, L"\"");
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) {
    fwprintf(stderr, L"register: OpenSCManagerW failed with %lu\n", GetLastError());
    return 3;
  }
  // Stop Wine's spooler if something started it; ours takes over the same name.
  SC_HANDLE service = OpenServiceW(manager, TESTBED_SERVICE_NAME, SERVICE_ALL_ACCESS);
  if (service) {
    SERVICE_STATUS status = {};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
      Sleep(50);
    if (!ChangeServiceConfigW(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path,
                              nullptr, nullptr, nullptr, nullptr, nullptr, L"Print Spooler (Quillstack test bed)")) {
      fwprintf(stderr, L"register: ChangeServiceConfigW failed with %lu\n", GetLastError());
      CloseServiceHandle(service);
      CloseServiceHandle(manager);
      return 4;
    }
  } else {
    service = CreateServiceW(manager, TESTBED_SERVICE_NAME, L"Print Spooler (Quillstack test bed)", SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
    if (!service) {
      fwprintf(stderr, L"register: CreateServiceW failed with %lu\n", GetLastError());
      CloseServiceHandle(manager);
      return 5;
    }
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  if (!ResetSpooler(SpoolerLeftStopped)) {
    fwprintf(stderr, L"register: reset failed with %lu\n", GetLastError());
    return 6;
  }
  return 0;
}
