#include "spooler_testbed.h"

#include <wchar.h>

#include "../common/spooler_pipe_client.h"
#include "../common/switch_values.h"
#include "../common/testbed_spooler_keys.h"

namespace {

const wchar_t* FaultValueName(SpoolerFault fault) {
  switch (fault) {
    case FaultAddMonitorW: return TESTBED_FAIL_ADD_MONITOR;
    case FaultDeleteMonitorW: return TESTBED_FAIL_DELETE_MONITOR;
    case FaultDeletePrinterDriverExW: return TESTBED_FAIL_DELETE_DRIVER;
    case FaultAddPrinterW: return TESTBED_FAIL_ADD_PRINTER;
    case FaultAddPrinterDriverExW: return TESTBED_FAIL_ADD_DRIVER;
    case FaultEnumPrintersW: return TESTBED_FAIL_ENUM_PRINTERS;
    case FaultIgnoreStopRequest: return TESTBED_IGNORE_STOP;
    case FaultFailStart: return TESTBED_FAIL_START;
  }
  return nullptr;
}

struct ServiceHandles {
  SC_HANDLE Manager = nullptr;
  SC_HANDLE Service = nullptr;
  explicit ServiceHandles(DWORD access) {
    Manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (Manager) Service = OpenServiceW(Manager, TESTBED_SERVICE_NAME, access);
  }
  ~ServiceHandles() {
    if (Service) CloseServiceHandle(Service);
    if (Manager) CloseServiceHandle(Manager);
  }
  ServiceHandles(const ServiceHandles&) = delete;
  ServiceHandles& operator=(const ServiceHandles&) = delete;
};

DWORD QueryState(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Polls every 50 ms until the state is reached or the time is up.
bool WaitForState(SC_HANDLE service, DWORD wanted, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD state = QueryState(service);
    if (state == wanted) return true;
    // A start that failed ends in SERVICE_STOPPED: no use waiting for SERVICE_RUNNING.
    if (wanted == SERVICE_RUNNING && state == SERVICE_STOPPED && GetTickCount() - start > 500) return false;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
}

// Deletes `subKey` below HKLM with everything in it and creates it again, empty.
bool RecreateKey(const wchar_t* subKey) {
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &parent) != ERROR_SUCCESS)
    return false;
  LONG status = RegDeleteTreeW(parent, subKey);
  RegCloseKey(parent);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return false;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

bool WriteString(const wchar_t* subKey, const wchar_t* name, const wchar_t* text) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// Deletes every file directly inside `folder` (which ends in a backslash).
bool DeleteFilesIn(const wchar_t* folder) {
  wchar_t pattern[MAX_PATH + 4];
  _snwprintf(pattern, MAX_PATH + 4, L"%s*", folder);
  pattern[MAX_PATH + 3] = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool all = true;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    wchar_t path[MAX_PATH + 4];
    _snwprintf(path, MAX_PATH + 4, L"%s%s", folder, found.cFileName);
    path[MAX_PATH + 3] = 0;
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    // The service reports "stopped" a moment before its process has let go of the DLLs it
    // loaded: give a file that is still held a few seconds.
    bool deleted = false;
    for (int attempt = 0; attempt < 100 && !deleted; ++attempt) {
      deleted = DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
      if (!deleted) Sleep(50);
    }
    if (!deleted) all = false;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return all;
}

// Creates the folder and every missing folder above it.
void CreateFolderChain(const wchar_t* folder) {
  wchar_t path[MAX_PATH];
  wcsncpy(path, folder, MAX_PATH - 1);
  path[MAX_PATH - 1] = 0;
  for (wchar_t* at = wcschr(path, L'\\'); at; at = wcschr(at + 1, L'\\')) {
    if (at == path || at[-1] == L':') continue;
    *at = 0;
    CreateDirectoryW(path, nullptr);
    *at = L'\\';
  }
  CreateDirectoryW(path, nullptr);
}

bool ResetState(bool withLocalPort, SpoolerAfterReset after) {
  // Faults that would keep the service from stopping or starting go first.
  WriteSwitch(TESTBED_IGNORE_STOP, 0);
  WriteSwitch(TESTBED_FAIL_START, 0);
  if (!StopSpoolerService()) return false;
  bool ok = RecreateKey(TESTBED_SWITCH_KEY);
  ok = WriteSwitch(TESTBED_DRIVER_CACHE, 1) && ok;
  ok = RecreateKey(TESTBED_MONITORS_KEY) && ok;
  if (withLocalPort)
    ok = WriteString(TESTBED_MONITORS_KEY L"\\" TESTBED_LOCAL_PORT_MONITOR, L"Driver", TESTBED_LOCAL_PORT_DLL) && ok;
  ok = RecreateKey(TESTBED_PRINTERS_KEY) && ok;
  static const wchar_t* const environments[] = {L"Windows x64", L"Windows NT x86"};
  for (const wchar_t* environment : environments) {
    wchar_t key[200];
    _snwprintf(key, 200, L"%s\\%s\\Drivers\\Version-3", TESTBED_ENVIRONMENTS_KEY, environment);
    key[199] = 0;
    ok = RecreateKey(key) && ok;
    wchar_t folder[MAX_PATH];
    if (GetDriverVersionFolder(environment, folder, MAX_PATH)) {
      CreateFolderChain(folder);
      ok = DeleteFilesIn(folder) && ok;
    }
  }
  wchar_t spool[MAX_PATH];
  UINT length = GetSystemDirectoryW(spool, MAX_PATH - 40);
  if (length > 0 && length < MAX_PATH - 40) {
    wcscat(spool, L"\\spool\\PRINTERS\\");
    ok = DeleteFilesIn(spool) && ok;
  }
  HKEY windows = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, TESTBED_WINDOWS_KEY, 0, KEY_SET_VALUE, &windows) == ERROR_SUCCESS) {
    RegDeleteValueW(windows, L"Device");
    RegCloseKey(windows);
  }
  if (after == SpoolerLeftRunning) ok = StartSpoolerService() && ok;
  return ok;
}

}  // namespace

bool ResetSpooler(SpoolerAfterReset after) { return ResetState(true, after); }
bool EmptySpooler(SpoolerAfterReset after) { return ResetState(false, after); }

bool SetSpoolerFault(SpoolerFault fault, DWORD count, DWORD error) {
  const wchar_t* name = FaultValueName(fault);
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  wchar_t errorName[96];
  _snwprintf(errorName, 96, L"%sError", name);
  errorName[95] = 0;
  return WriteSwitch(errorName, error) && WriteSwitch(name, count);
}

DWORD SpoolerFaultCount(SpoolerFault fault) {
  const wchar_t* name = FaultValueName(fault);
  return name ? ReadSwitch(name, 0) : 0;
}

bool SetDriverCache(bool on) { return WriteSwitch(TESTBED_DRIVER_CACHE, on ? 1 : 0); }

bool StartSpoolerService(DWORD timeoutMs) {
  ServiceHandles handles(SERVICE_START | SERVICE_QUERY_STATUS);
  if (!handles.Service) return false;
  if (QueryState(handles.Service) == SERVICE_RUNNING) return true;
  // Right after a stop, Wine's service manager may still be letting go of the old process and
  // refuses the start (seen: 1359); it takes it a moment later.
  DWORD start = GetTickCount();
  while (!StartServiceW(handles.Service, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
    if (GetTickCount() - start > 5000) return false;
    Sleep(100);
  }
  if (WaitForState(handles.Service, SERVICE_RUNNING, timeoutMs)) return true;
  SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
  return false;
}

bool StopSpoolerService(DWORD timeoutMs) {
  ServiceHandles handles(SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (!handles.Service) return false;
  if (QueryState(handles.Service) == SERVICE_STOPPED) return true;
  // A running service is asked through its pipe first. Wine's service manager kills a service
  // on the second ControlService(STOP) when it ignored the first one (and then reports
  // SERVICE_RUNNING for good), so the test bed never sends a stop request that might be the
  // second one.
  static SpoolerRequest request;
  static SpoolerReply reply;
  request = SpoolerRequest();
  request.Command = SpoolerShutdown;
  if (CallSpooler(request, reply) != 0) {
    SERVICE_STATUS status = {};
    if (!ControlService(handles.Service, SERVICE_CONTROL_STOP, &status) && GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
      return false;
  }
  if (WaitForState(handles.Service, SERVICE_STOPPED, timeoutMs)) return true;
  SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
  return false;
}

DWORD SpoolerServiceState() {
  ServiceHandles handles(SERVICE_QUERY_STATUS);
  return handles.Service ? QueryState(handles.Service) : 0;
}

DWORD LastSpoolerJobError() { return ReadSwitch(TESTBED_LAST_JOB_ERROR, 0); }
DWORD SpoolerJobsDespooled() { return ReadSwitch(TESTBED_JOBS_DESPOOLED, 0); }

bool WaitForSpoolerJobsDespooled(DWORD count, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (SpoolerJobsDespooled() < count) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

bool GetDriverVersionFolder(const wchar_t* environment, wchar_t* folder, DWORD chars) {
  const wchar_t* sub = nullptr;
  if (_wcsicmp(environment, L"Windows x64") == 0) sub = L"x64";
  if (_wcsicmp(environment, L"Windows NT x86") == 0) sub = L"W32X86";
  if (!sub) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return false;
  }
  wchar_t system[MAX_PATH];
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  int written = _snwprintf(folder, chars, L"%s\\spool\\drivers\\%s\\3\\", system, sub);
  if (written < 0 || static_cast<DWORD>(written) >= chars) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}
