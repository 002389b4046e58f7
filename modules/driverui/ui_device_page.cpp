// The printer page of DrvDevicePropertySheets: the driver's version, where printed documents go
// (the user's temporary folder, then the main application) and a button that opens the help
// file. It changes no setting.
#include "ui_pages.h"

#include <shellapi.h>
#include <stdio.h>

#include "quill_version.h"
#include "ui_resources.h"

namespace {

#define WIDEN2(text) L##text
#define WIDEN(text) WIDEN2(text)

typedef HWND(WINAPI* HtmlHelpFunction)(HWND, LPCWSTR, UINT, DWORD_PTR);
const UINT HelpDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// The main application's program, as the tray program finds it: the current user's entry first.
bool ReadApplicationPath(WCHAR* path, DWORD chars) {
  const HKEY hives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
  for (HKEY hive : hives) {
    DWORD bytes = (chars - 1) * sizeof(WCHAR), type = 0;
    ZeroMemory(path, chars * sizeof(WCHAR));
    if (RegGetValueW(hive, L"Software\\Corvell\\Quillstack\\", L"FullPathExe", RRF_RT_REG_SZ, &type, path, &bytes) ==
            ERROR_SUCCESS &&
        path[0])
      return true;
  }
  return false;
}

void ShowPlaces(HWND dialog) {
  WCHAR text[MAX_PATH + 64], format[64];
  LoadText(IDS_DRIVER_VERSION, format, 64);
  _snwprintf(text, MAX_PATH, format, WIDEN(QUILL_DRIVER_FILE_TEXT), WIDEN(QUILL_VERSION_TEXT));
  text[MAX_PATH] = 0;
  SetDlgItemTextW(dialog, IDC_DRIVER_VERSION, text);
  if (GetTempPathW(MAX_PATH + 1, text)) SetDlgItemTextW(dialog, IDC_OUTPUT_FOLDER, text);
  if (!ReadApplicationPath(text, MAX_PATH + 1)) LoadText(IDS_NO_APPLICATION, text, MAX_PATH);
  SetDlgItemTextW(dialog, IDC_APPLICATION, text);
}

// Opens the page on these settings in the help file beside this module, with the HTML Help viewer
// when there is one, else with whatever opens .chm files.
void OpenHelp(HWND dialog) {
  WCHAR path[MAX_PATH + 64], name[32], topic[64];
  DWORD length = GetModuleFileNameW(UiModule, path, MAX_PATH);
  WCHAR* slash = length && length < MAX_PATH ? wcsrchr(path, L'\\') : nullptr;
  LoadText(IDS_HELP_FILE, name, 32);
  LoadText(IDS_HELP_TOPIC, topic, 64);
  if (slash) lstrcpynW(slash + 1, name, 32);
  if (!slash || GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    WCHAR message[256], title[64];
    LoadText(IDS_HELP_MISSING, message, 256);
    LoadText(IDS_DOCUMENT_TITLE, title, 64);
    MessageBoxW(dialog, message, title, MB_OK | MB_ICONINFORMATION);
    return;
  }
  HMODULE viewer = LoadLibraryW(L"hhctrl.ocx");
  HtmlHelpFunction htmlHelp =
      viewer ? reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(viewer, "HtmlHelpW")))
             : nullptr;
  WCHAR target[MAX_PATH + 128];
  _snwprintf(target, MAX_PATH + 127, L"%ls::/%ls", path, topic);
  target[MAX_PATH + 127] = 0;
  // The viewer's window belongs to this process and closes with it; hhctrl stays loaded for it.
  if (!htmlHelp || !htmlHelp(GetDesktopWindow(), target, HelpDisplayTopic, 0))
    ShellExecuteW(dialog, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK DevicePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ShowPlaces(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_OPEN_HELP && HIWORD(wParam) == BN_CLICKED) {
        OpenHelp(dialog);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void LoadText(UINT id, WCHAR* buffer, int chars) {
  if (chars <= 0) return;
  buffer[0] = 0;
  LoadStringW(UiModule, id, buffer, chars);
}

LONG DevicePageRequest(PROPSHEETUI_INFO& info, LPARAM lParam) {
  switch (info.Reason) {
    case PROPSHEETUI_REASON_INIT: {
      if (!info.pfnComPropSheet) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
      }
      PROPSHEETPAGEW sheetPage = {};
      sheetPage.dwSize = sizeof(sheetPage);
      sheetPage.hInstance = UiModule;
      sheetPage.pszTemplate = MAKEINTRESOURCEW(IDD_DEVICE_PAGE);
      sheetPage.pfnDlgProc = DevicePageProc;
      LONG_PTR handle = info.pfnComPropSheet(info.hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                             reinterpret_cast<LPARAM>(&sheetPage), 0);
      info.Result = CPSUI_CANCEL;  // nothing to save
      return handle > 0 ? 1 : -1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      PROPSHEETUI_INFO_HEADER* header = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
      if (!header) return -1;
      header->hInst = UiModule;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
      if (lParam) info.Result = reinterpret_cast<SETRESULT_INFO*>(lParam)->Result;
      return 1;
    default:
      return 1;
  }
}
