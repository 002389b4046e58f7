// recording_driver.dll: a printer graphics DLL for gdiplay's tests. It hooks the drawing calls
// named by QUILL_RECORDING_HOOKS (hexadecimal flHooks, default all), writes one line for each call
// it receives (the PATHOBJ's points, the CLIPOBJ's rectangles, brushes, pens, glyphs, ...) to the
// printer with EngWritePrinter, passes each call on to its Eng twin, and at every page's end
// writes the surface as page-N.ppm into the current folder, so that a test compares the bitmap
// with Wine's GDI playing the same page.
#include <windows.h>
#include <winddi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "recording_log.h"

namespace {

struct Device {
  HANDLE Printer;
  HDEV Engine;
  HSURF Surface;
  SIZEL Size;
  int Pages;
};
Device* DeviceOf(SURFOBJ* pso) { return pso ? reinterpret_cast<Device*>(pso->dhpdev) : nullptr; }

template <typename Function>
Function Engine(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(nullptr), name)));
}

Device* current = nullptr;

void Write(const std::string& line) {
  auto write = Engine<BOOL(APIENTRY*)(HANDLE, LPVOID, DWORD, LPDWORD)>("EngWritePrinter");
  DWORD written = 0;
  std::string text = line + "\n";
  if (current && write) write(current->Printer, const_cast<char*>(text.data()), static_cast<DWORD>(text.size()), &written);
}

FLONG HooksWanted() {
  const char* text = getenv("QUILL_RECORDING_HOOKS");
  return text ? strtoul(text, nullptr, 16)
              : HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_STRETCHBLTROP | HOOK_PLGBLT | HOOK_TEXTOUT | HOOK_STROKEPATH |
                    HOOK_FILLPATH | HOOK_STROKEANDFILLPATH | HOOK_LINETO | HOOK_COPYBITS | HOOK_ALPHABLEND |
                    HOOK_GRADIENTFILL | HOOK_TRANSPARENTBLT;
}

// Calls whose Eng twin is left out (QUILL_RECORDING_SKIP, names separated by commas).
bool Skipped(const char* call) {
  const char* list = getenv("QUILL_RECORDING_SKIP");
  return list && strstr(list, call);
}

template <typename Function>
PFN AsPfn(Function function) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

extern "C" {

__declspec(dllexport) BOOL APIENTRY DrvQueryDriverInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  if (needed) *needed = sizeof(DWORD);
  if (mode != DRVQUERY_USERMODE || !buffer || size < sizeof(DWORD)) return FALSE;
  *static_cast<DWORD*>(buffer) = TRUE;
  return TRUE;
}

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG, HSURF*, ULONG cjCaps, ULONG* caps, ULONG cjDevInfo,
                              DEVINFO* devInfo, HDEV hdev, LPWSTR, HANDLE printer) {
  Device* device = new Device();
  device->Printer = printer;
  device->Engine = hdev;
  LONG dpi = pdm && pdm->dmPrintQuality > 0 ? pdm->dmPrintQuality : 300;
  device->Size = {MulDiv(2100, dpi, 254), MulDiv(2970, dpi, 254)};  // A4
  GDIINFO info = {};
  info.ulVersion = GDI_DRIVER_VERSION;
  info.ulTechnology = DT_RASPRINTER;
  info.ulHorzSize = 210;
  info.ulVertSize = 297;
  info.ulHorzRes = device->Size.cx;
  info.ulVertRes = device->Size.cy;
  info.cBitsPixel = 24;
  info.cPlanes = 1;
  info.ulLogPixelsX = info.ulLogPixelsY = dpi;
  info.ulNumColors = static_cast<ULONG>(-1);
  memcpy(caps, &info, cjCaps < sizeof(info) ? cjCaps : sizeof(info));
  DEVINFO dev = {};
  dev.flGraphicsCaps = GCAPS_BEZIERS | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_GEOMETRICWIDE | GCAPS_OPAQUERECT;
  dev.iDitherFormat = BMF_24BPP;
  memcpy(devInfo, &dev, cjDevInfo < sizeof(dev) ? cjDevInfo : sizeof(dev));
  current = device;
  Write("EnablePDEV image=" + std::to_string(pdm && pdm->dmDriverExtra >= 12
                                                 ? reinterpret_cast<const DWORD*>(reinterpret_cast<const BYTE*>(pdm) + pdm->dmSize)[2]
                                                 : 99));
  return reinterpret_cast<DHPDEV>(device);
}

VOID APIENTRY DrvCompletePDEV(DHPDEV, HDEV) {}
BOOL APIENTRY DrvResetPDEV(DHPDEV, DHPDEV) { return TRUE; }
VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
  delete reinterpret_cast<Device*>(dhpdev);
  current = nullptr;
}

HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
  Device* device = reinterpret_cast<Device*>(dhpdev);
  LONG stride = ((device->Size.cx * 3) + 3) & ~3;
  HBITMAP bitmap = Engine<HBITMAP(APIENTRY*)(SIZEL, LONG, ULONG, FLONG, PVOID)>("EngCreateBitmap")(
      device->Size, stride, BMF_24BPP, BMF_TOPDOWN, nullptr);
  device->Surface = reinterpret_cast<HSURF>(bitmap);
  FLONG hooks = HooksWanted();
  if (!Engine<BOOL(APIENTRY*)(HSURF, HDEV, FLONG)>("EngAssociateSurface")(device->Surface, device->Engine, hooks))
    return nullptr;
  char line[64];
  sprintf(line, "EnableSurface hooks=%lx", hooks);
  Write(line);
  return device->Surface;
}

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
  Device* device = reinterpret_cast<Device*>(dhpdev);
  Engine<BOOL(APIENTRY*)(HSURF)>("EngDeleteSurface")(device->Surface);
}

BOOL APIENTRY DrvStartDoc(SURFOBJ*, LPWSTR, DWORD) { return TRUE; }
BOOL APIENTRY DrvEndDoc(SURFOBJ*, FLONG) { return TRUE; }

BOOL APIENTRY DrvStartPage(SURFOBJ* pso) {
  BYTE* row = static_cast<BYTE*>(pso->pvScan0);
  for (LONG y = 0; y < pso->sizlBitmap.cy; ++y, row += pso->lDelta) memset(row, 0xFF, pso->sizlBitmap.cx * 3);
  return TRUE;
}

// The page as a PPM (P6), in the layout emftool raster writes.
BOOL APIENTRY DrvSendPage(SURFOBJ* pso) {
  Device* device = DeviceOf(pso);
  char name[32];
  sprintf(name, "page-%d.ppm", ++device->Pages);
  FILE* out = fopen(name, "wb");
  if (!out) return FALSE;
  fprintf(out, "P6\n%ld %ld\n255\n", pso->sizlBitmap.cx, pso->sizlBitmap.cy);
  std::string rgb(pso->sizlBitmap.cx * 3, '\0');
  const BYTE* row = static_cast<const BYTE*>(pso->pvScan0);
  for (LONG y = 0; y < pso->sizlBitmap.cy; ++y, row += pso->lDelta) {
    for (LONG x = 0; x < pso->sizlBitmap.cx; ++x) {
      rgb[x * 3] = row[x * 3 + 2];
      rgb[x * 3 + 1] = row[x * 3 + 1];
      rgb[x * 3 + 2] = row[x * 3];
    }
    fwrite(rgb.data(), 1, rgb.size(), out);
  }
  Write("SendPage " + std::string(name));
  return fclose(out) == 0;
}

ULONG APIENTRY DrvEscape(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID) { return 0; }

BOOL APIENTRY DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ*, SURFOBJ* pattern, SURFOBJ*, XLATEOBJ*, ULONG hatch) {
  auto alloc = Engine<PVOID(APIENTRY*)(BRUSHOBJ*, ULONG)>("BRUSHOBJ_pvAllocRbrush");
  if (!alloc || !alloc(pbo, 16)) return FALSE;
  char line[96];
  sprintf(line, "RealizeBrush hatch=%lu size=%ldx%ld", hatch, pattern->sizlBitmap.cx, pattern->sizlBitmap.cy);
  Write(line);
  return TRUE;
}

BOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* org,
                            LINEATTRS* pla, MIX mix) {
  Write("StrokePath " + DescribeMix(mix) + DescribePath(ppo) + DescribeClip(pco) + DescribeBrush(pbo) +
        DescribeLine(pla, pxo));
  if (Skipped("StrokePath")) return TRUE;
  return Engine<PFN_DrvStrokePath>("EngStrokePath")(pso, ppo, pco, pxo, pbo, org, pla, mix);
}

BOOL APIENTRY DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* org, MIX mix, FLONG fl) {
  Write("FillPath " + DescribeMix(mix) + "mode=" + std::to_string(fl) + " " + DescribePath(ppo) + DescribeClip(pco) +
        DescribeBrush(pbo));
  if (Skipped("FillPath")) return TRUE;
  return Engine<PFN_DrvFillPath>("EngFillPath")(pso, ppo, pco, pbo, org, mix, fl);
}

BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pen,
                                   LINEATTRS* pla, BRUSHOBJ* fill, POINTL* org, MIX mix, FLONG fl) {
  Write("StrokeAndFillPath " + DescribeMix(mix) + "mode=" + std::to_string(fl) + " " + DescribePath(ppo) +
        DescribeClip(pco) + DescribeBrush(pen) + "fill" + DescribeBrush(fill) + DescribeLine(pla, pxo));
  return Engine<PFN_DrvStrokeAndFillPath>("EngStrokeAndFillPath")(pso, ppo, pco, pxo, pen, pla, fill, org, mix, fl);
}

BOOL APIENTRY DrvLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2, RECTL* bounds,
                        MIX mix) {
  char line[96];
  sprintf(line, "LineTo from=%ld,%ld to=%ld,%ld ", x1, y1, x2, y2);
  Write(line + DescribeMix(mix) + DescribeClip(pco) + DescribeBrush(pbo));
  return Engine<PFN_DrvLineTo>("EngLineTo")(pso, pco, pbo, x1, y1, x2, y2, bounds, mix);
}

BOOL APIENTRY DrvBitBlt(SURFOBJ* trg, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* rect,
                        POINTL* srcPoint, POINTL* maskPoint, BRUSHOBJ* pbo, POINTL* org, ROP4 rop4) {
  char line[128];
  sprintf(line, "BitBlt rop4=%04lx target=%ld,%ld,%ld,%ld ", rop4, rect->left, rect->top, rect->right, rect->bottom);
  Write(line + DescribeSource(src, pxlo) + DescribeClip(pco) + (pbo ? DescribeBrush(pbo) : std::string()));
  return Engine<PFN_DrvBitBlt>("EngBitBlt")(trg, src, mask, pco, pxlo, rect, srcPoint, maskPoint, pbo, org, rop4);
}

BOOL APIENTRY DrvCopyBits(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* rect, POINTL* srcPoint) {
  char line[128];
  sprintf(line, "CopyBits target=%ld,%ld,%ld,%ld ", rect->left, rect->top, rect->right, rect->bottom);
  Write(line + DescribeSource(src, pxlo) + DescribeClip(pco));
  return Engine<PFN_DrvCopyBits>("EngCopyBits")(dst, src, pco, pxlo, rect, srcPoint);
}

BOOL APIENTRY DrvStretchBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            COLORADJUSTMENT* adjust, POINTL* org, RECTL* target, RECTL* source, POINTL* maskPoint,
                            ULONG mode) {
  char line[160];
  sprintf(line, "StretchBlt target=%ld,%ld,%ld,%ld from=%ld,%ld,%ld,%ld mode=%lu ", target->left, target->top,
          target->right, target->bottom, source->left, source->top, source->right, source->bottom, mode);
  Write(line + DescribeSource(src, pxlo) + DescribeClip(pco));
  return Engine<PFN_DrvStretchBlt>("EngStretchBlt")(dst, src, mask, pco, pxlo, adjust, org, target, source, maskPoint,
                                                    mode);
}

BOOL APIENTRY DrvStretchBltROP(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                               COLORADJUSTMENT* adjust, POINTL* org, RECTL* target, RECTL* source, POINTL* maskPoint,
                               ULONG mode, BRUSHOBJ* pbo, DWORD rop4) {
  char line[160];
  sprintf(line, "StretchBltROP rop4=%04lx target=%ld,%ld,%ld,%ld from=%ld,%ld,%ld,%ld ", rop4, target->left,
          target->top, target->right, target->bottom, source->left, source->top, source->right, source->bottom);
  Write(line + DescribeSource(src, pxlo) + DescribeClip(pco));
  return Engine<PFN_DrvStretchBltROP>("EngStretchBltROP")(dst, src, mask, pco, pxlo, adjust, org, target, source,
                                                          maskPoint, mode, pbo, rop4);
}

BOOL APIENTRY DrvPlgBlt(SURFOBJ* dst, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                        COLORADJUSTMENT* adjust, POINTL* org, POINTFIX* points, RECTL* source, POINTL* maskPoint,
                        ULONG mode) {
  Write("PlgBlt " + DescribeSource(src, pxlo) + DescribeClip(pco));
  return Engine<PFN_DrvPlgBlt>("EngPlgBlt")(dst, src, mask, pco, pxlo, adjust, org, points, source, maskPoint, mode);
}

BOOL APIENTRY DrvAlphaBlend(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* target, RECTL* source,
                            BLENDOBJ* blend) {
  char line[192];
  sprintf(line, "AlphaBlend target=%ld,%ld,%ld,%ld from=%ld,%ld,%ld,%ld constant=%u format=%u ", target->left,
          target->top, target->right, target->bottom, source->left, source->top, source->right, source->bottom,
          blend->BlendFunction.SourceConstantAlpha, blend->BlendFunction.AlphaFormat);
  Write(line + DescribeSource(src, pxlo) + DescribeClip(pco));
  return Engine<PFN_DrvAlphaBlend>("EngAlphaBlend")(dst, src, pco, pxlo, target, source, blend);
}

BOOL APIENTRY DrvGradientFill(SURFOBJ* dst, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* vertices, ULONG count,
                              PVOID mesh, ULONG meshCount, RECTL* bounds, POINTL* org, ULONG mode) {
  char line[160];
  sprintf(line, "GradientFill mode=%lu vertices=%lu meshes=%lu bounds=%ld,%ld,%ld,%ld first=%ld,%ld,%04x ", mode,
          count, meshCount, bounds->left, bounds->top, bounds->right, bounds->bottom, vertices[0].x, vertices[0].y,
          vertices[0].Red);
  Write(line + DescribeClip(pco));
  return Engine<PFN_DrvGradientFill>("EngGradientFill")(dst, pco, pxlo, vertices, count, mesh, meshCount, bounds, org,
                                                        mode);
}

BOOL APIENTRY DrvTransparentBlt(SURFOBJ* dst, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* target,
                                RECTL* source, ULONG colour, ULONG reserved) {
  char line[160];
  sprintf(line, "TransparentBlt target=%ld,%ld,%ld,%ld key=%06lx ", target->left, target->top, target->right,
          target->bottom, colour);
  Write(line + DescribeSource(src, pxlo) + DescribeClip(pco));
  return Engine<PFN_DrvTransparentBlt>("EngTransparentBlt")(dst, src, pco, pxlo, target, source, colour, reserved);
}

BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* extra, RECTL* opaque,
                         BRUSHOBJ* fore, BRUSHOBJ* back, POINTL* org, MIX mix) {
  Write("TextOut " + DescribeText(pstro, pfo, opaque) + DescribeClip(pco) + DescribeBrush(fore) +
        (opaque ? "back" + DescribeBrush(back) : std::string()));
  return Engine<PFN_DrvTextOut>("EngTextOut")(pso, pstro, pfo, pco, extra, opaque, fore, back, org, mix);
}

__declspec(dllexport) BOOL APIENTRY DrvEnableDriver(ULONG, ULONG cj, DRVENABLEDATA* data) {
  static DRVFN functions[] = {
      {INDEX_DrvEnablePDEV, AsPfn(DrvEnablePDEV)},       {INDEX_DrvCompletePDEV, AsPfn(DrvCompletePDEV)},
      {INDEX_DrvResetPDEV, AsPfn(DrvResetPDEV)},         {INDEX_DrvDisablePDEV, AsPfn(DrvDisablePDEV)},
      {INDEX_DrvEnableSurface, AsPfn(DrvEnableSurface)}, {INDEX_DrvDisableSurface, AsPfn(DrvDisableSurface)},
      {INDEX_DrvStartDoc, AsPfn(DrvStartDoc)},           {INDEX_DrvEndDoc, AsPfn(DrvEndDoc)},
      {INDEX_DrvStartPage, AsPfn(DrvStartPage)},         {INDEX_DrvSendPage, AsPfn(DrvSendPage)},
      {INDEX_DrvEscape, AsPfn(DrvEscape)},               {INDEX_DrvRealizeBrush, AsPfn(DrvRealizeBrush)},
      {INDEX_DrvStrokePath, AsPfn(DrvStrokePath)},       {INDEX_DrvFillPath, AsPfn(DrvFillPath)},
      {INDEX_DrvStrokeAndFillPath, AsPfn(DrvStrokeAndFillPath)},
      {INDEX_DrvLineTo, AsPfn(DrvLineTo)},               {INDEX_DrvBitBlt, AsPfn(DrvBitBlt)},
      {INDEX_DrvCopyBits, AsPfn(DrvCopyBits)},           {INDEX_DrvStretchBlt, AsPfn(DrvStretchBlt)},
      {INDEX_DrvStretchBltROP, AsPfn(DrvStretchBltROP)}, {INDEX_DrvPlgBlt, AsPfn(DrvPlgBlt)},
      {INDEX_DrvAlphaBlend, AsPfn(DrvAlphaBlend)},       {INDEX_DrvGradientFill, AsPfn(DrvGradientFill)},
      {INDEX_DrvTransparentBlt, AsPfn(DrvTransparentBlt)}, {INDEX_DrvTextOut, AsPfn(DrvTextOut)},
  };
  if (cj < sizeof(DRVENABLEDATA) || !data) return FALSE;
  data->iDriverVersion = DDI_DRIVER_VERSION_NT5;
  data->c = sizeof(functions) / sizeof(functions[0]);
  data->pdrvfn = functions;
  return TRUE;
}

__declspec(dllexport) VOID APIENTRY DrvDisableDriver() {}

}  // extern "C"
