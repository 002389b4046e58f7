// A process that loads vtxdrv64.dll as plain Wine's GDI would find it: no graphics engine
// functions in gdi32 and none exported by this executable. The DLL must load and enable, and
// DrvEnablePDEV must refuse cleanly. Exit code: DrvEnablePDEV's last error when it returned null,
// 0 when it returned a device (wrong here), 1000 + step when an earlier step failed.
#include <windows.h>
#include <winddi.h>

#include "driver_host.h"

int wmain() {
  WCHAR path[MAX_PATH];
  BesideProgram(L"vtxdrv64.dll", path, MAX_PATH);
  HMODULE module = LoadLibraryW(path);
  if (!module) return 1001;
  auto enable = reinterpret_cast<PFN_DrvEnableDriver>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DrvEnableDriver")));
  DRVENABLEDATA data = {};
  if (!enable || !enable(DDI_DRIVER_VERSION_NT5_01, sizeof(data), &data)) return 1002;
  auto enablePDEV = reinterpret_cast<PFN_DrvEnablePDEV>(
      reinterpret_cast<void (*)()>(FindDriverFunction(data, INDEX_DrvEnablePDEV)));
  if (!enablePDEV) return 1003;
  GDIINFO gdiInfo = {};
  DEVINFO devInfo = {};
  SetLastError(0);
  DHPDEV device = enablePDEV(nullptr, nullptr, 0, nullptr, sizeof(gdiInfo), &gdiInfo, sizeof(devInfo), &devInfo,
                             reinterpret_cast<HDEV>(&data), const_cast<LPWSTR>(L"Quillstack"),
                             reinterpret_cast<HANDLE>(&data));
  if (device) return 0;
  DWORD error = GetLastError();
  FreeLibrary(module);
  return static_cast<int>(error ? error : 1004);
}
