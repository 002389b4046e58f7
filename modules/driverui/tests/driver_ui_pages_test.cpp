// The property pages of the configuration module, hosted as the common property-sheet host would
// host them: Printing Preferences writes the user's choice, merged with the caller's settings, to
// the caller's buffer on OK and nothing on Cancel; the printer page shows the driver's version and
// where documents go, and opens the help. Every control is reachable from the keyboard.
#include <gtest/gtest.h>

#include <stddef.h>

#include <set>

#include "job_settings.h"
#include "quilltray/tests/tray_test_support.h"
#include "sheet_host.h"
#include "ui_resources.h"

namespace {

wchar_t PrinterName[] = L"Quillstack";

struct DocumentRequest {
  JobSettings In, Out;
  DOCUMENTPROPERTYHEADER Header = {};
  explicit DocumentRequest(DWORD mode) {
    DefaultJobSettings(In, PrinterName);
    memset(&Out, 0xAB, sizeof(Out));
    Header = {sizeof(Header), 0, nullptr, PrinterName, &In.Public, &Out.Public, sizeof(Out), mode};
  }
};

class DriverPages : public ::testing::Test {
 protected:
  void SetUp() override {
    StartDesktopQuietly();
    ASSERT_NE(nullptr, LoadUiModule());
    documentSheets = UiEntry<PropertySheetsEntry>("DrvDocumentPropertySheets");
    deviceSheets = UiEntry<PropertySheetsEntry>("DrvDevicePropertySheets");
    ASSERT_TRUE(documentSheets && deviceSheets);
  }
  // Opens Printing Preferences for request; the current page, or null.
  HWND OpenDocumentPage(SheetHost& host, DocumentRequest& request) {
    EXPECT_GT(CollectDocumentPages(host, documentSheets, &request.Header), 0);
    EXPECT_EQ(1u, host.Pages.size());
    if (host.Pages.size() != 1 || !ShowSheet(host, L"Printing Preferences")) return nullptr;
    return CurrentPage(host);
  }
  PropertySheetsEntry documentSheets = nullptr, deviceSheets = nullptr;
};

TEST_F(DriverPages, OkWritesTheChoiceMergedWithTheCallersSettingsAndCancelWritesNothing) {
  // The caller's settings show on the page: A5, landscape, 150 dpi, grey, 7 copies.
  DocumentRequest request(DM_IN_BUFFER | DM_OUT_BUFFER | DM_IN_PROMPT);
  request.In.Public.dmPaperSize = DMPAPER_A5;
  request.In.Public.dmOrientation = DMORIENT_LANDSCAPE;
  request.In.Public.dmPrintQuality = request.In.Public.dmYResolution = 150;
  request.In.Public.dmColor = DMCOLOR_MONOCHROME;
  request.In.Public.dmCopies = 7;
  request.In.Public.dmFields &= ~DM_FORMNAME;  // the paper comes from dmPaperSize alone
  const JobSettings untouched = request.Out;
  {
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    EXPECT_NE(std::wstring::npos, ControlText(page, IDC_PAPER).find(L"A5"));
    EXPECT_NE(std::wstring::npos, ControlText(page, IDC_RESOLUTION).find(L"150"));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_LANDSCAPE));
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_GREY));
    EXPECT_EQ(L"7", ControlText(page, IDC_COPIES));
    // Changes, then Cancel: the caller's buffer keeps every byte.
    SelectItemByData(page, IDC_PAPER, DMPAPER_A3);
    SendDlgItemMessageW(page, IDC_PORTRAIT, BM_CLICK, 0, 0);
    ASSERT_TRUE(FinishSheet(host, PSBTN_CANCEL));
    EXPECT_EQ(0, memcmp(&untouched, &request.Out, sizeof(untouched)));
    EXPECT_TRUE(host.Results.empty());
  }
  {
    // A user's choice: A4, portrait, 600 dpi, colour, 3 copies, then OK.
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    ASSERT_TRUE(SelectItemByData(page, IDC_PAPER, DMPAPER_A4));
    ASSERT_TRUE(SelectItemByData(page, IDC_RESOLUTION, 600));
    SendDlgItemMessageW(page, IDC_PORTRAIT, BM_CLICK, 0, 0);
    SendDlgItemMessageW(page, IDC_COLOUR, BM_CLICK, 0, 0);
    SetDlgItemTextW(page, IDC_COPIES, L"3");
    ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
    const DEVMODEW& out = request.Out.Public;
    EXPECT_STREQ(L"Quillstack", out.dmDeviceName);
    EXPECT_EQ(sizeof(DEVMODEW), out.dmSize);
    EXPECT_EQ(sizeof(PrivateSettings), out.dmDriverExtra);
    EXPECT_EQ(DM_SPECVERSION, out.dmSpecVersion);
    EXPECT_EQ(JobSettingsFields, out.dmFields);
    EXPECT_EQ(DMPAPER_A4, out.dmPaperSize);
    EXPECT_STREQ(L"A4", out.dmFormName);
    EXPECT_EQ(2100, out.dmPaperWidth);
    EXPECT_EQ(2970, out.dmPaperLength);
    EXPECT_EQ(DMORIENT_PORTRAIT, out.dmOrientation);
    EXPECT_EQ(600, out.dmPrintQuality);
    EXPECT_EQ(600, out.dmYResolution);
    EXPECT_EQ(DMCOLOR_COLOR, out.dmColor);
    EXPECT_EQ(3, out.dmCopies);
    EXPECT_EQ(PrivateSettingsSignature, request.Out.Private.Signature);
    EXPECT_EQ(std::vector<LPARAM>{CPSUI_OK}, host.Results);
  }
  {
    // Checks set without notifications (BM_SETCHECK, CB_SETCURSEL), as a program that drives the
    // page may set them, and a copies count out of range: the page reads its controls on OK.
    request.In = request.Out;
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    SendDlgItemMessageW(page, IDC_LANDSCAPE, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageW(page, IDC_GREY, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageW(page, IDC_PAPER, CB_SETCURSEL, 1, 0);  // Legal
    SetDlgItemTextW(page, IDC_COPIES, L"0");
    ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
    EXPECT_EQ(DMORIENT_LANDSCAPE, request.Out.Public.dmOrientation);
    EXPECT_EQ(DMCOLOR_MONOCHROME, request.Out.Public.dmColor);
    EXPECT_EQ(PaperForms[1].Id, request.Out.Public.dmPaperSize);
    EXPECT_EQ(1, request.Out.Public.dmCopies);
    EXPECT_EQ(600, request.Out.Public.dmPrintQuality);  // kept from the caller
  }
}

TEST_F(DriverPages, TheApplicationsSettingsSurviveOkAndThePageContentChoiceRoundTrips) {
  auto convert = reinterpret_cast<BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(LoadUiModule(), "DrvConvertDevMode")));
  ASSERT_TRUE(convert);
  // An application's settings, A3 landscape, two copies not collated, handed over as a property
  // sheet host does (DM_IN_PROMPT | DM_OUT_BUFFER, pdmIn valid, no DM_IN_BUFFER): OK without a
  // change gives them back, not the defaults.
  DocumentRequest request(DM_IN_PROMPT | DM_OUT_BUFFER);
  request.In.Public.dmPaperSize = DMPAPER_A3;
  request.In.Public.dmFields &= ~DM_FORMNAME;
  request.In.Public.dmOrientation = DMORIENT_LANDSCAPE;
  request.In.Public.dmCopies = 2;
  request.In.Public.dmCollate = DMCOLLATE_FALSE;
  {
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_PAGE_DOCUMENT)) << "document content is the default";
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, IDC_PAGE_IMAGE));
    ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
    const DEVMODEW& out = request.Out.Public;
    EXPECT_EQ(DMPAPER_A3, out.dmPaperSize);
    EXPECT_STREQ(L"A3", out.dmFormName);
    EXPECT_EQ(DMORIENT_LANDSCAPE, out.dmOrientation);
    EXPECT_EQ(2, out.dmCopies);
    EXPECT_EQ(DMCOLLATE_FALSE, out.dmCollate);
    EXPECT_EQ(PageContentDocument, request.Out.Private.PageContent);
  }
  // "Each page as an image" chosen, then OK: the private part says so, in this version.
  request.In = request.Out;
  {
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    SendDlgItemMessageW(page, IDC_PAGE_IMAGE, BM_CLICK, 0, 0);
    ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
    EXPECT_EQ(PageContentImage, request.Out.Private.PageContent);
    EXPECT_EQ(PrivateSettingsVersion, request.Out.Private.Version);
    EXPECT_EQ(DMPAPER_A3, request.Out.Public.dmPaperSize);
  }
  // The choice comes back on the page, and through DrvConvertDevMode into our layout; the
  // Windows NT 3.51 layout has no room for it.
  request.In = request.Out;
  {
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_PAGE_IMAGE));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, IDC_PAGE_DOCUMENT));
    ASSERT_TRUE(FinishSheet(host, PSBTN_CANCEL));
  }
  JobSettings converted;
  DefaultJobSettings(converted, PrinterName);
  LONG bytes = sizeof(converted);
  ASSERT_TRUE(convert(PrinterName, &request.In.Public, &converted.Public, &bytes, CDM_CONVERT));
  EXPECT_EQ(PageContentImage, converted.Private.PageContent);
  JobSettings old;
  memset(&old, 0xCC, sizeof(old));
  bytes = sizeof(old);
  ASSERT_TRUE(convert(PrinterName, &request.In.Public, &old.Public, &bytes, CDM_CONVERT351));
  EXPECT_EQ(0, old.Public.dmDriverExtra);
  EXPECT_EQ(static_cast<LONG>(offsetof(DEVMODEW, dmICMMethod)), bytes);

  // A DEVMODE of the earlier private version (before the choice existed; its PageContent field
  // was reserved) reads as document content and comes back as this version.
  request.In.Private.Version = 1;
  request.In.Private.PageContent = PageContentImage;
  {
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_PAGE_DOCUMENT));
    EXPECT_NE(std::wstring::npos, ControlText(page, IDC_PAPER).find(L"A3")) << "its other settings still count";
    ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
    EXPECT_EQ(PageContentDocument, request.Out.Private.PageContent);
    EXPECT_EQ(PrivateSettingsVersion, request.Out.Private.Version);
    EXPECT_EQ(DMPAPER_A3, request.Out.Public.dmPaperSize);
  }
  bytes = sizeof(converted);
  ASSERT_TRUE(convert(PrinterName, &request.In.Public, &converted.Public, &bytes, CDM_CONVERT));
  EXPECT_EQ(PageContentDocument, converted.Private.PageContent);
  EXPECT_EQ(PrivateSettingsVersion, converted.Private.Version);
}

TEST_F(DriverPages, GarbageInputAndNoOutputBufferStillGiveAValidPage) {
  DocumentRequest request(DM_IN_BUFFER | DM_OUT_BUFFER | DM_IN_PROMPT);
  memset(&request.In, 0x5A, sizeof(request.In));  // dmSize 0x5A5A: past anything we read
  {
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
    JobSettings defaults;
    DefaultJobSettings(defaults, PrinterName);
    EXPECT_EQ(0, memcmp(&defaults, &request.Out, sizeof(defaults)));
  }
  // An output buffer too small for the settings, or a user without permission to change them
  // (whose page shows them disabled): the buffer is never written.
  for (DWORD mode : {DM_IN_BUFFER | DM_OUT_BUFFER | DM_IN_PROMPT, DM_OUT_BUFFER | DM_IN_PROMPT | DM_NOPERMISSION}) {
    request.Header.fMode = mode;
    request.Header.cbOut = (mode & DM_NOPERMISSION) ? sizeof(JobSettings) : sizeof(DEVMODEW);
    memset(&request.Out, 0xAB, sizeof(request.Out));
    const JobSettings untouched = request.Out;
    SheetHost host;
    HWND page = OpenDocumentPage(host, request);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(!(mode & DM_NOPERMISSION), !!IsWindowEnabled(GetDlgItem(page, IDC_PAPER)));
    EXPECT_EQ(!(mode & DM_NOPERMISSION), !!IsWindowEnabled(GetDlgItem(page, IDC_PAGE_IMAGE)));
    ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
    EXPECT_EQ(0, memcmp(&untouched, &request.Out, sizeof(untouched)));
  }
  // Property-sheet data without a request, or a request of the wrong size: no page, an error.
  SheetHost host;
  EXPECT_LE(CollectPages(host, documentSheets, nullptr), 0);
  DOCUMENTPROPERTYHEADER small = {4, 0, nullptr, PrinterName, nullptr, nullptr, 0, DM_IN_PROMPT};
  EXPECT_LE(CollectPages(host, documentSheets, &small), 0);
  EXPECT_TRUE(host.Pages.empty());
}

// Every control that takes input is a tab stop with a mnemonic of its own (in its text or in the
// label just before it); no two share one.
void ExpectKeyboardAccess(HWND page) {
  std::set<wchar_t> mnemonics;
  int inputs = 0;
  std::wstring label;
  for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    WCHAR className[32] = {}, text[256] = {};
    GetClassNameW(child, className, 32);
    GetWindowTextW(child, text, 256);
    std::wstring kind = className;
    LONG style = GetWindowLongW(child, GWL_STYLE);
    bool isLabel = _wcsicmp(className, L"Static") == 0;
    bool isGroup = _wcsicmp(className, L"Button") == 0 && (style & 0xF) == BS_GROUPBOX;
    if (isLabel || isGroup) {
      if (isLabel) label = text;
      continue;
    }
    ++inputs;
    bool takesText = _wcsicmp(className, L"Edit") == 0 || _wcsicmp(className, L"ComboBox") == 0;
    std::wstring named = takesText ? label : std::wstring(text);
    size_t amp = named.find(L'&');
    ASSERT_NE(std::wstring::npos, amp) << "no mnemonic for control " << GetDlgCtrlID(child);
    EXPECT_TRUE(mnemonics.insert(towlower(named[amp + 1])).second) << "mnemonic used twice: " << named[amp + 1];
    bool tabStop = (style & WS_TABSTOP) != 0;
    bool radioInGroup = (style & 0xF) == BS_AUTORADIOBUTTON && !(style & WS_GROUP);
    EXPECT_TRUE(tabStop || radioInGroup) << "control " << GetDlgCtrlID(child) << " is not reachable with Tab";
    label.clear();
  }
  EXPECT_GT(inputs, 0);
}

TEST_F(DriverPages, PrinterPageShowsVersionAndPlacesAndEveryControlHasAKey) {
  MainAppScope mainApp;  // the main application's path under HKEY_CURRENT_USER
  DEVICEPROPERTYHEADER request = {sizeof(request), 0, nullptr, PrinterName};
  SheetHost host;
  ASSERT_GT(CollectPages(host, deviceSheets, &request), 0);
  ASSERT_EQ(1u, host.Pages.size());
  ASSERT_NE(nullptr, ShowSheet(host, L"Quillstack Properties"));
  HWND page = CurrentPage(host);
  ASSERT_NE(nullptr, page);
  EXPECT_NE(std::wstring::npos, ControlText(page, IDC_DRIVER_VERSION).find(L"0.3.1.2436"));
  EXPECT_EQ(TempFolder(), ControlText(page, IDC_OUTPUT_FOLDER));
  EXPECT_EQ(BesideTest(L"mainapp.exe"), ControlText(page, IDC_APPLICATION));
  ExpectKeyboardAccess(page);
  // Quillstack Help opens the help file beside the module in the HTML Help viewer.
  SendDlgItemMessageW(page, IDC_OPEN_HELP, BM_CLICK, 0, 0);
  HWND help = nullptr;
  for (int i = 0; i < 200 && !help; ++i) {
    PumpMessages(50);
    help = FindWindowW(L"HH Parent", L"Quillstack Help");
  }
  ASSERT_NE(nullptr, help);
  SendMessageW(help, WM_CLOSE, 0, 0);
  ASSERT_TRUE(FinishSheet(host, PSBTN_OK));
  EXPECT_TRUE(host.Results.empty());  // the printer page changes nothing

  DocumentRequest document(DM_OUT_BUFFER | DM_IN_PROMPT);
  SheetHost documentHost;
  HWND documentPage = OpenDocumentPage(documentHost, document);
  ASSERT_NE(nullptr, documentPage);
  ExpectKeyboardAccess(documentPage);
  ASSERT_TRUE(FinishSheet(documentHost, PSBTN_CANCEL));
}

}  // namespace
