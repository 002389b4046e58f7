// The spooler's side of the port monitor, for the monitor's tests and its benchmark: the DLL
// loaded and initialised as the spooler does it, and a job handed to it call by call.
#pragma once
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>

struct MonitorModule {
  HMODULE Module = nullptr;
  HANDLE Monitor = nullptr;
  LPMONITOR2 Calls = nullptr;
  MONITORINIT Init = {};
  // LoadLibrary and InitializePrintMonitor2, as for a monitor registered at level 2.
  bool Load(const std::wstring& path) {
    Module = LoadLibraryW(path.c_str());
    if (!Module) return false;
    typedef LPMONITOR2(WINAPI * Initialize)(PMONITORINIT, PHANDLE);
    Initialize initialize =
        reinterpret_cast<Initialize>(reinterpret_cast<void*>(GetProcAddress(Module, "InitializePrintMonitor2")));
    if (!initialize) return false;
    Init.cbSize = sizeof(Init);
    Init.bLocal = TRUE;
    Calls = initialize(&Init, &Monitor);
    return Calls != nullptr && Calls->cbSize >= sizeof(MONITOR2) - 3 * sizeof(void*);
  }
  ~MonitorModule() {
    if (Calls && Calls->pfnShutdown) Calls->pfnShutdown(Monitor);
    if (Module) FreeLibrary(Module);
  }
};

// OpenPort is the caller's; StartDocPort (DOC_INFO_1, RAW), WritePort in pieces of `piece`
// bytes (continuing partial writes), EndDocPort. 0, or the first failing call's error.
inline DWORD PrintJob(MonitorModule& monitor, HANDLE port, const wchar_t* document, const char* data, size_t size,
                      size_t piece, DWORD jobId = 1) {
  wchar_t printer[] = L"Quillstack", raw[] = L"RAW";
  std::wstring name = document;
  DOC_INFO_1W info = {&name[0], nullptr, raw};
  if (!monitor.Calls->pfnStartDocPort(port, printer, jobId, 1, reinterpret_cast<BYTE*>(&info))) return GetLastError();
  for (size_t offset = 0; offset < size;) {
    DWORD written = 0;
    DWORD take = static_cast<DWORD>(size - offset < piece ? size - offset : piece);
    if (!monitor.Calls->pfnWritePort(port, reinterpret_cast<BYTE*>(const_cast<char*>(data)) + offset, take, &written)) {
      DWORD error = GetLastError();
      monitor.Calls->pfnEndDocPort(port);
      return error ? error : ERROR_WRITE_FAULT;
    }
    if (written == 0) return ERROR_WRITE_FAULT;
    offset += written;
  }
  return monitor.Calls->pfnEndDocPort(port) ? 0 : GetLastError();
}
