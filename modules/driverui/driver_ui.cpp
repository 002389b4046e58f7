// vtxui: the Quillstack printer driver's configuration module. The spooler, GDI and applications
// load it to learn the size and defaults of a job's settings, to convert and check settings, to
// ask the printer's capabilities and to show its property pages. Every caller's DEVMODE goes
// through MergeJobSettings, so what comes back is always a complete set the driver accepts.
#include "driver_ui_interface.h"

#include <winspool.h>

#include <stdint.h>
#include <string.h>

#include "job_settings.h"
#include "ui_capabilities.h"
#include "ui_pages.h"

HINSTANCE UiModule = nullptr;

namespace {

// The smallest DEVMODE that holds dmFields; a conversion target below it is not a DEVMODE.
const WORD SmallestDevmode = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
// A Windows NT 3.51 DEVMODE ends before the ICM fields and has version 0x0320.
const WORD Devmode351Size = offsetof(DEVMODEW, dmICMMethod);
const WORD Devmode351Version = 0x0320;

#define FIELD_END(field) (offsetof(DEVMODEW, field) + sizeof(DEVMODEW::field))
// Where the field of each printer setting ends: a smaller layout keeps no flag for a field it
// cannot hold (dmCollate, say, lies beyond a Windows 3.1 DEVMODE).
const struct {
  DWORD Flag;
  size_t End;
} FieldEnds[] = {
    {DM_ORIENTATION, FIELD_END(dmOrientation)},   {DM_PAPERSIZE, FIELD_END(dmPaperSize)},
    {DM_PAPERLENGTH, FIELD_END(dmPaperLength)},   {DM_PAPERWIDTH, FIELD_END(dmPaperWidth)},
    {DM_SCALE, FIELD_END(dmScale)},               {DM_COPIES, FIELD_END(dmCopies)},
    {DM_DEFAULTSOURCE, FIELD_END(dmDefaultSource)}, {DM_PRINTQUALITY, FIELD_END(dmPrintQuality)},
    {DM_COLOR, FIELD_END(dmColor)},               {DM_DUPLEX, FIELD_END(dmDuplex)},
    {DM_YRESOLUTION, FIELD_END(dmYResolution)},   {DM_TTOPTION, FIELD_END(dmTTOption)},
    {DM_COLLATE, FIELD_END(dmCollate)},           {DM_FORMNAME, FIELD_END(dmFormName)},
    {DM_LOGPIXELS, FIELD_END(dmLogPixels)},       {DM_BITSPERPEL, FIELD_END(dmBitsPerPel)},
    {DM_PELSWIDTH, FIELD_END(dmPelsWidth)},       {DM_PELSHEIGHT, FIELD_END(dmPelsHeight)},
    {DM_NUP, FIELD_END(dmNup)},                   {DM_DISPLAYFREQUENCY, FIELD_END(dmDisplayFrequency)},
    {DM_ICMMETHOD, FIELD_END(dmICMMethod)},       {DM_ICMINTENT, FIELD_END(dmICMIntent)},
    {DM_MEDIATYPE, FIELD_END(dmMediaType)},       {DM_DITHERTYPE, FIELD_END(dmDitherType)},
    {DM_PANNINGWIDTH, FIELD_END(dmPanningWidth)}, {DM_PANNINGHEIGHT, FIELD_END(dmPanningHeight)},
};

// Writes settings as a DEVMODE of publicBytes public and extraBytes private bytes (extraBytes is 0
// or sizeof(PrivateSettings)).
void WriteSettings(const JobSettings& settings, WORD publicBytes, WORD extraBytes, WORD specVersion, DEVMODEW* out) {
  DEVMODEW dm = settings.Public;
  dm.dmSize = publicBytes;
  dm.dmDriverExtra = extraBytes;
  dm.dmSpecVersion = specVersion;
  for (const auto& field : FieldEnds)
    if (publicBytes < field.End) dm.dmFields &= ~field.Flag;
  memcpy(out, &dm, publicBytes);
  if (extraBytes) memcpy(reinterpret_cast<BYTE*>(out) + publicBytes, &settings.Private, extraBytes);
}

// The defaults for the printer, merged with the caller's settings when it gives them.
void SettingsFor(JobSettings& settings, LPCWSTR printerName, const DEVMODEW* input) {
  DefaultJobSettings(settings, printerName);
  if (input) MergeJobSettings(settings, input, 0);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    UiModule = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

// With property-sheet data the host wants the Printing Preferences page (see ui_document_page).
// Without, lParam is a DOCUMENTPROPERTYHEADER: fMode 0 (or no output buffer) asks for the size of
// the settings; DM_OUT_BUFFER asks for the defaults, merged with the caller's under DM_IN_BUFFER.
LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  if (pPSUIInfo) return DocumentPageRequest(*pPSUIInfo, lParam);
  DOCUMENTPROPERTYHEADER* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam);
  if (!header || header->cbSize < sizeof(DOCUMENTPROPERTYHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (header->fMode == 0 || !header->pdmOut) {
    header->cbOut = sizeof(JobSettings);
    return static_cast<LONG>(sizeof(JobSettings));
  }
  if (!(header->fMode & DM_OUT_BUFFER)) return IDOK;
  if (header->cbOut < sizeof(JobSettings)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  JobSettings settings;
  SettingsFor(settings, header->pszPrinterName, (header->fMode & DM_IN_BUFFER) ? header->pdmIn : nullptr);
  memcpy(header->pdmOut, &settings, sizeof(settings));
  return IDOK;
}

// The printer page (see ui_device_page); there is nothing to ask without property-sheet data.
LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  if (!pPSUIInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return DevicePageRequest(*pPSUIInfo, lParam);
}

// Settings between DEVMODE versions, for the spooler. *pcbNeeded holds the output buffer's size
// and receives the size written (or needed, with ERROR_INSUFFICIENT_BUFFER). CDM_CONVERT writes
// the caller's settings in the layout pdmOut already names (its dmSize, and our private part when
// its dmDriverExtra has room for it); CDM_CONVERT351 in the Windows NT 3.51 layout;
// CDM_DRIVER_DEFAULT the defaults in the current one.
BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, PDEVMODEW pdmIn, PDEVMODEW pdmOut, PLONG pcbNeeded, DWORD fMode) {
  if (!pcbNeeded || *pcbNeeded < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const size_t available = static_cast<size_t>(*pcbNeeded);
  WORD publicBytes = sizeof(DEVMODEW), extraBytes = sizeof(PrivateSettings), specVersion = DM_SPECVERSION;
  const DEVMODEW* input = nullptr;
  switch (fMode) {
    case CDM_DRIVER_DEFAULT:
      break;
    case CDM_CONVERT351:
      if (!pdmIn) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      input = pdmIn;
      publicBytes = Devmode351Size;
      extraBytes = 0;
      specVersion = Devmode351Version;
      break;
    case CDM_CONVERT:
      // The target's layout is read from pdmOut, so at least its dmFields must be there.
      if (!pdmIn || !pdmOut || available < SmallestDevmode || pdmOut->dmSize < SmallestDevmode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      input = pdmIn;
      if (pdmOut->dmSize < sizeof(DEVMODEW)) {
        publicBytes = pdmOut->dmSize;
        specVersion = pdmOut->dmSpecVersion;
      }
      if (pdmOut->dmDriverExtra < sizeof(PrivateSettings)) extraBytes = 0;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  const size_t needed = static_cast<size_t>(publicBytes) + extraBytes;
  if (!pdmOut || available < needed) {
    *pcbNeeded = static_cast<LONG>(needed);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  JobSettings settings;
  SettingsFor(settings, pPrinterName, input);
  WriteSettings(settings, publicBytes, extraBytes, specVersion, pdmOut);
  *pcbNeeded = static_cast<LONG>(needed);
  return TRUE;
}

// The printer's capabilities for DeviceCapabilities. None of them depends on the job's settings.
DWORD WINAPI DrvDeviceCapabilities(HANDLE, LPWSTR, WORD iDevCap, LPVOID pvOutput, PDEVMODEW) {
  return QueryDeviceCapability(UiModule, iDevCap, pvOutput, SIZE_MAX);
}

// The same for the spooler, which says how large its buffer is (in characters).
DWORD WINAPI DrvSplDeviceCaps(HANDLE, PWSTR, WORD Capability, PVOID pOutput, DWORD cchBufSize, PDEVMODEW) {
  return QueryDeviceCapability(UiModule, Capability, pOutput, static_cast<size_t>(cchBufSize) * sizeof(WCHAR));
}

// Whether a job can print with its settings: always, since the driver renders every setting it
// does not know with its default.
BOOL WINAPI DevQueryPrintEx(PDEVQUERYPRINT_INFO pDQPInfo) {
  if (!pDQPInfo || pDQPInfo->cbSize < sizeof(DEVQUERYPRINT_INFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pDQPInfo->cchNeeded = 0;
  return TRUE;
}

// What the EMF print processor asks before it plays a job: which of the job's attributes the
// driver handles itself. The driver makes every copy (dmCopies, collated or not, into the
// document), so the print processor plays the job once and makes none; it does no N-up, booklet,
// reverse order or scaling either (the driver offers none of them). Levels 1 to 4 grow by
// members at the end, so one record filled in full serves every level by its size.
BOOL WINAPI DrvQueryJobAttributes(HANDLE, PDEVMODEW pDevMode, DWORD dwLevel, LPBYTE lpAttributeInfo) {
  static const size_t LevelSizes[] = {0, sizeof(ATTRIBUTE_INFO_1), sizeof(ATTRIBUTE_INFO_2), sizeof(ATTRIBUTE_INFO_3),
                                      sizeof(ATTRIBUTE_INFO_4)};
  if (!lpAttributeInfo || dwLevel < 1 || dwLevel > 4) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  JobSettings settings;
  SettingsFor(settings, nullptr, pDevMode);
  ATTRIBUTE_INFO_4 info = {};
  info.dwJobNumberOfPagesPerSide = info.dwDrvNumberOfPagesPerSide = 1;
  info.dwNupBorderFlags = NO_BORDER_PRINT;
  info.dwJobPageOrderFlags = info.dwDrvPageOrderFlags = NORMAL_PRINT;
  info.dwJobNumberOfCopies = info.dwDrvNumberOfCopies = static_cast<DWORD>(settings.Public.dmCopies);
  info.dwColorOptimization = NO_COLOR_OPTIMIZATION;
  info.dmPrintQuality = settings.Public.dmPrintQuality;
  info.dmYResolution = settings.Public.dmYResolution;
  info.dwScalingPercentX = info.dwScalingPercentY = 100;
  memcpy(lpAttributeInfo, &info, LevelSizes[dwLevel]);
  return TRUE;
}

// Printer and driver events (created, deleted, driver installed): nothing to set up or clean.
BOOL WINAPI DrvPrinterEvent(LPWSTR, INT, DWORD, LPARAM) { return TRUE; }
BOOL WINAPI DrvDriverEvent(DWORD, DWORD, LPBYTE, LPARAM) { return TRUE; }

}  // extern "C"
