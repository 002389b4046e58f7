#include "spooler_service.h"

#include "../log/install_log.h"
#include "../util/two_call_query.h"

namespace {

const WCHAR SpoolerServiceName[] = L"spooler";
// STANDARD_RIGHTS_REQUIRED | SC_MANAGER_CONNECT
const DWORD ManagerAccess = 0xF0001;
// and SC_MANAGER_ENUMERATE_SERVICE, to find the spooler's dependents
const DWORD RestartManagerAccess = ManagerAccess | SC_MANAGER_ENUMERATE_SERVICE;
// SERVICE_QUERY_STATUS | SERVICE_START
const DWORD CheckAccess = 0x14;
// SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP, and SERVICE_ENUMERATE_DEPENDENTS
const DWORD RestartAccess = 0x34 | SERVICE_ENUMERATE_DEPENDENTS;
const DWORD DependentAccess = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;

// A query that fails leaves the last state read in force.
void RefreshStatus(SC_HANDLE service, SERVICE_STATUS& status) {
  SERVICE_STATUS fresh = {};
  if (QueryServiceStatus(service, &fresh)) status = fresh;
}

// Polls until the service reaches `state`: a query first, then up to the pauses a query each.
bool WaitForServiceState(SC_HANDLE service, DWORD state) {
  SERVICE_STATUS status = {};
  RefreshStatus(service, status);
  for (int pause = 0; pause < SpoolerStatePolls; ++pause) {
    if (status.dwCurrentState == state) return true;
    Sleep(SpoolerStatePauseMs);
    RefreshStatus(service, status);
  }
  return status.dwCurrentState == state;
}

// Whether the service's configured dependencies ("DependOnService" in its registry key) name the
// spooler.
bool DependsOnSpooler(const WCHAR* service) {
  WCHAR path[300] = L"SYSTEM\\CurrentControlSet\\Services\\";
  if (lstrlenW(service) > 200) return false;
  lstrcatW(path, service);
  WCHAR names[512] = {};
  DWORD bytes = sizeof(names) - 2 * sizeof(WCHAR);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, path, L"DependOnService", RRF_RT_REG_MULTI_SZ, nullptr, names, &bytes) != ERROR_SUCCESS) return false;
  for (const WCHAR* name = names; *name != 0; name += lstrlenW(name) + 1)
    if (CompareStringOrdinal(name, -1, SpoolerServiceName, -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

// The running services that depend on the spooler, in the order to stop them, into `names`
// (newest first, so reversed: the caller walks it from the tail). EnumDependentServicesW lists
// them, dependents of dependents first; where it lists none (Wine answers every query with an
// empty list), the running services whose configuration names the spooler.
void ListActiveDependents(SpoolerRestart& restart, StringList& names) {
  DWORD count = 0;
  SC_HANDLE service = restart.Service;
  TwoCallResult query = QueryTwice([service, &count](BYTE* buffer, DWORD bytes, DWORD* needed) {
    return EnumDependentServicesW(service, SERVICE_ACTIVE, reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer), bytes, needed, &count);
  });
  if (query.Outcome == TwoCallFilled) {
    const ENUM_SERVICE_STATUSW* dependents = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(query.Block);
    for (DWORD i = 0; i < count; ++i) AddUnique(names, dependents[i].lpServiceName);
    GlobalFree(query.Block);
    return;
  }
  SC_HANDLE manager = restart.ServiceManager;
  query = QueryTwice([manager, &count](BYTE* buffer, DWORD bytes, DWORD* needed) {
    return EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buffer, bytes, needed, &count, nullptr,
                                 nullptr);
  });
  if (query.Outcome != TwoCallFilled) return;
  const ENUM_SERVICE_STATUS_PROCESSW* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(query.Block);
  for (DWORD i = 0; i < count; ++i)
    if (DependsOnSpooler(services[i].lpServiceName)) AddUnique(names, services[i].lpServiceName);
  GlobalFree(query.Block);
}

// Stops every running service that depends on the spooler, each awaited; the names of those
// stopped go to StoppedDependents.
void StopDependents(SpoolerRestart& restart) {
  StringList names = nullptr;
  ListActiveDependents(restart, names);
  // The list holds the stop order reversed; turn it round.
  StringList order = nullptr;
  while (names != nullptr) {
    StringListEntry* entry = names;
    names = entry->next;
    entry->next = order;
    order = entry;
  }
  for (StringListEntry* entry = order; entry != nullptr; entry = entry->next) {
    SC_HANDLE dependent = OpenServiceW(restart.ServiceManager, entry->text, DependentAccess);
    if (dependent == nullptr) continue;
    if (restart.Context != nullptr) LogLine(*restart.Context, L"Stop dependent service %s", entry->text);
    SERVICE_STATUS status = {};
    if (ControlService(dependent, SERVICE_CONTROL_STOP, &status) || GetLastError() == ERROR_SERVICE_NOT_ACTIVE) {
      AddUnique(restart.StoppedDependents, entry->text);
      WaitForServiceState(dependent, SERVICE_STOPPED);
    }
    CloseServiceHandle(dependent);
  }
  FreeAll(order);
}

// Starts the dependents that StopDependents stopped, the last stopped first, each awaited.
void StartDependents(SpoolerRestart& restart) {
  for (StringListEntry* entry = restart.StoppedDependents; entry != nullptr; entry = entry->next) {
    SC_HANDLE dependent = OpenServiceW(restart.ServiceManager, entry->text, DependentAccess);
    if (dependent == nullptr) continue;
    if (restart.Context != nullptr) LogLine(*restart.Context, L"Start dependent service %s", entry->text);
    StartServiceW(dependent, 0, nullptr);
    WaitForServiceState(dependent, SERVICE_RUNNING);
    CloseServiceHandle(dependent);
  }
  FreeAll(restart.StoppedDependents);
  restart.StoppedDependents = nullptr;
}

}  // namespace

bool StartSpoolerAndWait(SC_HANDLE service) {
  // Only the state decides: a service that already runs refuses the start, and that is fine.
  StartServiceW(service, 0, nullptr);
  return WaitForServiceState(service, SERVICE_RUNNING);
}

bool CheckSpooler(InstallContext& context) {
  LogLine(context, L">Check Spooler");
  LogDepthScope depth(context);

  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, ManagerAccess);
  if (manager == nullptr) {
    LogError(context, 1, L"Can't open service manager.");
    return false;
  }
  bool result;
  SC_HANDLE service = OpenServiceW(manager, SpoolerServiceName, CheckAccess);
  if (service == nullptr) {
    LogError(context, 2, L"Can't open the spooler");
    result = false;
  } else {
    result = true;
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING) {
      if (!StartSpoolerAndWait(service)) {
        LogError(context, 4, L"Can't start the spooler");
        result = false;
      }
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  return result;
}

SpoolerRestart::SpoolerRestart(InstallContext* context)
    : Context(context), ServiceManager(nullptr), Service(nullptr), Stopped(0), StoppedDependents(nullptr) {
  if (Context != nullptr) LogLine(*Context, L">Restart Spooler");

  ServiceManager = OpenSCManagerW(nullptr, nullptr, RestartManagerAccess);
  if (ServiceManager == nullptr) {
    if (Context != nullptr) LogError(*Context, 1, L"Can't open service manager.");
    return;
  }
  Service = OpenServiceW(ServiceManager, SpoolerServiceName, RestartAccess);
  if (Service == nullptr) {
    if (Context != nullptr) LogError(*Context, 2, L"Can't open the spooler");
    return;
  }

  StopDependents(*this);
  SERVICE_STATUS status = {};
  if (!ControlService(Service, SERVICE_CONTROL_STOP, &status)) {
    DWORD code = GetLastError();
    // A spooler that is not running needs no stop.
    if (code != ERROR_SERVICE_NOT_ACTIVE && Context != nullptr)
      LogError(*Context, 5, L"ControlService failed with code %d (0x%x)", static_cast<int>(code), static_cast<unsigned>(code));
  }
  Stopped = 1;

  if (!WaitForServiceState(Service, SERVICE_STOPPED) && Context != nullptr) LogError(*Context, 3, L"Can't stop the spooler");
}

SpoolerRestart::~SpoolerRestart() {
  if (Service != nullptr) {
    if (Stopped && !StartSpoolerAndWait(Service) && Context != nullptr) LogError(*Context, 4, L"Can't start the spooler");
    StartDependents(*this);
    CloseServiceHandle(Service);
    Service = nullptr;
  }
  if (ServiceManager != nullptr) {
    CloseServiceHandle(ServiceManager);
    ServiceManager = nullptr;
  }
}
