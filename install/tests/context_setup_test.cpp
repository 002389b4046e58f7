// Setting up and releasing the installation context.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "install/control/context_setup.h"

namespace {

std::wstring LogOf(const InstallContext& context) { return Text(context.Log); }

int CountOccurrences(const std::wstring& text, const std::wstring& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Releases the context when the test ends, also after a failed assertion.
struct ContextScope {
  InstallContext Value = {};
  ~ContextScope() { ReleaseInstallContext(Value); }
};

void* GlobalBlock(SIZE_T bytes) { return GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes); }

}  // namespace

TEST(InitInstallContext, Mode2FillsTheSixtyFourBitSetAndTheDirectories) {
  ContextScope scope;
  InstallContext& context = InitInstallContext(scope.Value, 2);
  EXPECT_EQ(&scope.Value, &context);
  EXPECT_STREQ(L"Windows x64", context.Environment);
  EXPECT_STREQ(L"vtxmon64.dll", context.MonitorFile);
  EXPECT_STREQ(L"vtxdrv64.dll", context.DriverFile);
  EXPECT_STREQ(L"vtxui64.dll", context.UiFile);
  EXPECT_STREQ(L"vtxhelp.chm", context.HelpFile);
  EXPECT_EQ(0, context.CheckMonitorVersion);
  EXPECT_EQ(1, context.InstallMonitor);
  EXPECT_EQ(1, context.InstallTray);
  EXPECT_EQ(1, context.CopyMonitor);
  EXPECT_EQ(0, context.LogDepth);
  EXPECT_EQ(nullptr, context.MonitorPrinters);
  EXPECT_EQ(nullptr, context.PendingDeletes);
  EXPECT_EQ(nullptr, context.SavedPrinters);

  WCHAR exe[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path(exe, n);
  EXPECT_EQ(path.substr(0, path.find_last_of(L"\\/") + 1), std::wstring(Text(context.ModuleDirectory)));

  WCHAR system[MAX_PATH];
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring expected(system, length);
  if (expected.back() != L'\\') expected += L'\\';
  EXPECT_EQ(expected, std::wstring(Text(context.SystemDirectory)));
}

TEST(InitInstallContext, Mode6OnlyTurnsTheTrayOff) {
  ContextScope two, six;
  InitInstallContext(two.Value, 2);
  InitInstallContext(six.Value, 6);
  EXPECT_EQ(1, two.Value.InstallTray);
  EXPECT_EQ(0, six.Value.InstallTray);
  EXPECT_EQ(1, six.Value.InstallMonitor);
  EXPECT_EQ(1, six.Value.CopyMonitor);
  EXPECT_EQ(0, six.Value.CheckMonitorVersion);
  EXPECT_STREQ(L"vtxmon64.dll", six.Value.MonitorFile);
  EXPECT_STREQ(Text(two.Value.ModuleDirectory), Text(six.Value.ModuleDirectory));
}

TEST(InitInstallContext, LogStartsWithTheBuildAndCountsItsErrorLines) {
  ContextScope scope;
  InitInstallContext(scope.Value, 2);
  std::wstring log = LogOf(scope.Value);
  ASSERT_EQ(0u, log.find(L"Quillstack 2436\r\n")) << std::string(log.begin(), log.end());
  EXPECT_EQ(CountOccurrences(log, L"Error("), scope.Value.ErrorCount);
  EXPECT_EQ(log.size() >= 2 ? std::wstring(L"\r\n") : std::wstring(), log.substr(log.size() - 2));
}

TEST(InitInstallContext, StartsFromAnEmptyRecordWhateverItHeldBefore) {
  // A record that was never set up may hold anything; set-up must not read or free it.
  InstallContext context;
  memset(static_cast<void*>(&context), 0x5A, sizeof(context));
  InitInstallContext(context, 2);
  EXPECT_EQ(0u, std::wstring(Text(context.Log)).find(L"Quillstack 2436\r\n"));
  EXPECT_EQ(nullptr, context.SavedPrinters);
  EXPECT_EQ(nullptr, context.PendingDeletes);
  EXPECT_EQ(nullptr, context.MonitorPrinters);
  EXPECT_EQ(context.Printers.count == 0, context.Printers.entries == nullptr);
  EXPECT_EQ(CountOccurrences(Text(context.Log), L"Error("), context.ErrorCount);
  EXPECT_EQ(0, context.LogDepth);
  ReleaseInstallContext(context);
}

TEST(ModuleDirectory, CutBehindTheLastSeparatorOfAnyKind) {
  struct Case {
    const wchar_t* path;
    size_t directory;
  } cases[] = {
      {L"C:\\Program Files\\Quillstack\\setup\\install.exe", 34},
      {L"C:/Quill/setup/install.exe", 15},
      {L"C:\\Quill/setup\\install.exe", 15},
      {L"C:install.exe", 2},
      {L"\\\\server\\share\\install.exe", 15},
      {L"install.exe", 0},
      {L"", 0},
      {L"C:\\Quill\\", 9},
  };
  for (const Case& c : cases) {
    std::wstring path = c.path;
    EXPECT_EQ(c.directory, DirectoryLength(c.path, path.size())) << std::string(path.begin(), path.end());
  }
  // Only the units reported count, even when a separator follows them.
  EXPECT_EQ(3u, DirectoryLength(L"C:\\Quill\\install.exe", 5));
}

TEST(SystemDirectory, OneTrailingBackslash) {
  ContextScope plain, rooted;
  StoreSystemDirectory(plain.Value, L"C:\\windows\\system32", 19, 260);
  EXPECT_STREQ(L"C:\\windows\\system32\\", Text(plain.Value.SystemDirectory));
  StoreSystemDirectory(rooted.Value, L"C:\\", 3, 260);
  EXPECT_STREQ(L"C:\\", Text(rooted.Value.SystemDirectory));
  EXPECT_EQ(0, plain.Value.ErrorCount + rooted.Value.ErrorCount);
  EXPECT_EQ(0u, Length(plain.Value.Log) + Length(rooted.Value.Log));
}

TEST(SystemDirectory, UnreadableOrTooLongIsError7AndStaysEmpty) {
  ContextScope failed, tooLong;
  SetLastError(ERROR_ACCESS_DENIED);
  StoreSystemDirectory(failed.Value, L"", 0, 260);
  EXPECT_EQ(0u, Length(failed.Value.SystemDirectory));
  EXPECT_EQ(1, failed.Value.ErrorCount);
  EXPECT_EQ(0u, std::wstring(Text(failed.Value.Log)).find(L"Error(7): Can`t retrieve system directory. - ("));

  // GetSystemDirectoryW answers with the size it needs when the text does not fit.
  std::wstring garbage(260, L'x');
  StoreSystemDirectory(tooLong.Value, garbage.c_str(), 300, 260);
  EXPECT_EQ(0u, Length(tooLong.Value.SystemDirectory));
  EXPECT_EQ(1, tooLong.Value.ErrorCount);
  EXPECT_EQ(0u, std::wstring(Text(tooLong.Value.Log)).find(L"Error(7): Can`t retrieve system directory."));
}

TEST(ReleaseInstallContext, FreesEveryListAndBufferTheContextMayOwn) {
  InstallContext context = {};
  InitInstallContext(context, 2);
  AddUnique(context.PendingDeletes, L"C:\\windows\\system32\\vtxmon64.dll");
  AddUnique(context.PendingDeletes, L"C:\\windows\\system32\\vtxui64.dll");
  context.Printers.entries = static_cast<PRINTER_INFO_2W*>(GlobalBlock(3 * sizeof(PRINTER_INFO_2W)));
  context.Printers.count = 3;
  for (int i = 0; i < 2; ++i) {
    SavedPrinter* saved = static_cast<SavedPrinter*>(GlobalBlock(sizeof(SavedPrinter)));
    saved->subKey = static_cast<char*>(GlobalBlock(16));
    lstrcpyA(saved->subKey, i == 0 ? "Quillstack" : "Quillstack (2)");
    saved->printer = &context.Printers.entries[i];
    saved->next = context.SavedPrinters;
    context.SavedPrinters = saved;
  }
  context.MonitorPrinters = static_cast<MovedPrinter*>(GlobalBlock(2 * sizeof(MovedPrinter)));
  context.MonitorPrinters[0].printer = &context.Printers.entries[2];
  AppendWide(context.DriverDirectory, L"C:\\windows\\system32\\spool\\drivers\\x64\\");

  ReleaseInstallContext(context);
  EXPECT_EQ(nullptr, context.MonitorPrinters);
  EXPECT_EQ(nullptr, context.Printers.entries);
  EXPECT_EQ(0u, context.Printers.count);
  EXPECT_EQ(nullptr, context.SavedPrinters);
  EXPECT_EQ(nullptr, context.PendingDeletes);
  EXPECT_EQ(nullptr, context.DriverDirectory.Block);
  EXPECT_EQ(nullptr, context.Log.Block);
  EXPECT_EQ(nullptr, context.SystemDirectory.Block);
  EXPECT_EQ(nullptr, context.ModuleDirectory.Block);
  // A second release finds nothing left to free.
  ReleaseInstallContext(context);
  EXPECT_EQ(nullptr, context.Log.Block);
}

TEST(ReleaseInstallContext, EmptyContextFreesNothingAndDoesNotFail) {
  InstallContext context = {};
  ReleaseInstallContext(context);
  EXPECT_EQ(nullptr, context.Printers.entries);
  EXPECT_EQ(nullptr, context.Log.Block);
}
