#include "engine_host.h"

#include "record_player.h"

namespace {

// One surface of the driver's: the DIB section (none for a bitmap in the driver's own memory) and
// the SURFOBJ the driver's calls receive.
struct HostSurface {
  HBITMAP Bitmap;
  SURFOBJ Object;
  FLONG Hooks;
  bool InUse;
};

// Two devices' pages and hatch patterns (ResetDC holds both for a moment), with room to spare.
HostSurface surfaces[32];
int palettes = 0;  // palettes the driver holds; EngCreatePalette hands out tokens, not GDI objects
EngineHost host;
// Any unique non-null value does as the engine's HDEV.
int deviceToken;

HostSurface* Find(HSURF surface) {
  for (HostSurface& s : surfaces)
    if (s.InUse && s.Object.hsurf == surface) return &s;
  return nullptr;
}

}  // namespace

EngineHost& Engine() { return host; }
HDEV EngineDevice() { return reinterpret_cast<HDEV>(&deviceToken); }

SURFOBJ* FindSurface(HSURF surface) {
  HostSurface* found = Find(surface);
  return found ? &found->Object : nullptr;
}

int LiveSurfaces() {
  int live = 0;
  for (const HostSurface& s : surfaces) live += s.InUse ? 1 : 0;
  return live;
}

bool PlayIntoBitmap(HBITMAP bitmap, HENHMETAFILE page, LONG width, LONG height) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  HGDIOBJ old = SelectObject(dc, bitmap);
  // The same record player as a page of gdiplay's, with nothing hooked.
  SURFOBJ so = {};
  so.hsurf = reinterpret_cast<HSURF>(bitmap);
  so.sizlBitmap = {width, height};
  bool played = old && PlayRecords(dc, &so, 0, nullptr, page, 1);
  GdiFlush();
  if (old) SelectObject(dc, old);
  DeleteDC(dc);
  return played;
}

FLONG SurfaceHooks(HSURF surface) {
  HostSurface* found = Find(surface);
  return found ? found->Hooks : 0;
}

bool PlayPage(HSURF surface, HENHMETAFILE page, int number) {
  HostSurface* found = Find(surface);
  if (!found) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  HGDIOBJ old = SelectObject(dc, found->Bitmap);
  bool played = old && PlayRecords(dc, &found->Object, found->Hooks, host.Driver, page, number);
  if (old) SelectObject(dc, old);
  DeleteDC(dc);
  return played;
}

bool WriteToFile(HANDLE file, const void* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(file, bytes, count, &written, nullptr) && written == count;
}

extern "C" {

// 24-bit bitmaps with the engine's own memory (pvBits null) and the DIB section's row size, and
// monochrome ones in the driver's memory (its hatch patterns).
__declspec(dllexport) HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  HostSurface* free = nullptr;
  for (HostSurface& s : surfaces)
    if (!s.InUse && !free) free = &s;
  if (free && iFormat == BMF_1BPP && pvBits && sizl.cx > 0 && sizl.cy > 0 && lWidth >= (sizl.cx + 7) / 8) {
    static int tokens;  // any unique value does as the handle
    ZeroMemory(free, sizeof(*free));
    free->InUse = true;
    SURFOBJ& so = free->Object;
    so.hsurf = reinterpret_cast<HSURF>(static_cast<ULONG_PTR>(0x5E000 + ++tokens));
    so.sizlBitmap = sizl;
    so.cjBits = static_cast<ULONG>(lWidth) * sizl.cy;
    so.pvBits = so.pvScan0 = pvBits;
    so.lDelta = (fl & BMF_TOPDOWN) ? lWidth : -lWidth;
    if (!(fl & BMF_TOPDOWN)) so.pvScan0 = static_cast<BYTE*>(pvBits) + static_cast<LONG_PTR>(lWidth) * (sizl.cy - 1);
    so.iUniq = 1;
    so.iBitmapFormat = BMF_1BPP;
    so.iType = STYPE_BITMAP;
    so.fjBitmap = static_cast<USHORT>(fl & BMF_TOPDOWN);
    return reinterpret_cast<HBITMAP>(so.hsurf);
  }
  LONG stride = ((sizl.cx * 3) + 3) & ~3;
  if (!free || iFormat != BMF_24BPP || pvBits || sizl.cx <= 0 || sizl.cy <= 0 || lWidth != stride) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (host.BitmapLimit && static_cast<ULONGLONG>(stride) * sizl.cy > host.BitmapLimit) return nullptr;
  bool topDown = (fl & BMF_TOPDOWN) != 0;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = sizl.cx;
  info.bmiHeader.biHeight = topDown ? -sizl.cy : sizl.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return nullptr;
  ZeroMemory(free, sizeof(*free));
  free->InUse = true;
  free->Bitmap = bitmap;
  SURFOBJ& so = free->Object;
  so.hsurf = reinterpret_cast<HSURF>(bitmap);
  so.sizlBitmap = sizl;
  so.cjBits = static_cast<ULONG>(stride) * sizl.cy;
  so.pvBits = bits;
  so.pvScan0 = topDown ? bits : static_cast<BYTE*>(bits) + static_cast<LONG_PTR>(stride) * (sizl.cy - 1);
  so.lDelta = topDown ? stride : -stride;
  so.iUniq = 1;
  so.iBitmapFormat = BMF_24BPP;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = topDown ? BMF_TOPDOWN : 0;
  return bitmap;
}

// The hooked calls are made as the page's records are played; the rest the engine draws itself.
__declspec(dllexport) BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  HostSurface* found = Find(hsurf);
  if (!found || hdev != EngineDevice()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  found->Object.hdev = hdev;
  found->Object.dhpdev = host.Device;
  found->Hooks = flHooks;
  return TRUE;
}

__declspec(dllexport) BOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
  HostSurface* found = Find(hsurf);
  if (!found) return FALSE;
  if (found->Bitmap) DeleteObject(found->Bitmap);
  found->InUse = false;
  return TRUE;
}

__declspec(dllexport) HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG, ULONG*, FLONG, FLONG, FLONG) {
  if (iMode != PAL_BGR && iMode != PAL_RGB && iMode != PAL_BITFIELDS && iMode != PAL_INDEXED) return nullptr;
  ++palettes;
  return reinterpret_cast<HPALETTE>(static_cast<ULONG_PTR>(0x7A10 + palettes));
}

__declspec(dllexport) BOOL APIENTRY EngDeletePalette(HPALETTE palette) {
  if (!palette || palettes <= 0) return FALSE;
  --palettes;
  return TRUE;
}

__declspec(dllexport) BOOL APIENTRY EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (pcWritten) *pcWritten = 0;
  if (hPrinter != host.Printer || !host.Sink || (!pBuf && cbBuf)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!host.Sink(hPrinter, pBuf, cbBuf)) {
    if (!host.WriteError) host.WriteError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    return FALSE;
  }
  host.BytesWritten += cbBuf;
  if (pcWritten) *pcWritten = cbBuf;
  return TRUE;
}

// Whether the job has been cancelled: a test (or its sink) says so with Aborted, as the spooler
// does when a user deletes the job; nobody else cancels a job played by this host.
__declspec(dllexport) BOOL APIENTRY EngCheckAbort(SURFOBJ*) {
  ++host.AbortChecks;
  return host.Aborted;
}

__declspec(dllexport) PVOID APIENTRY EngAllocMem(ULONG fl, ULONG cjMemSize, ULONG) {
  return HeapAlloc(GetProcessHeap(), (fl & FL_ZERO_MEMORY) ? HEAP_ZERO_MEMORY : 0, cjMemSize);
}

__declspec(dllexport) VOID APIENTRY EngFreeMem(PVOID pv) {
  if (pv) HeapFree(GetProcessHeap(), 0, pv);
}

}  // extern "C"
