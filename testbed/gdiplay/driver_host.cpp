#include "driver_host.h"

#include <wchar.h>

PFN FindDriverFunction(const DRVENABLEDATA& data, ULONG index) {
  for (ULONG i = 0; data.pdrvfn && i < data.c; ++i)
    if (data.pdrvfn[i].iFunc == index) return data.pdrvfn[i].pfn;
  return nullptr;
}

template <typename Function>
bool Take(const DRVENABLEDATA& data, ULONG index, Function& target) {
  target = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindDriverFunction(data, index)));
  return target != nullptr;
}

bool LoadDriver(LPCWSTR path, DriverTable& driver, const char*& failure) {
  ZeroMemory(&driver, sizeof(driver));
  driver.Module = LoadLibraryW(path);
  if (!driver.Module) {
    failure = "LoadLibraryW";
    return false;
  }
  auto query = reinterpret_cast<BOOL(APIENTRY*)(DWORD, PVOID, DWORD, PDWORD)>(
      reinterpret_cast<void (*)()>(GetProcAddress(driver.Module, "DrvQueryDriverInfo")));
  DWORD userMode = 0, needed = 0;
  if (!query || !query(DRVQUERY_USERMODE, &userMode, sizeof(userMode), &needed) || !userMode) {
    failure = "DrvQueryDriverInfo";
    return false;
  }
  auto enable = reinterpret_cast<PFN_DrvEnableDriver>(
      reinterpret_cast<void (*)()>(GetProcAddress(driver.Module, "DrvEnableDriver")));
  driver.DisableDriver = reinterpret_cast<PFN_DrvDisableDriver>(
      reinterpret_cast<void (*)()>(GetProcAddress(driver.Module, "DrvDisableDriver")));
  if (!enable || !enable(DDI_DRIVER_VERSION_NT5_01, sizeof(driver.Data), &driver.Data)) {
    failure = "DrvEnableDriver";
    return false;
  }
  const DRVENABLEDATA& data = driver.Data;
  bool complete = Take(data, INDEX_DrvEnablePDEV, driver.EnablePDEV) &
                  Take(data, INDEX_DrvCompletePDEV, driver.CompletePDEV) &
                  Take(data, INDEX_DrvResetPDEV, driver.ResetPDEV) &
                  Take(data, INDEX_DrvDisablePDEV, driver.DisablePDEV) &
                  Take(data, INDEX_DrvEnableSurface, driver.EnableSurface) &
                  Take(data, INDEX_DrvDisableSurface, driver.DisableSurface) &
                  Take(data, INDEX_DrvStartDoc, driver.StartDoc) & Take(data, INDEX_DrvEndDoc, driver.EndDoc) &
                  Take(data, INDEX_DrvStartPage, driver.StartPage) & Take(data, INDEX_DrvSendPage, driver.SendPage) &
                  Take(data, INDEX_DrvEscape, driver.Escape);
  if (!complete) {
    failure = "DrvEnableDriver (function table incomplete)";
    return false;
  }
  return true;
}

void BesideProgram(LPCWSTR name, WCHAR* path, DWORD capacity) {
  DWORD length = GetModuleFileNameW(nullptr, path, capacity);
  while (length && path[length - 1] != L'\\' && path[length - 1] != L'/') --length;
  path[length] = L'\0';
  wcsncat(path, name, capacity - length - 1);
}

void FillDevMode(DEVMODEW& dm, LPCWSTR deviceName, short paper, bool landscape, short dpi, bool grey, short copies,
                 bool collate) {
  ZeroMemory(&dm, sizeof(dm));
  lstrcpynW(dm.dmDeviceName, deviceName, CCHDEVICENAME);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof(dm);
  dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLOR | DM_COPIES | DM_COLLATE;
  dm.dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  dm.dmPaperSize = paper;
  dm.dmPrintQuality = dpi;
  dm.dmYResolution = dpi;
  dm.dmColor = grey ? DMCOLOR_MONOCHROME : DMCOLOR_COLOR;
  dm.dmCopies = copies;
  dm.dmCollate = collate ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
}
