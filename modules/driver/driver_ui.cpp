// vtxui: the Quillstack printer driver's configuration module. The spooler and applications load
// it when a printer is created and whenever its settings are read: it answers with one fixed set
// of default settings and plain capabilities. There are no property pages to show.
#include <windows.h>
#include <winspool.h>

#include <stddef.h>

#include "document_property_header.h"

namespace {

const WORD DriverVersion = 0x0100;
const LONG Resolution = 600;
const WCHAR PaperName[] = L"Letter";
const POINT PaperSize = {2159, 2794};  // tenths of a millimetre

void DefaultSettings(DEVMODEW& settings, LPCWSTR printerName) {
  ZeroMemory(&settings, sizeof(settings));
  if (printerName) lstrcpynW(settings.dmDeviceName, printerName, CCHDEVICENAME);
  settings.dmSpecVersion = DM_SPECVERSION;
  settings.dmDriverVersion = DriverVersion;
  settings.dmSize = sizeof(DEVMODEW);
  settings.dmDriverExtra = 0;
  settings.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLOR;
  settings.dmOrientation = DMORIENT_PORTRAIT;
  settings.dmPaperSize = DMPAPER_LETTER;
  settings.dmCopies = 1;
  settings.dmPrintQuality = static_cast<short>(Resolution);
  settings.dmYResolution = static_cast<short>(Resolution);
  settings.dmColor = DMCOLOR_COLOR;
}

// Takes over the choices of the caller's settings that this printer knows.
void MergeSettings(DEVMODEW& settings, const DEVMODEW* input) {
  if (!input || input->dmSize < offsetof(DEVMODEW, dmFormName)) return;
  if ((input->dmFields & DM_ORIENTATION) &&
      (input->dmOrientation == DMORIENT_PORTRAIT || input->dmOrientation == DMORIENT_LANDSCAPE))
    settings.dmOrientation = input->dmOrientation;
  if ((input->dmFields & DM_COPIES) && input->dmCopies >= 1) settings.dmCopies = input->dmCopies;
  if ((input->dmFields & DM_COLOR) && (input->dmColor == DMCOLOR_COLOR || input->dmColor == DMCOLOR_MONOCHROME))
    settings.dmColor = input->dmColor;
}

}  // namespace

extern "C" {

// Without property-sheet data: fMode 0 (or no output buffer) asks for the size of the settings;
// DM_OUT_BUFFER asks for the defaults, merged with the caller's settings under DM_IN_BUFFER.
// With property-sheet data the caller wants pages: there are none to add.
LONG WINAPI DrvDocumentPropertySheets(LPVOID pPSUIInfo, LPARAM lParam) {
  if (pPSUIInfo) return 1;
  DocumentPropertyHeader* header = reinterpret_cast<DocumentPropertyHeader*>(lParam);
  if (!header || header->cbSize < sizeof(DocumentPropertyHeader)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (header->fMode == 0 || !header->pdmOut) {
    header->cbOut = sizeof(DEVMODEW);
    return static_cast<LONG>(sizeof(DEVMODEW));
  }
  if (!(header->fMode & DM_OUT_BUFFER)) return IDOK;
  if (header->cbOut < sizeof(DEVMODEW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  DEVMODEW settings;
  DefaultSettings(settings, header->pszPrinterName);
  if (header->fMode & DM_IN_BUFFER) MergeSettings(settings, header->pdmIn);
  memcpy(header->pdmOut, &settings, sizeof(settings));
  return IDOK;
}

// The printer's capabilities for DeviceCapabilities: one paper, one resolution, no bins.
DWORD WINAPI DrvDeviceCapabilities(HANDLE, LPWSTR pDeviceName, WORD iDevCap, LPVOID pvOutput, PDEVMODEW) {
  switch (iDevCap) {
    case DC_FIELDS:
      return DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLOR;
    case DC_SIZE:
      return sizeof(DEVMODEW);
    case DC_EXTRA:
    case DC_DUPLEX:
    case DC_BINS:
    case DC_BINNAMES:
    case DC_TRUETYPE:
      return 0;
    case DC_VERSION:
      return DM_SPECVERSION;
    case DC_DRIVER:
      return DriverVersion;
    case DC_COPIES:
      return 999;
    case DC_ORIENTATION:
      return 90;
    case DC_COLORDEVICE:
      return 1;
    case DC_PAPERS:
      if (pvOutput) *static_cast<WORD*>(pvOutput) = DMPAPER_LETTER;
      return 1;
    case DC_PAPERSIZE:
      if (pvOutput) *static_cast<POINT*>(pvOutput) = PaperSize;
      return 1;
    case DC_PAPERNAMES:
      if (pvOutput) {
        ZeroMemory(pvOutput, 64 * sizeof(WCHAR));
        lstrcpynW(static_cast<LPWSTR>(pvOutput), PaperName, 64);
      }
      return 1;
    case DC_ENUMRESOLUTIONS:
      if (pvOutput) {
        static_cast<LONG*>(pvOutput)[0] = Resolution;
        static_cast<LONG*>(pvOutput)[1] = Resolution;
      }
      return 1;
    case DC_MINEXTENT:
    case DC_MAXEXTENT:
      return MAKELONG(PaperSize.x, PaperSize.y);
    default:
      (void)pDeviceName;
      return GDI_ERROR;
  }
}

// Printer and driver events (created, deleted, driver installed): nothing to set up or clean.
BOOL WINAPI DrvPrinterEvent(LPWSTR, INT, DWORD, LPARAM) { return TRUE; }
BOOL WINAPI DrvDriverEvent(DWORD, DWORD, LPBYTE, LPARAM) { return TRUE; }

}  // extern "C"
