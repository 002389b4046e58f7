// The main application's command line: switches, quoting and the 620-unit bound.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "quilltray/app_launch.h"

namespace {

std::wstring Build(const std::wstring& app, WORD flags, const wchar_t* file, bool* fits = nullptr) {
  WCHAR line[APP_COMMAND_LINE_UNITS];
  bool ok = BuildApplicationCommandLine(app.c_str(), flags, file, line);
  if (fits) *fits = ok;
  return line;
}

TEST(ApplicationCommandLine, SwitchesInOrderThenTheFile) {
  EXPECT_EQ(L"\"C:\\App\\q.exe\" /drv /silent \"C:\\t\\a.Quillstack\"", Build(L"C:\\App\\q.exe", 3, L"C:\\t\\a.Quillstack"));
  EXPECT_EQ(L"\"C:\\App\\q.exe\" /drv \"f\"", Build(L"C:\\App\\q.exe", 1, L"f"));
  EXPECT_EQ(L"\"C:\\App\\q.exe\" /silent \"f\"", Build(L"C:\\App\\q.exe", 2, L"f"));
  EXPECT_EQ(L"\"C:\\App\\q.exe\" \"f\"", Build(L"C:\\App\\q.exe", 0xFFFC, L"f")) << "only bits 0 and 1 count";
  EXPECT_EQ(L"\"C:\\App\\q.exe\"", Build(L"C:\\App\\q.exe", 0, nullptr)) << "the double click: the path alone";
  EXPECT_EQ(L"\"C:\\App\\q.exe\" \"\"", Build(L"C:\\App\\q.exe", 0, L"")) << "an empty file still gets its quotes";
  EXPECT_EQ(L"\"\"", Build(L"", 0, nullptr)) << "no application: two quotes, which start nothing";
}

TEST(ApplicationCommandLine, ALineThatDoesNotFitIsNotCutOff) {
  std::wstring app = L"C:\\" + std::wstring(300, L'a') + L".exe";
  std::wstring file = L"C:\\" + std::wstring(400, L'f') + L".Quillstack";
  bool fits = true;
  EXPECT_EQ(L"", Build(app, 3, file.c_str(), &fits));
  EXPECT_FALSE(fits);
  std::wstring exact = std::wstring(APP_COMMAND_LINE_UNITS - 1 - 2, L'p');
  EXPECT_EQ(L"\"" + exact + L"\"", Build(exact, 0, nullptr, &fits)) << "619 units and the terminator fit";
  EXPECT_TRUE(fits);
  EXPECT_EQ(L"", Build(exact, 1, nullptr, &fits));
  EXPECT_FALSE(fits);
}

}  // namespace
