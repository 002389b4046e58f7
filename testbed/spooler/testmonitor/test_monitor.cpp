// A small port monitor for the spooler stand-in's tests. It serves one port, "QuillTest:", and
// writes what the spooler hands it into C:\windows\temp\quilltestmon\:
//   job-<id>.bin  the bytes of the job, exactly as received through WritePort
//   job-<id>.txt  "printer=", "document=", "datatype=" lines and the calls in the order they came
// Each load counts itself in the DWORD value "Loads" of its monitor key (MONITORINIT's registry).
// WritePort takes at most 1000 bytes a call, so the spooler's handling of partial writes is used.
// While the file fail-startdoc exists in that folder, StartDocPort fails with ERROR_NOT_READY
// (a port whose device is away), logs "StartDocPort failed" and appends "job <id>" to that file.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <stdio.h>
#include <wchar.h>

namespace {

// Installer tests build the same monitor serving the product's port name.
#ifndef QUILLTESTMON_PORT
#define QUILLTESTMON_PORT L"QuillTest:"
#endif
const wchar_t PortName[] = QUILLTESTMON_PORT;
const DWORD MaxWrite = 1000;

struct Port {
  DWORD JobId;
  HANDLE Data;
  wchar_t Log[MAX_PATH];
};

void Folder(wchar_t* path) {
  UINT chars = GetWindowsDirectoryW(path, MAX_PATH - 40);
  if (chars == 0 || chars >= MAX_PATH - 40) path[0] = 0;
  wcscat(path, L"\\temp\\quilltestmon");
  CreateDirectoryW(path, nullptr);
}

void AppendLine(Port& port, const wchar_t* line) {
  HANDLE file = CreateFileW(port.Log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char bytes[1200];
  int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof(bytes) - 2, nullptr, nullptr);
  if (length > 0) {
    bytes[length - 1] = '\n';
    DWORD written = 0;
    WriteFile(file, bytes, length, &written, nullptr);
  }
  CloseHandle(file);
}

BOOL WINAPI TestEnumPorts(HANDLE, LPWSTR, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  DWORD record = Level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  DWORD needed = record + sizeof(PortName) * (Level == 1 ? 1 : 2);
  *pcbNeeded = needed;
  *pcReturned = 0;
  if (!pPorts || cbBuf < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  ZeroMemory(pPorts, needed);
  wchar_t* text = reinterpret_cast<wchar_t*>(pPorts + record);
  wcscpy(text, PortName);
  if (Level == 1) {
    reinterpret_cast<PORT_INFO_1W*>(pPorts)->pName = text;
  } else {
    PORT_INFO_2W* info = reinterpret_cast<PORT_INFO_2W*>(pPorts);
    info->pPortName = text;
    info->pMonitorName = text + wcslen(PortName) + 1;
    wcscpy(info->pMonitorName, PortName);
    info->fPortType = PORT_TYPE_WRITE;
  }
  *pcReturned = 1;
  return TRUE;
}

BOOL WINAPI TestOpenPort(HANDLE, LPWSTR pName, PHANDLE pHandle) {
  if (!pName || _wcsicmp(pName, PortName) != 0) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  Port* port = static_cast<Port*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Port)));
  if (!port) return FALSE;
  port->Data = INVALID_HANDLE_VALUE;
  *pHandle = port;
  return TRUE;
}

BOOL WINAPI TestStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  Port* port = static_cast<Port*>(hPort);
  if (Level != 1 || !pDocInfo) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  const DOC_INFO_1W* info = reinterpret_cast<const DOC_INFO_1W*>(pDocInfo);
  port->JobId = JobId;
  wchar_t folder[MAX_PATH], data[MAX_PATH];
  Folder(folder);
  _snwprintf(port->Log, MAX_PATH, L"%s\\job-%lu.txt", folder, JobId);
  _snwprintf(data, MAX_PATH, L"%s\\job-%lu.bin", folder, JobId);
  port->Log[MAX_PATH - 1] = data[MAX_PATH - 1] = 0;
  DeleteFileW(port->Log);
  port->Data = CreateFileW(data, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  wchar_t line[700];
  AppendLine(*port, L"OpenPort");
  _snwprintf(line, 700, L"printer=%s", pPrinterName ? pPrinterName : L"(null)");
  line[699] = 0;
  AppendLine(*port, line);
  _snwprintf(line, 700, L"document=%s", info->pDocName ? info->pDocName : L"(null)");
  line[699] = 0;
  AppendLine(*port, line);
  _snwprintf(line, 700, L"datatype=%s", info->pDatatype ? info->pDatatype : L"(null)");
  line[699] = 0;
  AppendLine(*port, line);
  wchar_t fail[MAX_PATH];
  _snwprintf(fail, MAX_PATH, L"%s\\fail-startdoc", folder);
  fail[MAX_PATH - 1] = 0;
  if (GetFileAttributesW(fail) != INVALID_FILE_ATTRIBUTES) {
    AppendLine(*port, L"StartDocPort failed");
    HANDLE attempts = CreateFileW(fail, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (attempts != INVALID_HANDLE_VALUE) {
      char text[32];
      int length = _snprintf(text, sizeof(text), "job %lu\n", JobId);
      DWORD written = 0;
      if (length > 0) WriteFile(attempts, text, static_cast<DWORD>(length), &written, nullptr);
      CloseHandle(attempts);
    }
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  AppendLine(*port, L"StartDocPort");
  return port->Data != INVALID_HANDLE_VALUE;
}

BOOL WINAPI TestWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  Port* port = static_cast<Port*>(hPort);
  DWORD take = cbBuf < MaxWrite ? cbBuf : MaxWrite;
  *pcbWritten = 0;
  if (port->Data == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!WriteFile(port->Data, pBuffer, take, pcbWritten, nullptr)) return FALSE;
  AppendLine(*port, L"WritePort");
  return TRUE;
}

BOOL WINAPI TestReadPort(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
  *pcbRead = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI TestEndDocPort(HANDLE hPort) {
  Port* port = static_cast<Port*>(hPort);
  if (port->Data != INVALID_HANDLE_VALUE) CloseHandle(port->Data);
  port->Data = INVALID_HANDLE_VALUE;
  AppendLine(*port, L"EndDocPort");
  return TRUE;
}

BOOL WINAPI TestClosePort(HANDLE hPort) {
  Port* port = static_cast<Port*>(hPort);
  if (port->Data != INVALID_HANDLE_VALUE) CloseHandle(port->Data);
  if (port->Log[0]) AppendLine(*port, L"ClosePort");
  HeapFree(GetProcessHeap(), 0, port);
  return TRUE;
}

VOID WINAPI TestShutdown(HANDLE) {}

MONITOR2 Functions;

}  // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
  if (!pMonitorInit || !phMonitor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Leaves a mark in its own key through the spooler's registry functions, as monitors keep
  // their settings there.
  if (pMonitorInit->pMonitorReg && pMonitorInit->pMonitorReg->fpSetValue) {
    DWORD loads = 0, type = 0, size = sizeof(loads);
    if (pMonitorInit->pMonitorReg->fpQueryValue(pMonitorInit->hckRegistryRoot, L"Loads", &type,
                                                reinterpret_cast<BYTE*>(&loads), &size, pMonitorInit->hSpooler) != 0)
      loads = 0;
    ++loads;
    pMonitorInit->pMonitorReg->fpSetValue(pMonitorInit->hckRegistryRoot, L"Loads", REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&loads), sizeof(loads), pMonitorInit->hSpooler);
  }
  ZeroMemory(&Functions, sizeof(Functions));
  Functions.cbSize = sizeof(Functions);
  Functions.pfnEnumPorts = TestEnumPorts;
  Functions.pfnOpenPort = TestOpenPort;
  Functions.pfnStartDocPort = TestStartDocPort;
  Functions.pfnWritePort = TestWritePort;
  Functions.pfnReadPort = TestReadPort;
  Functions.pfnEndDocPort = TestEndDocPort;
  Functions.pfnClosePort = TestClosePort;
  Functions.pfnShutdown = TestShutdown;
  *phMonitor = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(1));
  return &Functions;
}
