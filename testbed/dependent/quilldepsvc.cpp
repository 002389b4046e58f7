// The test bed's "QuillSpoolerDependent" service: it depends on "Spooler" and does nothing but
// run, so that whoever stops the spooler meets a running dependent, as with the fax service.
//   quilldepsvc.exe register   - creates the service (demand start, stopped)
//   (started by the service manager) - runs until it is asked to stop
// Each start and stop is appended to C:\windows\temp\quilldepsvc.log ("running", "stopped").
// Windows refuses to stop a service while a dependent runs (ERROR_DEPENDENT_SERVICES_RUNNING);
// Wine's service manager does not, so the service watches the spooler instead and writes
// "spooler stopped while running" when it sees the spooler stop under it.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

const wchar_t ServiceName[] = L"QuillSpoolerDependent";
SERVICE_STATUS_HANDLE StatusHandle = nullptr;
SERVICE_STATUS Status = {};
HANDLE StopEvent = nullptr;

void Trace(const char* text) {
  HANDLE file = CreateFileW(L"C:\\windows\\temp\\quilldepsvc.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char line[64];
  int n = snprintf(line, sizeof(line), "[%lu] %s\r\n", GetCurrentProcessId(), text);
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(file);
}

void Report(DWORD state) {
  Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  Status.dwCurrentState = state;
  Status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(StatusHandle, &Status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(StopEvent);
  }
  return NO_ERROR;
}

// Polls the spooler's state every 20 ms until the service is asked to stop.
void WatchSpooler() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE spooler = manager != nullptr ? OpenServiceW(manager, L"Spooler", SERVICE_QUERY_STATUS) : nullptr;
  bool reported = false;
  while (WaitForSingleObject(StopEvent, 20) == WAIT_TIMEOUT) {
    SERVICE_STATUS status = {};
    if (spooler == nullptr || !QueryServiceStatus(spooler, &status)) continue;
    bool stopping = status.dwCurrentState == SERVICE_STOPPED || status.dwCurrentState == SERVICE_STOP_PENDING;
    if (stopping && !reported) Trace("spooler stopped while running");
    reported = stopping;
  }
  if (spooler != nullptr) CloseServiceHandle(spooler);
  if (manager != nullptr) CloseServiceHandle(manager);
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
  StatusHandle = RegisterServiceCtrlHandlerExW(ServiceName, Control, nullptr);
  if (StatusHandle == nullptr) return;
  StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Traced before it is reported: whoever sees the service running finds the line already there.
  Trace("running");
  Report(SERVICE_RUNNING);
  WatchSpooler();
  Trace("stopped");
  Report(SERVICE_STOPPED);
}

int Register() {
  wchar_t path[MAX_PATH + 2] = L"\"";
  DWORD length = GetModuleFileNameW(nullptr, path + 1, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  wcscat(path, L"\"");
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return 3;
  SC_HANDLE service = CreateServiceW(manager, ServiceName, L"Depends on the spooler (Quillstack test bed)", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path, nullptr, nullptr,
                                     L"Spooler\0", nullptr, nullptr);
  if (service == nullptr && GetLastError() == ERROR_SERVICE_EXISTS) {
    service = OpenServiceW(manager, ServiceName, SERVICE_ALL_ACCESS);
    if (service != nullptr &&
        !ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_DEMAND_START, SERVICE_NO_CHANGE, path, nullptr, nullptr, L"Spooler\0",
                              nullptr, nullptr, nullptr)) {
      CloseServiceHandle(service);
      service = nullptr;
    }
  }
  int result = service != nullptr ? 0 : 4;
  if (service == nullptr) fwprintf(stderr, L"register: %lu\n", GetLastError());
  else CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && wcscmp(argv[1], L"register") == 0) return Register();
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(ServiceName), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
