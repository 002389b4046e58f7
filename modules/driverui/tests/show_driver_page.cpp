// show_driver_page.exe document|printer [SECONDS]: shows Printing Preferences (with A4, landscape,
// 600 dpi, grey and 2 copies as the caller's settings) or the printer page of vtxui64.dll
// in a property sheet at the top left of the screen, for a screenshot; closes it after SECONDS
// (default 30) with Cancel.
#include <stdlib.h>

#include "job_settings.h"
#include "sheet_host.h"

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count < 2 || !LoadUiModule()) return 2;
  bool document = lstrcmpW(args[1], L"document") == 0;
  DWORD seconds = count > 2 ? static_cast<DWORD>(_wtoi(args[2])) : 30;
  wchar_t printer[] = L"Quillstack";
  JobSettings in, out;
  DefaultJobSettings(in, printer);
  in.Public.dmPaperSize = DMPAPER_A4;
  in.Public.dmFields &= ~DM_FORMNAME;
  in.Public.dmOrientation = DMORIENT_LANDSCAPE;
  in.Public.dmPrintQuality = in.Public.dmYResolution = 600;
  in.Public.dmColor = DMCOLOR_MONOCHROME;
  in.Public.dmCopies = 2;
  DOCUMENTPROPERTYHEADER documentRequest = {sizeof(documentRequest), 0, nullptr, printer, &in.Public, &out.Public,
                                            sizeof(out), DM_IN_BUFFER | DM_OUT_BUFFER | DM_IN_PROMPT};
  DEVICEPROPERTYHEADER deviceRequest = {sizeof(deviceRequest), 0, nullptr, printer};
  SheetHost host;
  LONG added = document ? CollectPages(host, UiEntry<PropertySheetsEntry>("DrvDocumentPropertySheets"), &documentRequest)
                        : CollectPages(host, UiEntry<PropertySheetsEntry>("DrvDevicePropertySheets"), &deviceRequest);
  if (added <= 0 || !ShowSheet(host, document ? L"Quillstack Printing Preferences" : L"Quillstack Properties"))
    return 1;
  SetWindowPos(host.Sheet, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
  PumpMessages(seconds * 1000);
  return FinishSheet(host, PSBTN_CANCEL) ? 0 : 1;
}
