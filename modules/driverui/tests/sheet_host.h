// A stand-in for the common property-sheet host (compstui), which Wine does not have: it calls a
// configuration module's DrvDocumentPropertySheets or DrvDevicePropertySheets with property-sheet
// data, collects the pages the module adds through CPSFUNC_ADD_PROPSHEETPAGEW and shows them in a
// real, modeless property sheet that the caller drives with window messages.
#pragma once
#include "driver_ui_interface.h"

#include <string>
#include <vector>

typedef LONG(WINAPI* PropertySheetsEntry)(PPROPSHEETUI_INFO, LPARAM);

struct SheetHost {
  PROPSHEETUI_INFO Info = {};
  std::vector<HPROPSHEETPAGE> Pages;
  std::vector<LPARAM> Results;  // the results the pages reported with CPSFUNC_SET_RESULT
  HWND Sheet = nullptr;
  ~SheetHost();
};

// The module beside the test program, loaded once.
HMODULE LoadUiModule();
template <typename Function>
Function UiEntry(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(LoadUiModule(), name)));
}

// The PROPSHEETUI_REASON_INIT call with request as lParamInit; the entry's answer.
LONG CollectPages(SheetHost& host, PropertySheetsEntry entry, void* request);
// The same for DrvDocumentPropertySheets as the common property-sheet host calls it: of fMode only
// DM_IN_PROMPT, DM_ADVANCED, DM_NOPERMISSION and DM_OUT_BUFFER are left, and pdmIn stays.
LONG CollectDocumentPages(SheetHost& host, PropertySheetsEntry entry, DOCUMENTPROPERTYHEADER* request);
// Shows the collected pages in a modeless property sheet; the first page is current.
HWND ShowSheet(SheetHost& host, LPCWSTR title);
HWND CurrentPage(const SheetHost& host);
// Presses PSBTN_OK or PSBTN_CANCEL and waits (bounded) until the sheet has finished; true then.
bool FinishSheet(SheetHost& host, int button);
// Handles this thread's window messages for about ms milliseconds.
void PumpMessages(DWORD ms);

// Selects the combo box item whose data is data, as a user would (with CBN_SELCHANGE).
bool SelectItemByData(HWND page, int id, LPARAM data);
std::wstring ControlText(HWND page, int id);
