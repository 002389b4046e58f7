// A printer graphics DLL loaded the way GDI loads it: DrvQueryDriverInfo must say user mode,
// DrvEnableDriver gives the function table, and the entry points are called from that table.
#pragma once
#include <windows.h>
#include <winddi.h>

struct DriverTable {
  HMODULE Module;
  DRVENABLEDATA Data;
  PFN_DrvEnablePDEV EnablePDEV;
  PFN_DrvCompletePDEV CompletePDEV;
  PFN_DrvResetPDEV ResetPDEV;
  PFN_DrvDisablePDEV DisablePDEV;
  PFN_DrvEnableSurface EnableSurface;
  PFN_DrvDisableSurface DisableSurface;
  PFN_DrvStartDoc StartDoc;
  PFN_DrvEndDoc EndDoc;
  PFN_DrvStartPage StartPage;
  PFN_DrvSendPage SendPage;
  PFN_DrvEscape Escape;
  PFN_DrvDisableDriver DisableDriver;
};

// The entry of index `index` in the table, or null.
PFN FindDriverFunction(const DRVENABLEDATA& data, ULONG index);
// Loads `path`, checks user mode and enables it; false with a message in `failure` otherwise.
bool LoadDriver(LPCWSTR path, DriverTable& driver, const char*& failure);
// The folder of the running program, with `name` appended.
void BesideProgram(LPCWSTR name, WCHAR* path, DWORD capacity);
// A DEVMODEW of the public fields only, as an application fills one.
void FillDevMode(DEVMODEW& dm, LPCWSTR deviceName, short paper, bool landscape, short dpi, bool grey, short copies,
                 bool collate);
