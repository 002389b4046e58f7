#include "sheet_host.h"

namespace {

LONG_PTR CALLBACK HostCallback(HANDLE sheet, UINT function, LPARAM first, LPARAM second) {
  SheetHost& host = *static_cast<SheetHost*>(sheet);
  switch (function) {
    case CPSFUNC_ADD_PROPSHEETPAGEW: {
      HPROPSHEETPAGE page = CreatePropertySheetPageW(reinterpret_cast<PROPSHEETPAGEW*>(first));
      if (!page) return 0;
      host.Pages.push_back(page);
      return static_cast<LONG_PTR>(host.Pages.size());
    }
    case CPSFUNC_SET_RESULT:
      host.Results.push_back(second);
      return 1;
    default:
      return 0;
  }
}

}  // namespace

SheetHost::~SheetHost() {
  if (Sheet) DestroyWindow(Sheet);  // releases the pages it holds
  else
    for (HPROPSHEETPAGE page : Pages) DestroyPropertySheetPage(page);
  PumpMessages(0);
}

HMODULE LoadUiModule() {
  static HMODULE module = [] {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    return LoadLibraryW((folder + L"vtxui64.dll").c_str());
  }();
  return module;
}

LONG CollectPages(SheetHost& host, PropertySheetsEntry entry, void* request) {
  host.Info.cbSize = sizeof(host.Info);
  host.Info.Version = PROPSHEETUI_INFO_VERSION;
  host.Info.Reason = PROPSHEETUI_REASON_INIT;
  host.Info.hComPropSheet = &host;
  host.Info.pfnComPropSheet = HostCallback;
  host.Info.lParamInit = reinterpret_cast<LPARAM>(request);
  return entry(&host.Info, 0);
}

LONG CollectDocumentPages(SheetHost& host, PropertySheetsEntry entry, DOCUMENTPROPERTYHEADER* request) {
  if (request) request->fMode &= DM_IN_PROMPT | DM_ADVANCED | DM_NOPERMISSION | DM_OUT_BUFFER;
  return CollectPages(host, entry, request);
}

HWND ShowSheet(SheetHost& host, LPCWSTR title) {
  PROPSHEETHEADERW header = {};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW;
  header.pszCaption = title;
  header.nPages = static_cast<UINT>(host.Pages.size());
  header.phpage = host.Pages.data();
  host.Sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
  if (host.Sheet == reinterpret_cast<HWND>(-1)) host.Sheet = nullptr;
  if (host.Sheet) host.Pages.clear();  // the sheet owns them now
  PumpMessages(50);
  return host.Sheet;
}

HWND CurrentPage(const SheetHost& host) {
  return host.Sheet ? reinterpret_cast<HWND>(SendMessageW(host.Sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) : nullptr;
}

bool FinishSheet(SheetHost& host, int button) {
  if (!host.Sheet) return false;
  PostMessageW(host.Sheet, PSM_PRESSBUTTON, button, 0);
  for (int i = 0; i < 100; ++i) {
    PumpMessages(20);
    if (!CurrentPage(host)) {
      DestroyWindow(host.Sheet);
      host.Sheet = nullptr;
      PumpMessages(0);
      return true;
    }
  }
  return false;
}

void PumpMessages(DWORD ms) {
  DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (ms) Sleep(5);
  } while (GetTickCount() - start < ms);
}

bool SelectItemByData(HWND page, int id, LPARAM data) {
  LRESULT count = SendDlgItemMessageW(page, id, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    if (SendDlgItemMessageW(page, id, CB_GETITEMDATA, i, 0) != data) continue;
    SendDlgItemMessageW(page, id, CB_SETCURSEL, i, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
    return true;
  }
  return false;
}

std::wstring ControlText(HWND page, int id) {
  WCHAR text[512] = {};
  GetDlgItemTextW(page, id, text, 512);
  return text;
}
