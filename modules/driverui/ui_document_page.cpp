// Printing Preferences: the document page of DrvDocumentPropertySheets. It shows the settings the
// caller gave (merged into the defaults) and, when the user presses OK or Apply, writes the
// choice merged with them to the caller's output buffer. Cancel writes nothing.
#include "ui_pages.h"

#include <stdio.h>
#include <string.h>

#include "job_settings.h"
#include "ui_resources.h"

namespace {

// One Printing Preferences page, from its creation until the host releases it.
// The request and the host's callback are copied: a host may let its records go once the page is
// added, while the caller's output buffer must stay until the sheet is closed.
struct DocumentPage {
  PDEVMODEW Output;      // the request's pdmOut when it asks for output and has room, else null
  PFNCOMPROPSHEET HostCallback;
  HANDLE HostSheet;
  HANDLE PageHandle;     // what the host returned for the page, for CPSFUNC_SET_RESULT
  JobSettings Settings;  // the caller's, merged into the defaults; the choice on OK
  bool InitialLandscape;
  bool InitialGrey;
  bool InitialImage;     // each page as an image
  bool ReadOnly;         // DM_NOPERMISSION: the user may look but not change
  WCHAR Title[64];       // the sheet's title, for PROPSHEETUI_REASON_GET_INFO_HEADER
};

DocumentPage* PageOf(HWND dialog) { return reinterpret_cast<DocumentPage*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

// Which of two radio buttons is chosen. A caller that sets a check with BM_SETCHECK leaves the
// other one checked too; then the one that differs from the page's first state is the choice.
bool SecondChosen(HWND dialog, int first, int second, bool initiallySecond) {
  bool firstChecked = IsDlgButtonChecked(dialog, first) == BST_CHECKED;
  bool secondChecked = IsDlgButtonChecked(dialog, second) == BST_CHECKED;
  if (firstChecked && secondChecked) return !initiallySecond;
  return secondChecked;
}

LRESULT SelectedData(HWND dialog, int id) {
  LRESULT index = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? CB_ERR : SendDlgItemMessageW(dialog, id, CB_GETITEMDATA, index, 0);
}

void AddItem(HWND dialog, int id, LPCWSTR text, LPARAM data, bool select) {
  LRESULT index = SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  SendDlgItemMessageW(dialog, id, CB_SETITEMDATA, index, data);
  if (select) SendDlgItemMessageW(dialog, id, CB_SETCURSEL, index, 0);
}

void ShowSettings(HWND dialog, const DocumentPage& page) {
  const DEVMODEW& dm = page.Settings.Public;
  WCHAR format[64], text[128];
  LoadText(IDS_PAPER_ITEM, format, 64);
  for (int i = 0; i < PaperFormCount; ++i) {
    const PaperForm& paper = PaperForms[i];
    _snwprintf(text, 127, format, paper.Name, (paper.Width + 5) / 10, (paper.Height + 5) / 10);
    text[127] = 0;
    AddItem(dialog, IDC_PAPER, text, paper.Id, paper.Id == dm.dmPaperSize);
  }
  LoadText(IDS_RESOLUTION_ITEM, format, 64);
  for (int i = 0; i < ResolutionCount; ++i) {
    _snwprintf(text, 127, format, static_cast<int>(Resolutions[i]));
    text[127] = 0;
    AddItem(dialog, IDC_RESOLUTION, text, Resolutions[i], Resolutions[i] == dm.dmPrintQuality);
  }
  CheckRadioButton(dialog, IDC_PORTRAIT, IDC_LANDSCAPE, page.InitialLandscape ? IDC_LANDSCAPE : IDC_PORTRAIT);
  CheckRadioButton(dialog, IDC_COLOUR, IDC_GREY, page.InitialGrey ? IDC_GREY : IDC_COLOUR);
  CheckRadioButton(dialog, IDC_PAGE_DOCUMENT, IDC_PAGE_IMAGE, page.InitialImage ? IDC_PAGE_IMAGE : IDC_PAGE_DOCUMENT);
  SendDlgItemMessageW(dialog, IDC_COPIES, EM_LIMITTEXT, 3, 0);
  SetDlgItemInt(dialog, IDC_COPIES, dm.dmCopies, FALSE);
  if (page.ReadOnly)
    for (int id = IDC_PAPER; id <= IDC_PAGE_IMAGE; ++id)
      if (id != IDC_PAGE_PICTURE) EnableWindow(GetDlgItem(dialog, id), FALSE);
}

// The controls' state as settings of the fields the page offers, with our private part (the page
// content); MergeJobSettings then takes over what is valid (a copies count outside 1..999 is
// brought into range first).
void ReadChoice(HWND dialog, const DocumentPage& page, JobSettings& settings) {
  ZeroMemory(&settings, sizeof(settings));
  settings.Private.Signature = PrivateSettingsSignature;
  settings.Private.Version = PrivateSettingsVersion;
  settings.Private.Size = sizeof(PrivateSettings);
  settings.Private.PageContent =
      SecondChosen(dialog, IDC_PAGE_DOCUMENT, IDC_PAGE_IMAGE, page.InitialImage) ? PageContentImage : PageContentDocument;
  DEVMODEW& choice = settings.Public;
  choice.dmSize = sizeof(choice);
  choice.dmDriverExtra = sizeof(PrivateSettings);
  choice.dmSpecVersion = DM_SPECVERSION;
  choice.dmFields = DM_ORIENTATION | DM_COPIES | DM_COLOR;
  choice.dmOrientation = SecondChosen(dialog, IDC_PORTRAIT, IDC_LANDSCAPE, page.InitialLandscape)
                             ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
  choice.dmColor = SecondChosen(dialog, IDC_COLOUR, IDC_GREY, page.InitialGrey) ? DMCOLOR_MONOCHROME : DMCOLOR_COLOR;
  BOOL read = FALSE;
  UINT copies = GetDlgItemInt(dialog, IDC_COPIES, &read, FALSE);
  if (!read) copies = page.Settings.Public.dmCopies;
  choice.dmCopies = static_cast<short>(copies < 1 ? 1 : copies > 999 ? 999 : copies);
  LRESULT paper = SelectedData(dialog, IDC_PAPER);
  if (paper != CB_ERR) {
    choice.dmFields |= DM_PAPERSIZE;
    choice.dmPaperSize = static_cast<short>(paper);
  }
  LRESULT dpi = SelectedData(dialog, IDC_RESOLUTION);
  if (dpi != CB_ERR) {
    choice.dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
    choice.dmPrintQuality = choice.dmYResolution = static_cast<short>(dpi);
  }
}

// OK or Apply: the choice becomes the page's settings and goes to the caller's buffer.
void Apply(HWND dialog, DocumentPage& page) {
  if (page.ReadOnly) return;
  JobSettings choice;
  ReadChoice(dialog, page, choice);
  MergeJobSettings(page.Settings, &choice.Public, sizeof(choice));
  SetDlgItemInt(dialog, IDC_COPIES, page.Settings.Public.dmCopies, FALSE);
  if (page.Output) memcpy(page.Output, &page.Settings, sizeof(page.Settings));
  page.HostCallback(page.HostSheet, CPSFUNC_SET_RESULT, reinterpret_cast<LPARAM>(page.PageHandle), CPSUI_OK);
}

// A sheet of paper in the chosen size and orientation with a few lines of text on it, grey or in
// colour, centred in the picture's frame.
void DrawPagePicture(HWND dialog, const DRAWITEMSTRUCT& item) {
  const DocumentPage* page = PageOf(dialog);
  if (!page) return;
  JobSettings chosen;
  ReadChoice(dialog, *page, chosen);
  const DEVMODEW& choice = chosen.Public;
  const PaperForm* paper = FindPaperById(choice.dmPaperSize);
  if (!paper) paper = &PaperForms[0];
  bool landscape = choice.dmOrientation == DMORIENT_LANDSCAPE;
  LONG width = landscape ? paper->Height : paper->Width, height = landscape ? paper->Width : paper->Height;
  RECT frame = item.rcItem;
  FillRect(item.hDC, &frame, GetSysColorBrush(COLOR_BTNFACE));
  LONG room = (frame.bottom - frame.top) - 4, across = (frame.right - frame.left) - 4;
  LONG h = room, w = MulDiv(room, width, height);
  if (w > across) {
    w = across;
    h = MulDiv(across, height, width);
  }
  RECT sheet = {frame.left + (frame.right - frame.left - w) / 2, frame.top + (frame.bottom - frame.top - h) / 2, 0, 0};
  sheet.right = sheet.left + w;
  sheet.bottom = sheet.top + h;
  RECT shadow = sheet;
  OffsetRect(&shadow, 2, 2);
  FillRect(item.hDC, &shadow, GetSysColorBrush(COLOR_BTNSHADOW));
  FillRect(item.hDC, &sheet, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(item.hDC, &sheet, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  const COLORREF colours[] = {RGB(0x1f, 0x4e, 0xa8), RGB(0x2e, 0x8b, 0x3a), RGB(0xc0, 0x39, 0x2b)};
  LONG margin = w / 8 + 2, line = h / 12 > 3 ? h / 12 : 3;
  for (int i = 0; sheet.top + margin + (i + 1) * line < sheet.bottom - margin; ++i) {
    COLORREF colour = colours[i % 3];
    if (choice.dmColor == DMCOLOR_MONOCHROME) {
      BYTE grey = static_cast<BYTE>((GetRValue(colour) * 30 + GetGValue(colour) * 59 + GetBValue(colour) * 11) / 100);
      colour = RGB(grey, grey, grey);
    }
    RECT text = {sheet.left + margin, sheet.top + margin + i * line, sheet.right - margin - (i % 2) * w / 5,
                 sheet.top + margin + i * line + line / 2};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(item.hDC, &text, brush);
    DeleteObject(brush);
  }
}

INT_PTR CALLBACK DocumentPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      DocumentPage* page = reinterpret_cast<DocumentPage*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(page));
      if (page) ShowSettings(dialog, *page);
      return TRUE;
    }
    case WM_COMMAND: {
      WORD id = LOWORD(wParam), code = HIWORD(wParam);
      bool changed = (code == BN_CLICKED && ((id >= IDC_PORTRAIT && id <= IDC_GREY) || id == IDC_PAGE_DOCUMENT ||
                                             id == IDC_PAGE_IMAGE)) ||
                     (code == CBN_SELCHANGE && (id == IDC_PAPER || id == IDC_RESOLUTION)) ||
                     (code == EN_CHANGE && id == IDC_COPIES);
      if (changed) {
        InvalidateRect(GetDlgItem(dialog, IDC_PAGE_PICTURE), nullptr, FALSE);
        PropSheet_Changed(GetParent(dialog), dialog);
      }
      return FALSE;
    }
    case WM_DRAWITEM:
      if (wParam != IDC_PAGE_PICTURE) return FALSE;
      DrawPagePicture(dialog, *reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY) {
        if (DocumentPage* page = PageOf(dialog)) Apply(dialog, *page);
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// The page's record lives until the property sheet releases the page.
UINT CALLBACK DocumentPageCallback(HWND, UINT message, PROPSHEETPAGEW* sheetPage) {
  if (message == PSPCB_RELEASE && sheetPage) {
    HeapFree(GetProcessHeap(), 0, reinterpret_cast<DocumentPage*>(sheetPage->lParam));
    sheetPage->lParam = 0;
  }
  return 1;
}

// The request is lParamInit; a host that hands it over as the call's lParam instead is served too.
LONG AddDocumentPage(PROPSHEETUI_INFO& info, LPARAM lParam) {
  DOCUMENTPROPERTYHEADER* request = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info.lParamInit ? info.lParamInit : lParam);
  if (!request || request->cbSize < sizeof(DOCUMENTPROPERTYHEADER) || !info.pfnComPropSheet) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  DocumentPage* page = static_cast<DocumentPage*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DocumentPage)));
  if (!page) return -1;
  if ((request->fMode & DM_OUT_BUFFER) && request->cbOut >= sizeof(JobSettings)) page->Output = request->pdmOut;
  page->HostCallback = info.pfnComPropSheet;
  page->HostSheet = info.hComPropSheet;
  // A property-sheet host calls with DM_IN_PROMPT, DM_ADVANCED, DM_NOPERMISSION and DM_OUT_BUFFER
  // only, and pdmIn is then the application's settings: the page starts from them whenever they
  // are there, DM_IN_BUFFER or not, so that OK never puts the defaults in their place.
  DefaultJobSettings(page->Settings, request->pszPrinterName);
  if (request->pdmIn) MergeJobSettings(page->Settings, request->pdmIn, 0);
  page->InitialLandscape = page->Settings.Public.dmOrientation == DMORIENT_LANDSCAPE;
  page->InitialGrey = page->Settings.Public.dmColor == DMCOLOR_MONOCHROME;
  page->InitialImage = page->Settings.Private.PageContent == PageContentImage;
  page->ReadOnly = (request->fMode & DM_NOPERMISSION) != 0;
  LoadText(IDS_DOCUMENT_TITLE, page->Title, 64);

  PROPSHEETPAGEW sheetPage = {};
  sheetPage.dwSize = sizeof(sheetPage);
  sheetPage.dwFlags = PSP_USECALLBACK;
  sheetPage.hInstance = UiModule;
  sheetPage.pszTemplate = MAKEINTRESOURCEW(IDD_DOCUMENT_PAGE);
  sheetPage.pfnDlgProc = DocumentPageProc;
  sheetPage.lParam = reinterpret_cast<LPARAM>(page);
  sheetPage.pfnCallback = DocumentPageCallback;
  LONG_PTR handle = info.pfnComPropSheet(info.hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW,
                                         reinterpret_cast<LPARAM>(&sheetPage), 0);
  if (handle <= 0) {
    HeapFree(GetProcessHeap(), 0, page);
    return -1;
  }
  page->PageHandle = reinterpret_cast<HANDLE>(handle);
  info.UserData = reinterpret_cast<ULONG_PTR>(page->Title);
  info.Result = CPSUI_CANCEL;
  return 1;
}

}  // namespace

LONG DocumentPageRequest(PROPSHEETUI_INFO& info, LPARAM lParam) {
  switch (info.Reason) {
    case PROPSHEETUI_REASON_INIT:
      return AddDocumentPage(info, lParam);
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      PROPSHEETUI_INFO_HEADER* header = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
      if (!header) return -1;
      header->pTitle = reinterpret_cast<LPWSTR>(info.UserData);
      header->hInst = UiModule;
      header->Flags = 0;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
      if (lParam) info.Result = reinterpret_cast<SETRESULT_INFO*>(lParam)->Result;
      return 1;
    default:  // PROPSHEETUI_REASON_DESTROY: the page's record goes with the page
      return 1;
  }
}
