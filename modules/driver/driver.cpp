// vtxdrv: the Quillstack printer driver's graphics DLL (user mode): the entry points GDI calls.
// The graphics engine draws each page into a 24-bit bitmap that the driver hands it. With the
// document content setting the surface hooks the drawing calls (draw_calls.h): each is said in the
// page's PDF content where PDF can say it exactly, else noted as a raster patch, and then drawn by
// its Eng twin, so the bitmap stays exact; DrvSendPage writes the page's content with its patches
// (page_send.h). With "Each page as an image" nothing is hooked and the page goes out as one
// picture (page_picture.h). The bytes go to the printer through EngWritePrinter as they are made.
#include <windows.h>
#include <winddi.h>

#include <string.h>

#include <new>

#include "draw_calls.h"
#include "engine_calls.h"
#include "hatch_patterns.h"
#include "job_settings.h"
#include "page_picture.h"
#include "page_recording.h"
#include "page_send.h"
#include "pdf_document.h"
#include "printer_device.h"

namespace {

// While a page is written: whether the spooler cancelled the job (EngCheckAbort).
bool JobCancelled(void* target) {
  PrinterDevice* device = static_cast<PrinterDevice*>(target);
  return device->Engine.EngCheckAbort && device->PageSurface && device->Engine.EngCheckAbort(device->PageSurface);
}

// The document's bytes to the printer; a short or failed write loses the job, so it fails.
bool WriteToPrinter(void* target, const BYTE* bytes, DWORD count) {
  PrinterDevice* device = static_cast<PrinterDevice*>(target);
  while (count) {
    DWORD written = 0;
    if (!device->Engine.WritePrinter(device->Printer, const_cast<BYTE*>(bytes), count, &written) || written == 0 ||
        written > count)
      return false;
    bytes += written;
    count -= written;
  }
  return true;
}

void FillGdiInfo(const PageGeometry& page, FLONG hooks, GDIINFO& info) {
  ZeroMemory(&info, sizeof(info));
  info.ulVersion = GDI_DRIVER_VERSION;
  info.ulTechnology = DT_RASPRINTER;
  // Negative sizes are micrometres: whole millimetres would make GDI's metric mapping modes (and
  // HORZSIZE/VERTSIZE against HORZRES/VERTRES) up to a seventh of a percent off, circles not
  // round. The size is the extent of the pixels, so both directions scale alike.
  info.ulHorzSize = static_cast<ULONG>(-MulDiv(page.WidthPixels, 25400, page.Dpi));
  info.ulVertSize = static_cast<ULONG>(-MulDiv(page.HeightPixels, 25400, page.Dpi));
  info.ulHorzRes = page.WidthPixels;
  info.ulVertRes = page.HeightPixels;
  info.cBitsPixel = 24;
  info.cPlanes = 1;
  info.ulNumColors = static_cast<ULONG>(-1);
  info.flRaster = 0;
  info.ulLogPixelsX = page.Dpi;
  info.ulLogPixelsY = page.Dpi;
  info.flTextCaps = TC_RA_ABLE;
  info.ulDACRed = info.ulDACGreen = info.ulDACBlue = 8;
  info.ulAspectX = info.ulAspectY = page.Dpi;
  info.ulAspectXY = static_cast<ULONG>(page.Dpi * 1414 / 1000);  // the diagonal of a square pixel
  info.xStyleStep = info.yStyleStep = 1;
  info.denStyleStep = page.Dpi / 50;  // dotted lines of about half a millimetre
  info.ptlPhysOffset.x = info.ptlPhysOffset.y = 0;  // the whole paper is printable
  info.szlPhysSize.cx = page.WidthPixels;
  info.szlPhysSize.cy = page.HeightPixels;
  // sRGB primaries and white point, in the units COLORINFO uses (1/10000).
  COLORINFO& colour = info.ciDevice;
  colour.Red = {6400, 3300, 0};
  colour.Green = {3000, 6000, 0};
  colour.Blue = {1500, 600, 0};
  colour.Cyan = {2250, 3290, 0};
  colour.Magenta = {3210, 1540, 0};
  colour.Yellow = {4190, 5050, 0};
  colour.AlignmentWhite = {3127, 3290, 0};
  colour.RedGamma = colour.GreenGamma = colour.BlueGamma = 20000;
  info.ulDevicePelsDPI = page.Dpi;
  info.ulPrimaryOrder = PRIMARY_ORDER_CBA;  // the surface's bytes are blue, green, red
  info.ulHTPatternSize = HT_PATSIZE_4x4_M;
  info.ulHTOutputFormat = HT_FORMAT_24BPP;
  info.flHTFlags = HT_FLAG_HAS_BLACK_DYE;
  if (hooks & HOOK_GRADIENTFILL) info.flShadeBlend = DocumentShadeBlendCaps;
}

void FillDevInfo(HPALETTE palette, FLONG hooks, DEVINFO& info) {
  ZeroMemory(&info, sizeof(info));
  // Images stretched with HALFTONE are smoothed into the 24-bit surface rather than dropped rows.
  info.flGraphicsCaps = GCAPS_HALFTONE;
  if (hooks & HOOK_FILLPATH) info.flGraphicsCaps |= DocumentGraphicsCaps;
  info.cFonts = 0;  // no device fonts: the engine renders all text
  info.iDitherFormat = BMF_24BPP;
  info.hpalDefault = palette;
}

// Settings, page and the device's answers for a DEVMODE from any caller.
bool SetUpDevice(PrinterDevice& device, DEVMODEW* pdm, LPWSTR deviceName) {
  DefaultJobSettings(device.Settings, deviceName);
  MergeJobSettings(device.Settings, pdm, 0);  // GDI gives no size: dmSize and dmDriverExtra must do
  ComputePageGeometry(device.Settings, device.Page);
  return true;
}

void FreeDevice(PrinterDevice* device) {
  if (!device) return;
  PdfFreeDocument(device->Document);
  PageFree(device->Recording);
  DeleteHatchPatterns(device->Engine, device->Patterns);
  if (device->Palette) device->Engine.DeletePalette(device->Palette);
  delete device;
}

ULONG SupportedEscape(ULONG escape) { return escape == QUERYESCSUPPORT ? 1 : 0; }

// A table entry of any of the entry points (the engine casts it back by its index).
template <typename Function>
PFN Entry(Function function) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

extern "C" {

// DRVQUERY_USERMODE (1): a user-mode driver.
BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (dwMode != DRVQUERY_USERMODE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!pBuffer || cbBuf < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<DWORD*>(pBuffer) = TRUE;
  return TRUE;
}

DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo,
                              DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver) {
  PrinterDevice* device = new (std::nothrow) PrinterDevice();
  if (!device) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (!ResolveEngineCalls(device->Engine)) {  // last error: ERROR_PROC_NOT_FOUND
    delete device;
    return nullptr;
  }
  device->Printer = hDriver;
  device->EngineDevice = hdev;
  SetUpDevice(*device, pdm, pwszDeviceName);
  // Document content needs the engine's drawing functions; a host without them gets the picture.
  bool document = device->Settings.Private.PageContent == PageContentDocument;
  device->Hooks = document && device->Engine.CanDraw ? DocumentHooks : 0;
  device->Palette = device->Engine.CreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  if (!device->Palette) {
    FreeDevice(device);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // Hatch brushes at a pitch that reads on paper; GDI says how many handles it has room for.
  if (phsurfPatterns && cPat) {
    if (!CreateHatchPatterns(device->Engine, device->Page.Dpi, cPat, device->Patterns)) {
      FreeDevice(device);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    for (ULONG i = 0; i < device->Patterns.Count; ++i) phsurfPatterns[i] = device->Patterns.Surfaces[i];
  }
  // GDI says how much it has room for; nothing beyond that is written.
  GDIINFO gdiInfo;
  FillGdiInfo(device->Page, device->Hooks, gdiInfo);
  if (pdevcaps) memcpy(pdevcaps, &gdiInfo, cjCaps < sizeof(gdiInfo) ? cjCaps : sizeof(gdiInfo));
  DEVINFO devInfo;
  FillDevInfo(device->Palette, device->Hooks, devInfo);
  if (pdi) memcpy(pdi, &devInfo, cjDevInfo < sizeof(devInfo) ? cjDevInfo : sizeof(devInfo));
  return reinterpret_cast<DHPDEV>(device);
}

VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  if (PrinterDevice* device = DeviceOf(dhpdev)) device->EngineDevice = hdev;
}

// ResetDC in the middle of a job: the document goes on in the new device, with its settings.
BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  PrinterDevice* old = DeviceOf(dhpdevOld);
  PrinterDevice* device = DeviceOf(dhpdevNew);
  if (!old || !device) return FALSE;
  if (old->Document) {
    PdfFreeDocument(device->Document);
    device->Document = old->Document;
    device->Document->Target = device;
    device->JobId = old->JobId;
    device->DocumentFromReset = true;
    old->Document = nullptr;
  }
  return TRUE;
}

VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) { FreeDevice(DeviceOf(dhpdev)); }

// The page bitmap: 24 bits, top-down, managed by the engine, which draws every call into it (the
// hooked ones through their Eng twins).
HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
  PrinterDevice* device = DeviceOf(dhpdev);
  if (!device) return nullptr;
  SIZEL size = {device->Page.WidthPixels, device->Page.HeightPixels};
  LONG stride = ((size.cx * 3) + 3) & ~3;
  HBITMAP bitmap = device->Engine.CreateBitmap(size, stride, BMF_24BPP, BMF_TOPDOWN, nullptr);
  if (!bitmap) {
    // Nearly always memory: an A3 page at 600 dpi is a bitmap of 199 MiB in one piece.
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HSURF surface = reinterpret_cast<HSURF>(bitmap);
  if (!device->Engine.AssociateSurface(surface, device->EngineDevice, device->Hooks)) {
    device->Engine.DeleteSurface(surface);
    return nullptr;
  }
  device->Surface = surface;
  return surface;
}

VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
  PrinterDevice* device = DeviceOf(dhpdev);
  if (!device || !device->Surface) return;
  device->Engine.DeleteSurface(device->Surface);
  device->Surface = nullptr;
}

// GDI calls DrvStartDoc at the start of each job and again after ResetDC, then with no document
// name and job id 0: only that call goes on with the document the replaced device handed over.
// Any other start is a new job, which starts a new document; an unfinished one is dropped (its
// job had the bytes written so far, never a document spliced with another).
BOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device) return FALSE;
  bool resumes = device->Document && device->DocumentFromReset &&
                 ((!pwszDocName && dwJobId == 0) || (dwJobId != 0 && dwJobId == device->JobId));
  device->DocumentFromReset = false;
  if (resumes) return TRUE;
  PdfFreeDocument(device->Document);
  device->Document = PdfBeginDocument(WriteToPrinter, device, pwszDocName);
  if (!device->Document) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  device->Document->IsCancelled = JobCancelled;
  device->JobId = dwJobId;
  return TRUE;
}

// A new page starts white.
BOOL APIENTRY DrvStartPage(SURFOBJ* pso) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !pso->pvScan0) return FALSE;
  LONG rowBytes = pso->sizlBitmap.cx * 3;
  BYTE* row = static_cast<BYTE*>(pso->pvScan0);
  for (LONG y = 0; y < pso->sizlBitmap.cy; ++y, row += pso->lDelta) memset(row, 0xFF, rowBytes);
  if (device->Hooks) {
    // Without memory for the recording the page is still sent, as its picture.
    PageRecording* page = PageStart(device->Recording, pso->sizlBitmap.cx, pso->sizlBitmap.cy, device->Page.Grey);
    if (page) device->Recording = page;
  }
  device->PageStarted = true;
  return TRUE;
}

BOOL APIENTRY DrvSendPage(SURFOBJ* pso) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Document || !pso->pvScan0 || pso->iBitmapFormat != BMF_24BPP) return FALSE;
  PdfPagePixels pixels = {static_cast<const BYTE*>(pso->pvScan0), pso->lDelta, pso->sizlBitmap.cx,
                          pso->sizlBitmap.cy};
  PageRecording* page = device->Hooks ? device->Recording : nullptr;
  bool recorded = page && device->PageStarted && !page->Failed;
  device->PageStarted = false;
  device->PageSurface = pso;
  bool cancelled = PdfJobWasCancelled(*device->Document);
  bool sent = !cancelled && (recorded ? PageSend(*device->Document, *page, device->Page, pixels)
                                      : PdfWritePagePicture(*device->Document, device->Page, pixels));
  cancelled = device->Document->Cancelled;
  device->PageSurface = nullptr;
  if (sent) return TRUE;
  // A cancelled job ends here, at once (EngCheckAbort is asked as the page is written): GDI is
  // told and aborts the document.
  SetLastError(cancelled ? ERROR_PRINT_CANCELLED : ERROR_WRITE_FAULT);
  return FALSE;
}

BOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG fl) {
  PrinterDevice* device = DeviceOf(pso);
  if (!device || !device->Document) return FALSE;
  bool finished = true;
  if (!(fl & ED_ABORTDOC)) {
    // A job without pages (an empty selection) still gets a document readers open: one blank
    // page of the job's paper. A document of no pages is refused by most readers.
    const DEVMODEW& settings = device->Settings.Public;
    int copies = settings.dmCopies;
    if (device->Document->PageCount == 0) {
      PdfPagePixels none = {nullptr, 0, 0, 0};
      PdfWritePagePicture(*device->Document, device->Page, none);
      copies = 1;
    }
    finished = PdfEndDocument(*device->Document, copies, settings.dmCollate != DMCOLLATE_FALSE);
  }
  PdfFreeDocument(device->Document);
  device->Document = nullptr;
  if (!finished) SetLastError(ERROR_WRITE_FAULT);
  return finished;
}

ULONG APIENTRY DrvEscape(SURFOBJ*, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
  if (iEsc == QUERYESCSUPPORT) {
    if (!pvIn || cjIn < sizeof(ULONG)) return 0;
    return SupportedEscape(*static_cast<ULONG*>(pvIn));
  }
  return 0;  // not supported
}

BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  static DRVFN functions[] = {
      {INDEX_DrvEnablePDEV, Entry(DrvEnablePDEV)},
      {INDEX_DrvCompletePDEV, Entry(DrvCompletePDEV)},
      {INDEX_DrvResetPDEV, Entry(DrvResetPDEV)},
      {INDEX_DrvDisablePDEV, Entry(DrvDisablePDEV)},
      {INDEX_DrvEnableSurface, Entry(DrvEnableSurface)},
      {INDEX_DrvDisableSurface, Entry(DrvDisableSurface)},
      {INDEX_DrvStartDoc, Entry(DrvStartDoc)},
      {INDEX_DrvEndDoc, Entry(DrvEndDoc)},
      {INDEX_DrvStartPage, Entry(DrvStartPage)},
      {INDEX_DrvSendPage, Entry(DrvSendPage)},
      {INDEX_DrvEscape, Entry(DrvEscape)},
      {INDEX_DrvTextOut, Entry(DrvTextOut)},
      {INDEX_DrvStrokePath, Entry(DrvStrokePath)},
      {INDEX_DrvFillPath, Entry(DrvFillPath)},
      {INDEX_DrvStrokeAndFillPath, Entry(DrvStrokeAndFillPath)},
      {INDEX_DrvLineTo, Entry(DrvLineTo)},
      {INDEX_DrvBitBlt, Entry(DrvBitBlt)},
      {INDEX_DrvCopyBits, Entry(DrvCopyBits)},
      {INDEX_DrvStretchBlt, Entry(DrvStretchBlt)},
      {INDEX_DrvStretchBltROP, Entry(DrvStretchBltROP)},
      {INDEX_DrvPlgBlt, Entry(DrvPlgBlt)},
      {INDEX_DrvAlphaBlend, Entry(DrvAlphaBlend)},
      {INDEX_DrvTransparentBlt, Entry(DrvTransparentBlt)},
      {INDEX_DrvGradientFill, Entry(DrvGradientFill)},
  };
  if (iEngineVersion < DDI_DRIVER_VERSION_NT4 || cj < sizeof(DRVENABLEDATA) || !pded) {
    SetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
  }
  pded->iDriverVersion = DDI_DRIVER_VERSION_NT5;
  pded->c = sizeof(functions) / sizeof(functions[0]);
  pded->pdrvfn = functions;
  return TRUE;
}

VOID APIENTRY DrvDisableDriver() {}

}  // extern "C"
