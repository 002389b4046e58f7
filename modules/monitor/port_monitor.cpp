// vtxmon: the Quillstack port monitor. The spooler loads it (InitializePrintMonitor2) and prints
// every job of a Quillstack printer to its one port, "Quillstack:"; the monitor hands each job to
// the dispatcher of the interactive user (quilltray) over the job pipe (monitor_job.cpp).
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "monitor_job.h"

namespace {

const WCHAR PortName[] = L"Quillstack:";
const WCHAR MonitorName[] = L"Quillstack:";
const WCHAR PortDescription[] = L"Quillstack virtual printer port";

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

MonitorPort* CheckedPort(HANDLE handle) {
  MonitorPort* port = static_cast<MonitorPort*>(handle);
  return port && port->Magic == MONITOR_PORT_MAGIC ? port : nullptr;
}

// Ends one use of the port. The event is read before the count drops: once it is zero, ClosePort
// may free the port as soon as the event is set.
void LeavePort(MonitorPort* port) {
  HANDLE idle = port->Idle;
  if (InterlockedDecrement(&port->Uses) == 0) SetEvent(idle);
}

// A use of the port for one call, or null when the handle is not a port or is being closed.
MonitorPort* EnterPort(HANDLE handle) {
  MonitorPort* port = CheckedPort(handle);
  if (!port) return nullptr;
  InterlockedIncrement(&port->Uses);
  if (WaitForSingleObject(port->Cancel, 0) == WAIT_OBJECT_0) {
    LeavePort(port);
    return nullptr;
  }
  return port;
}

// A port call that holds a use of its port for its whole length.
struct PortUse {
  MonitorPort* Port;
  explicit PortUse(HANDLE handle) : Port(EnterPort(handle)) {}
  ~PortUse() {
    if (Port) LeavePort(Port);
  }
  PortUse(const PortUse&) = delete;
  PortUse& operator=(const PortUse&) = delete;
};

void FreePort(MonitorPort* port) {
  for (BYTE* record : port->Records)
    if (record) LocalFree(record);
  if (port->Cancel) CloseHandle(port->Cancel);
  if (port->Idle) CloseHandle(port->Idle);
  port->Magic = 0;
  LocalFree(port);
}

// Copies text behind the records (from the end of the buffer towards them) and returns it.
LPWSTR PlaceText(BYTE* buffer, DWORD& end, const WCHAR* text) {
  DWORD bytes = (lstrlenW(text) + 1) * sizeof(WCHAR);
  end -= bytes;
  memcpy(buffer + end, text, bytes);
  return reinterpret_cast<LPWSTR>(buffer + end);
}

BOOL WINAPI QuillEnumPorts(HANDLE, LPWSTR, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                           LPDWORD pcReturned) {
  if (!pcbNeeded || !pcReturned) return Fail(ERROR_INVALID_PARAMETER);
  *pcReturned = 0;
  DWORD needed = 0;
  if (Level == 1)
    needed = sizeof(PORT_INFO_1W) + sizeof(PortName);
  else if (Level == 2)
    needed = sizeof(PORT_INFO_2W) + sizeof(PortName) + sizeof(MonitorName) + sizeof(PortDescription);
  else
    return Fail(ERROR_INVALID_LEVEL);
  *pcbNeeded = needed;
  if (!pPorts || cbBuf < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  DWORD end = needed;
  if (Level == 1) {
    PORT_INFO_1W* info = reinterpret_cast<PORT_INFO_1W*>(pPorts);
    info->pName = PlaceText(pPorts, end, PortName);
  } else {
    PORT_INFO_2W* info = reinterpret_cast<PORT_INFO_2W*>(pPorts);
    info->pPortName = PlaceText(pPorts, end, PortName);
    info->pMonitorName = PlaceText(pPorts, end, MonitorName);
    info->pDescription = PlaceText(pPorts, end, PortDescription);
    info->fPortType = PORT_TYPE_WRITE;
    info->Reserved = 0;
  }
  *pcReturned = 1;
  return TRUE;
}

BOOL WINAPI QuillOpenPort(HANDLE, LPWSTR pName, PHANDLE pHandle) {
  if (!pHandle) return Fail(ERROR_INVALID_PARAMETER);
  *pHandle = nullptr;
  if (!pName || lstrcmpiW(pName, PortName) != 0) return Fail(ERROR_UNKNOWN_PORT);
  MonitorPort* port = static_cast<MonitorPort*>(LocalAlloc(LPTR, sizeof(MonitorPort)));
  if (!port) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  port->Cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  port->Idle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!port->Cancel || !port->Idle) {
    FreePort(port);
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  port->Uses = 1;  // the handle's own, until ClosePort
  port->Magic = MONITOR_PORT_MAGIC;
  *pHandle = port;
  return TRUE;
}

// Level 1 and 2 start alike (document name, output file, data type); the data goes to the
// dispatcher as it is, whatever its type.
BOOL WINAPI QuillStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  PortUse use(hPort);
  MonitorPort* port = use.Port;
  if (!port) return Fail(ERROR_INVALID_HANDLE);
  if (Level != 1 && Level != 2) return Fail(ERROR_INVALID_LEVEL);
  const DOC_INFO_1W* info = reinterpret_cast<const DOC_INFO_1W*>(pDocInfo);
  return StartJob(*port, pPrinterName, JobId, info ? info->pDocName : nullptr);
}

BOOL WINAPI QuillWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  PortUse use(hPort);
  MonitorPort* port = use.Port;
  if (!port || !pcbWritten) return Fail(port ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
  return WriteJobData(*port, pBuffer, cbBuf, pcbWritten);
}

// The port only takes data; there is nothing to read back.
BOOL WINAPI QuillReadPort(HANDLE hPort, LPBYTE, DWORD, LPDWORD pcbRead) {
  if (pcbRead) *pcbRead = 0;
  return Fail(CheckedPort(hPort) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE);
}

BOOL WINAPI QuillEndDocPort(HANDLE hPort) {
  PortUse use(hPort);
  MonitorPort* port = use.Port;
  if (!port) return Fail(ERROR_INVALID_HANDLE);
  return EndJob(*port);
}

BOOL WINAPI QuillClosePort(HANDLE hPort) {
  MonitorPort* port = CheckedPort(hPort);
  if (!port || WaitForSingleObject(port->Cancel, 0) == WAIT_OBJECT_0) return Fail(ERROR_INVALID_HANDLE);
  // Every wait of a call in progress on another thread ends now (each is bounded anyway); the
  // port goes only once the last of them has returned.
  SetEvent(port->Cancel);
  LeavePort(port);
  WaitForSingleObject(port->Idle, INFINITE);
  AbortJob(*port);
  FreePort(port);
  return TRUE;
}

// The one port is fixed: it cannot be added or deleted, and has nothing to configure.
BOOL WINAPI QuillAddPort(HANDLE, LPWSTR, HWND, LPWSTR) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL WINAPI QuillAddPortEx(HANDLE, LPWSTR, DWORD, LPBYTE, LPWSTR) { return Fail(ERROR_NOT_SUPPORTED); }
BOOL WINAPI QuillConfigurePort(HANDLE, LPWSTR, HWND, LPWSTR pPortName) {
  return pPortName && lstrcmpiW(pPortName, PortName) == 0 ? TRUE : Fail(ERROR_UNKNOWN_PORT);
}
BOOL WINAPI QuillDeletePort(HANDLE, LPWSTR, HWND, LPWSTR) { return Fail(ERROR_NOT_SUPPORTED); }

// Port configuration through the spooler (XcvData): no setting and no user interface to name.
BOOL WINAPI QuillXcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE phXcv) {
  if (!phXcv) return Fail(ERROR_INVALID_PARAMETER);
  *phXcv = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(MONITOR_PORT_MAGIC));
  return TRUE;
}
DWORD WINAPI QuillXcvDataPort(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD pcbOutputNeeded) {
  if (pcbOutputNeeded) *pcbOutputNeeded = 0;
  return ERROR_NOT_SUPPORTED;
}
BOOL WINAPI QuillXcvClosePort(HANDLE) { return TRUE; }

VOID WINAPI QuillShutdown(HANDLE) {}

MONITOR2 Functions;

}  // namespace

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
  if (!pMonitorInit || !phMonitor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ZeroMemory(&Functions, sizeof(Functions));
  Functions.cbSize = sizeof(Functions);
  Functions.pfnEnumPorts = QuillEnumPorts;
  Functions.pfnOpenPort = QuillOpenPort;
  Functions.pfnStartDocPort = QuillStartDocPort;
  Functions.pfnWritePort = QuillWritePort;
  Functions.pfnReadPort = QuillReadPort;
  Functions.pfnEndDocPort = QuillEndDocPort;
  Functions.pfnClosePort = QuillClosePort;
  Functions.pfnAddPort = QuillAddPort;
  Functions.pfnAddPortEx = QuillAddPortEx;
  Functions.pfnConfigurePort = QuillConfigurePort;
  Functions.pfnDeletePort = QuillDeletePort;
  Functions.pfnXcvOpenPort = QuillXcvOpenPort;
  Functions.pfnXcvDataPort = QuillXcvDataPort;
  Functions.pfnXcvClosePort = QuillXcvClosePort;
  Functions.pfnShutdown = QuillShutdown;
  // The monitor keeps no state of its own beyond the port handles.
  *phMonitor = reinterpret_cast<HANDLE>(&Functions);
  return &Functions;
}
