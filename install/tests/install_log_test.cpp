#include <gtest/gtest.h>

#include <string>

#include "install/log/install_log.h"

namespace {

struct Context {
  InstallContext c = {};
  ~Context() { Clear(c.Log); }
  std::wstring Log() const { return Text(c.Log); }
};

// The system's English text for a code, as a reader of the log would look it up.
std::wstring SystemText(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 1033,
                 reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = text ? text : L"";
  if (text) LocalFree(text);
  return result;
}

std::wstring WithoutTrailingLineBreaks(std::wstring s) {
  while (!s.empty() && (s.back() == L'\r' || s.back() == L'\n')) s.pop_back();
  return s;
}

}  // namespace

TEST(LogLayout, IndentationIsTwoSpacesPerLevelUpToTenLevels) {
  struct Case {
    int depth;
    size_t spaces;
  } cases[] = {{0, 0}, {-3, 0}, {1, 2}, {3, 6}, {10, 20}, {12, 20}};
  for (const Case& k : cases) {
    Context ctx;
    ctx.c.LogDepth = k.depth;
    AppendLogLine(ctx.c, L"x");
    EXPECT_EQ(std::wstring(k.spaces, L' ') + L"x\r\n", ctx.Log()) << "depth " << k.depth;
  }
}

TEST(LogLayout, EmptyLinesKeepIndentationAndLineBreak) {
  Context ctx;
  AppendLogLine(ctx.c, nullptr);
  AppendLogLine(ctx.c, L"");
  ctx.c.LogDepth = 2;
  AppendLogLine(ctx.c, nullptr);
  EXPECT_EQ(L"\r\n\r\n    \r\n", ctx.Log());
  EXPECT_EQ(0, ctx.c.ErrorCount);
}

TEST(LogLayout, LinesAreAppendedInOrderWithTheirFormats) {
  Context ctx;
  LogLine(ctx.c, L"Quillstack %d", 2436);
  ctx.c.LogDepth = 1;
  LogLine(ctx.c, L">CopyFile %s to %s [%d])", L"vtxmon64.dll", L"C:\\windows\\system32\\", 1);
  LogLine(ctx.c, L"hex %x", 0x1F);
  EXPECT_EQ(L"Quillstack 2436\r\n  >CopyFile vtxmon64.dll to C:\\windows\\system32\\ [1])\r\n  hex 1f\r\n", ctx.Log());
}

TEST(LogLayout, AMessageLongerThanTheLineBufferIsCutNotOverrun) {
  Context ctx;
  std::wstring longText(5000, L'a');
  LogLine(ctx.c, L"%s", longText.c_str());
  std::wstring log = ctx.Log();
  EXPECT_EQ(std::wstring(LogLineUnits - 1, L'a') + L"\r\n", log);

  Context err;
  SetLastError(ERROR_ACCESS_DENIED);
  LogError(err.c, 8, L"CopyFile(..,%s)", longText.c_str());
  std::wstring line = err.Log();
  ASSERT_GE(line.size(), 2u);
  EXPECT_EQ(L"\r\n", line.substr(line.size() - 2));
  EXPECT_EQ(static_cast<size_t>(LogLineUnits - 1), line.size() - 2);
  EXPECT_EQ(0u, line.find(L"Error(8): CopyFile(..,aaa"));
  EXPECT_EQ(1, err.c.ErrorCount);
}

TEST(LogErrors, ErrorLineCarriesNumberMessageAndEnglishSystemDescription) {
  Context ctx;
  ctx.c.LogDepth = 1;
  SetLastError(ERROR_FILE_NOT_FOUND);
  LogError(ctx.c, 10, L"Cant't open source file: %s", L"vtxdrv64.dll");
  std::wstring description = WithoutTrailingLineBreaks(SystemText(ERROR_FILE_NOT_FOUND));
  ASSERT_FALSE(description.empty());
  EXPECT_EQ(L"  Error(10): Cant't open source file: vtxdrv64.dll - (" + description + L")\r\n", ctx.Log());
  EXPECT_EQ(1, ctx.c.ErrorCount);
}

TEST(LogErrors, DescriptionEndingInLineBreakIsShownWithoutIt) {
  Context ctx;
  SetLastError(ERROR_ACCESS_DENIED);
  LogError(ctx.c, 9, L"Cant't open destination file: %s", L"C:\\x");
  std::wstring raw = SystemText(ERROR_ACCESS_DENIED);
  ASSERT_GE(raw.size(), 2u);
  ASSERT_EQ(L"\r\n", raw.substr(raw.size() - 2)) << "the system text is expected to end in a line break";
  std::wstring log = ctx.Log();
  EXPECT_EQ(L"Error(9): Cant't open destination file: C:\\x - (" + WithoutTrailingLineBreaks(raw) + L")\r\n", log);
  EXPECT_EQ(std::wstring::npos, log.find(L"\r\n)"));
}

TEST(LogErrors, ZeroErrorCodeEndsTheLineAfterTheMessageAndStillCounts) {
  Context ctx;
  SetLastError(0);
  LogError(ctx.c, 3, L"Can't stop the spooler");
  LogError(ctx.c, 5, L"ControlService failed with code %d (0x%x)", 1051, 1051);
  EXPECT_EQ(L"Error(3): Can't stop the spooler\r\nError(5): ControlService failed with code 1051 (0x41b)\r\n", ctx.Log());
  EXPECT_EQ(2, ctx.c.ErrorCount);
}

TEST(LogErrors, CodeWithoutSystemTextSaysNoDescription) {
  Context ctx;
  SetLastError(0x2FFFFFF0);  // no message in the system table
  LogError(ctx.c, 2, L"Can't open the spooler");
  EXPECT_EQ(L"Error(2): Can't open the spooler - ( No Description )\r\n", ctx.Log());
}

TEST(LogErrors, TheErrorReportedIsTheOneCurrentAtTheCall) {
  Context ctx;
  SetLastError(ERROR_ACCESS_DENIED);
  // Formatting a wide string argument must not replace the code that is described.
  LogError(ctx.c, 17, L"Can`t delete printer '%s'", L"Quillstack");
  std::wstring expected = L"'Quillstack' - (" + WithoutTrailingLineBreaks(SystemText(ERROR_ACCESS_DENIED)) + L")\r\n";
  EXPECT_NE(std::wstring::npos, ctx.Log().find(expected));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST(LogDepth, ScopeRaisesAndRestoresTheDepth) {
  Context ctx;
  {
    LogDepthScope outer(ctx.c, 2);
    EXPECT_EQ(2, ctx.c.LogDepth);
    {
      LogDepthScope inner(ctx.c);
      AppendLogLine(ctx.c, L"in");
    }
    EXPECT_EQ(2, ctx.c.LogDepth);
  }
  EXPECT_EQ(0, ctx.c.LogDepth);
  EXPECT_EQ(L"      in\r\n", ctx.Log());
}
