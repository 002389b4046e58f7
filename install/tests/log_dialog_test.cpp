// The log dialog: its template as install.exe carries it, and LogDialogProc on that template.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "install/log/install_log.h"
#include "install/log/log_dialog.h"
#include "tests/support/dialog_probe.h"
#include "tests/support/test_paths.h"

namespace {

// Reads a DLGTEMPLATEEX and its DLGITEMTEMPLATEEX records.
struct TemplateReader {
  const BYTE* At;
  WORD Word() { WORD v; memcpy(&v, At, 2); At += 2; return v; }
  DWORD Dword() { DWORD v; memcpy(&v, At, 4); At += 4; return v; }
  short Short() { return static_cast<short>(Word()); }
  BYTE Byte() { return *At++; }
  std::wstring String() {
    std::wstring s;
    for (WORD c = Word(); c != 0; c = Word()) s += static_cast<wchar_t>(c);
    return s;
  }
  // A name or an ordinal; the predefined control classes come back by their names.
  std::wstring NameOrOrdinal() {
    WORD first;
    memcpy(&first, At, 2);
    if (first != 0xFFFF) return String();
    Word();
    WORD ordinal = Word();
    if (ordinal == 0x0080) return L"button";
    if (ordinal == 0x0081) return L"edit";
    return L"#" + std::to_wstring(ordinal);
  }
  void AlignDword(const BYTE* base) {
    while ((At - base) % 4 != 0) ++At;
  }
};

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
  return s;
}

struct ItemTemplate {
  DWORD ExStyle, Style, Id;
  short X, Y, Cx, Cy;
  std::wstring Class, Text;
};

// The dialog template 101 of install.exe, language 1033.
class InstallDialogTemplate : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExW(Beside(L"" QUILL_INSTALL_EXE_W).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    HRSRC found = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(101), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(nullptr, found);
    bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(nullptr, bytes);
  }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
  }
  HMODULE module = nullptr;
  const BYTE* bytes = nullptr;
};

// Runs the dialog on the calling thread, from install.exe's own template, while `user` acts on
// it from another thread once it is visible. Returns DialogBoxIndirectParamW's result.
template <typename User>
INT_PTR RunDialog(InstallContext& context, User user) {
  HMODULE module = LoadLibraryExW(Beside(L"" QUILL_INSTALL_EXE_W).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(101), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  const DLGTEMPLATE* dialogTemplate = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, found)));
  std::thread helper([&user] {
    HWND dialog = nullptr;
    for (int i = 0; i < 500 && dialog == nullptr; ++i) {
      HWND candidate = FindProcessDialog(GetCurrentProcessId());
      if (candidate != nullptr && IsWindowVisible(candidate)) dialog = candidate;
      else Sleep(20);
    }
    if (dialog == nullptr) {
      ADD_FAILURE() << "the dialog did not appear";
      return;
    }
    user(dialog);
  });
  INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialogTemplate, nullptr, LogDialogProc,
                                           reinterpret_cast<LPARAM>(&context));
  helper.join();
  FreeLibrary(module);
  return result;
}

struct Seen {
  std::wstring Text;
  LRESULT LineCount = 0;
};

}  // namespace

TEST_F(InstallDialogTemplate, DialogIsExactlyAsLaidOut) {
  TemplateReader r{bytes};
  EXPECT_EQ(1, r.Word());       // dlgVer
  EXPECT_EQ(0xFFFF, r.Word());  // an extended template
  r.Dword();                    // help id
  EXPECT_EQ(0u, r.Dword());     // extended style
  EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS), r.Dword());
  WORD items = r.Word();
  EXPECT_EQ(2, items);
  EXPECT_EQ(0, r.Short());
  EXPECT_EQ(0, r.Short());
  EXPECT_EQ(451, r.Short());
  EXPECT_EQ(228, r.Short());
  EXPECT_EQ(L"", r.NameOrOrdinal());  // no menu
  EXPECT_EQ(L"", r.NameOrOrdinal());  // the default class
  EXPECT_EQ(L"", r.String());         // caption, set when the dialog opens
  EXPECT_EQ(8, r.Word());
  EXPECT_EQ(400, r.Word());
  EXPECT_EQ(0, r.Byte());
  EXPECT_EQ(1, r.Byte());
  EXPECT_EQ(L"MS Shell Dlg", r.String());

  std::vector<ItemTemplate> controls;
  for (WORD i = 0; i < items; ++i) {
    r.AlignDword(bytes);
    ItemTemplate item;
    r.Dword();
    item.ExStyle = r.Dword();
    item.Style = r.Dword();
    item.X = r.Short();
    item.Y = r.Short();
    item.Cx = r.Short();
    item.Cy = r.Short();
    item.Id = r.Dword();
    item.Class = Lower(r.NameOrOrdinal());
    item.Text = r.NameOrOrdinal();
    WORD extra = r.Word();
    r.At += extra;
    controls.push_back(item);
  }
  ASSERT_EQ(2u, controls.size());
  const ItemTemplate& close = controls[0];
  EXPECT_EQ(1u, close.Id);
  EXPECT_EQ(L"button", close.Class);
  EXPECT_EQ(L"Close", close.Text);
  EXPECT_EQ(394, close.X);
  EXPECT_EQ(207, close.Y);
  EXPECT_EQ(50, close.Cx);
  EXPECT_EQ(14, close.Cy);
  EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON), close.Style);
  EXPECT_EQ(0u, close.ExStyle);
  const ItemTemplate& text = controls[1];
  EXPECT_EQ(1001u, text.Id);
  EXPECT_EQ(L"edit", text.Class);
  EXPECT_EQ(L"", text.Text);
  EXPECT_EQ(7, text.X);
  EXPECT_EQ(7, text.Y);
  EXPECT_EQ(437, text.Cx);
  EXPECT_EQ(194, text.Cy);
  EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                               ES_AUTOHSCROLL | ES_READONLY),
            text.Style);
  EXPECT_EQ(0u, text.ExStyle);
}

TEST(LogDialogTitle, TellsWhetherErrorsWereLogged) {
  InstallContext context = {};
  WCHAR title[LogDialogTitleUnits];
  FormatLogDialogTitle(context, title, LogDialogTitleUnits);
  EXPECT_STREQ(L"Quillstack build 2436- Install log.", title);
  context.ErrorCount = 1;
  FormatLogDialogTitle(context, title, LogDialogTitleUnits);
  EXPECT_STREQ(L"Quillstack build 2436- Install error log!", title);
  context.ErrorCount = -3;  // any count but 0 is an error log
  FormatLogDialogTitle(context, title, LogDialogTitleUnits);
  EXPECT_STREQ(L"Quillstack build 2436- Install error log!", title);
  // A small buffer gets a cut, terminated title and nothing beyond it.
  WCHAR small[12];
  wmemset(small, L'#', 12);
  FormatLogDialogTitle(context, small, 10);
  EXPECT_STREQ(L"Quillstac", small);
  EXPECT_EQ(L'#', small[10]);
}

TEST(LogDialogProc, OnlyCloseAndCancelEndIt) {
  InstallContext context = {};
  bool stillOpen = false;
  std::wstring text = L"unread";
  INT_PTR result = RunDialog(context, [&](HWND dialog) {
    text = ReadWindowText(GetDlgItem(dialog, 1001));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(1001, EN_SETFOCUS), reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1001)));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0);
    Sleep(100);
    stillOpen = IsWindow(dialog) && IsWindowVisible(dialog);
    CloseDialog(dialog, DialogClose::EnterKey);
  });
  EXPECT_EQ(L"", text);  // an empty log
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(1, result);
}

TEST(LogDialogProc, ALongLogIsShownWholeWithoutWrapping) {
  InstallContext context = {};
  std::wstring wide(2000, L'w');
  const int lines = 3000;
  for (int i = 0; i < lines; ++i) LogLine(context, i % 100 == 0 ? wide.c_str() : L"line %d", i);
  std::wstring expected = Text(context.Log);
  Seen seen;
  RunDialog(context, [&seen](HWND dialog) {
    HWND edit = GetDlgItem(dialog, 1001);
    seen.Text = ReadWindowText(edit);
    seen.LineCount = SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
    CloseDialog(dialog, DialogClose::CloseBox);
  });
  EXPECT_EQ(expected.size(), seen.Text.size());
  EXPECT_TRUE(expected == seen.Text);
  // One edit line per log line, plus the empty line behind the last CR LF: nothing wrapped.
  EXPECT_EQ(lines + 1, seen.LineCount);
  Clear(context.Log);
}
