// The print spooler stand-in's service process, registered as "Spooler" in the test prefix.
// While it runs it serves the request pipe of the stand-in's winspool.drv and holds what the
// real spooler holds: the loaded port monitors and the driver files of printers in use.
#include <windows.h>

#include <wchar.h>

#include "../common/testbed_spooler_keys.h"
#include "pipe_server.h"
#include "service_parts.h"
#include "service_trace.h"
#include "switches.h"

namespace {

SERVICE_STATUS_HANDLE StatusHandle = nullptr;
SERVICE_STATUS Status = {};
HANDLE StopEvent = nullptr;

void ReportStatus(DWORD state, DWORD exitCode) {
  Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  Status.dwCurrentState = state;
  Status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  Status.dwWin32ExitCode = exitCode;
  Status.dwServiceSpecificExitCode = exitCode == ERROR_SERVICE_SPECIFIC_ERROR ? 1 : 0;
  Status.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 3000 : 0;
  Status.dwCheckPoint = Status.dwWaitHint ? Status.dwCheckPoint + 1 : 0;
  SetServiceStatus(StatusHandle, &Status);
}

DWORD WINAPI RestateRunning(LPVOID) {
  Sleep(100);
  if (WaitForSingleObject(StopEvent, 0) != WAIT_OBJECT_0) ReportStatus(SERVICE_RUNNING, NO_ERROR);
  return 0;
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      TraceLine(L"control %lu", control);
      // The fault "ignore the next stop request": the request is accepted and nothing happens,
      // like a spooler that is busy and never gets round to stopping.
      if (TakeFault(TESTBED_IGNORE_STOP, ERROR_SUCCESS + 1) != 0) {
        TraceLine(L"stop request ignored by the test bed's fault switch");
        // Wine's service manager takes a control as still in progress until the service reports
        // a status after the handler has returned; report it again from another thread.
        HANDLE thread = CreateThread(nullptr, 0, RestateRunning, nullptr, 0, nullptr);
        if (thread) CloseHandle(thread);
        return NO_ERROR;
      }
      ReportStatus(SERVICE_STOP_PENDING, NO_ERROR);
      SetEvent(StopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI SpoolerServiceMain(DWORD, LPWSTR*) {
  StatusHandle = RegisterServiceCtrlHandlerExW(TESTBED_SERVICE_NAME, ControlHandler, nullptr);
  if (!StatusHandle) return;
  ReportStatus(SERVICE_START_PENDING, NO_ERROR);
  // The fault "fail the next start": the process comes up and stops again at once with an
  // error, as a spooler does whose start-up fails.
  if (TakeFault(TESTBED_FAIL_START, ERROR_SERVICE_SPECIFIC_ERROR) != 0) {
    TraceLine(L"start refused by the test bed's fault switch");
    ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
    return;
  }
  StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Static: a despooler thread that is still inside a monitor call when the service stops may
  // touch it until the process ends.
  static SpoolerState state;
  // Job ids go on across restarts, as on Windows; a reset starts them at 1 again.
  state.NextJobId = ReadSwitch(TESTBED_NEXT_JOB_ID, 1);
  StartSpoolerParts(state);
  ReportStatus(SERVICE_RUNNING, NO_ERROR);
  TraceLine(L"running");
  DWORD generation = GetTickCount() ^ (GetCurrentProcessId() << 16);
  bool served = ServeRequests(state, generation, StopEvent);
  TraceLine(L"stopping (pipe served: %d)", served ? 1 : 0);
  StopSpoolerParts(state);
  TraceLine(L"stopped");
  ReportStatus(SERVICE_STOPPED, served ? NO_ERROR : ERROR_PIPE_BUSY);
  CloseHandle(StopEvent);
}

}  // namespace

void RequestServiceStop() {
  TraceLine(L"stop requested through the pipe");
  ReportStatus(SERVICE_STOP_PENDING, NO_ERROR);
  SetEvent(StopEvent);
}

int RegisterSpoolerService();

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && wcscmp(argv[1], L"register") == 0) return RegisterSpoolerService();
  static wchar_t name[] = TESTBED_SERVICE_NAME;
  SERVICE_TABLE_ENTRYW table[] = {{name, SpoolerServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
