// The graphics engine's functions that the driver calls, found at run time. Windows' gdi32 exports
// them to user-mode printer drivers; a host that plays the engine's part itself (the test bed's
// gdiplay) exports them from its own executable. Wine's gdi32 has none of them, so a static import
// would keep the DLL from loading at all: resolving them here lets it load anywhere and refuse
// only the device.
#pragma once
#include <windows.h>
#include <winddi.h>

struct EngineCalls {
  HBITMAP(APIENTRY* CreateBitmap)(SIZEL, LONG, ULONG, FLONG, PVOID);
  BOOL(APIENTRY* AssociateSurface)(HSURF, HDEV, FLONG);
  BOOL(APIENTRY* DeleteSurface)(HSURF);
  HPALETTE(APIENTRY* CreatePalette)(ULONG, ULONG, ULONG*, FLONG, FLONG, FLONG);
  BOOL(APIENTRY* DeletePalette)(HPALETTE);
  BOOL(APIENTRY* WritePrinter)(HANDLE, LPVOID, DWORD, LPDWORD);
  // Whether the job was cancelled; null in a host that has none (its jobs are never cancelled).
  BOOL(APIENTRY* CheckAbort)(SURFOBJ*);
};

// True when every function was found, in gdi32 or else in the host's executable; otherwise the
// last error is ERROR_PROC_NOT_FOUND. CheckAbort alone may be missing.
bool ResolveEngineCalls(EngineCalls& calls);
