#include <gtest/gtest.h>

#include "spooler_test_support.h"

#include <winspool.h>

#include <string>

#include "install/spooler/component_files.h"

namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// A context whose component source is a scratch folder.
struct CopyFixture {
  TestContext ctx;
  ScratchDirectory source;
  ScratchDirectory target;
  CopyFixture() { AssignWide(ctx.c.ModuleDirectory, source.Path.c_str()); }
};

// A second process that holds a file open without sharing for `holdMs`.
struct FileHolder {
  PROCESS_INFORMATION process = {};
  bool Start(const std::wstring& path, DWORD holdMs) {
    WCHAR eventName[64];
    _snwprintf(eventName, 63, L"qs-file-holder-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    eventName[63] = 0;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName);
    std::wstring command = L"\"" + ProgramDirectory() + L"spooler_file_holder.exe\" \"" + path + L"\" " + eventName + L" " +
                           std::to_wstring(holdMs);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    bool started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) != 0;
    bool signalled = started && WaitForSingleObject(ready, 15000) == WAIT_OBJECT_0;
    CloseHandle(ready);
    return signalled;
  }
  ~FileHolder() {
    if (process.hProcess == nullptr) return;
    if (WaitForSingleObject(process.hProcess, 70000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 3);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
};

// The clock of the destination's time limit, running 150 ms per reading.
DWORD FakeNow = 0;
DWORD WINAPI FastClock() { return FakeNow += 150; }

struct ClockScope {
  ClockScope() {
    FakeNow = 0;
    DestinationTickCount = FastClock;
  }
  ~ClockScope() { DestinationTickCount = GetTickCount; }
};

size_t CountLines(const std::vector<std::wstring>& lines, const std::wstring& part) {
  size_t n = 0;
  for (const std::wstring& line : lines) n += line.find(part) != std::wstring::npos;
  return n;
}

}  // namespace

TEST(ComponentSets, SixtyFourAndThirtyTwoBitSetsWithTheSpoolersDriverDirectory) {
  struct Case {
    BYTE use64;
    const wchar_t *environment, *monitor, *driver, *ui;
  } cases[] = {{1, L"Windows x64", L"vtxmon64.dll", L"vtxdrv64.dll", L"vtxui64.dll"},
               {0, L"Windows NT x86", L"vtxmon32.dll", L"vtxdrv32.dll", L"vtxui32.dll"}};
  for (const Case& k : cases) {
    TestContext ctx;
    SelectComponents(ctx.c, k.use64);
    EXPECT_STREQ(k.environment, ctx.c.Environment);
    EXPECT_STREQ(k.monitor, ctx.c.MonitorFile);
    EXPECT_STREQ(k.driver, ctx.c.DriverFile);
    EXPECT_STREQ(k.ui, ctx.c.UiFile);
    EXPECT_STREQ(L"vtxhelp.chm", ctx.c.HelpFile);

    WCHAR reported[MAX_PATH + 2] = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, const_cast<WCHAR*>(k.environment), 1, reinterpret_cast<BYTE*>(reported),
                                           sizeof(reported) - 2, &needed));
    std::wstring withSeparator = reported;
    if (withSeparator.back() != L'\\') withSeparator += L'\\';
    EXPECT_EQ(withSeparator, Text(ctx.c.DriverDirectory));
    std::vector<std::wstring> lines = ctx.Lines();
    ASSERT_EQ(2u, lines.size()) << ctx.Log().c_str();
    EXPECT_EQ(std::wstring(L"PrinterDriverDirectory(1):") + reported, lines[0]);
    EXPECT_EQ(L"PrinterDriverDirectory(2):" + withSeparator, lines[1]);
    EXPECT_EQ(0, ctx.c.ErrorCount);
  }
}

TEST(CopyComponentFile, CopiesWholeFilesOfEveryBlockCountAndTruncatesTheOldDestination) {
  // 8192 fills the first read exactly: the second read returns nothing and ends the copy.
  for (size_t size : {size_t(0), size_t(1), size_t(8191), size_t(8192), size_t(8193), size_t(3 * 8192 + 5)}) {
    CopyFixture f;
    std::string content = Pattern(size);
    ASSERT_TRUE(WriteWholeFile(f.source.Path + L"vtxmon64.dll", content));
    ASSERT_TRUE(WriteWholeFile(f.target.Path + L"vtxmon64.dll", Pattern(40000)));
    WCHAR destination[ComponentPathUnits];
    EXPECT_EQ(S_OK, CopyComponentFile(f.ctx.c, f.target.Path.c_str(), L"vtxmon64.dll", destination, 1)) << size;
    EXPECT_EQ(f.target.Path + L"vtxmon64.dll", destination);
    std::string copied;
    ASSERT_TRUE(ReadWholeFile(destination, copied));
    EXPECT_TRUE(copied == content) << "size " << size << " copied " << copied.size();
    EXPECT_EQ(L">CopyFile vtxmon64.dll to " + f.target.Path + L" [1])\r\n  Copy Succeeded :)\r\n", f.ctx.Log());
    EXPECT_EQ(0, f.ctx.c.LogDepth);
    EXPECT_EQ(0, f.ctx.c.ErrorCount);
  }
}

TEST(CopyComponentFile, AddsTheSeparatorOnlyWhereOneIsMissing) {
  CopyFixture f;
  ASSERT_TRUE(WriteWholeFile(f.source.Path + L"vtxhelp.chm", "help"));
  std::wstring moduleNoSeparator = f.source.Path.substr(0, f.source.Path.size() - 1);
  std::wstring targetNoSeparator = f.target.Path.substr(0, f.target.Path.size() - 1);
  AssignWide(f.ctx.c.ModuleDirectory, moduleNoSeparator.c_str());
  WCHAR destination[ComponentPathUnits];
  EXPECT_EQ(S_OK, CopyComponentFile(f.ctx.c, targetNoSeparator.c_str(), L"vtxhelp.chm", destination, 0));
  EXPECT_EQ(f.target.Path + L"vtxhelp.chm", destination);
  std::string copied;
  EXPECT_TRUE(ReadWholeFile(destination, copied));
  EXPECT_EQ("help", copied);
  EXPECT_EQ(S_OK, CopyComponentFile(f.ctx.c, f.target.Path.c_str(), L"vtxhelp.chm", nullptr, 0));
}

TEST(CopyComponentFile, MissingSourceIsAnErrorOnlyWhenReported) {
  CopyFixture f;
  WCHAR destination[ComponentPathUnits];
  EXPECT_EQ(E_FAIL, CopyComponentFile(f.ctx.c, f.target.Path.c_str(), L"vtxdrv64.dll", destination, 0));
  // The destination path is handed out whatever happens after it is known.
  EXPECT_EQ(f.target.Path + L"vtxdrv64.dll", destination);
  EXPECT_EQ(L">CopyFile vtxdrv64.dll to " + f.target.Path + L" [0])\r\n  Copy Failed :(\r\n", f.ctx.Log());
  EXPECT_EQ(0, f.ctx.c.ErrorCount);
  EXPECT_FALSE(FileExists(f.target.Path + L"vtxdrv64.dll"));

  TestContext reported;
  AssignWide(reported.c.ModuleDirectory, f.source.Path.c_str());
  EXPECT_EQ(E_FAIL, CopyComponentFile(reported.c, f.target.Path.c_str(), L"vtxdrv64.dll", nullptr, 1));
  std::vector<std::wstring> lines = reported.Lines();
  ASSERT_EQ(3u, lines.size()) << reported.Log().c_str();
  EXPECT_EQ(L"  Error(10): Cant't open source file: vtxdrv64.dll - (" + SystemText(ERROR_FILE_NOT_FOUND) + L")", lines[1]);
  EXPECT_EQ(L"  Copy Failed :(", lines[2]);
  EXPECT_EQ(1, reported.c.ErrorCount);
  EXPECT_EQ(0, reported.c.LogDepth);
}

TEST(CopyComponentFile, LockedDestinationGivesUpAfterAHundredQuickAttemptsWithoutTheTimeoutLine) {
  CopyFixture f;
  ASSERT_TRUE(WriteWholeFile(f.source.Path + L"vtxui64.dll", Pattern(100)));
  std::wstring destination = f.target.Path + L"vtxui64.dll";
  FileHolder holder;
  ASSERT_TRUE(holder.Start(destination, 20000));
  ASSERT_EQ(INVALID_HANDLE_VALUE, CreateFileW(destination.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));

  DWORD start = GetTickCount();
  EXPECT_EQ(E_FAIL, CopyComponentFile(f.ctx.c, f.target.Path.c_str(), L"vtxui64.dll", nullptr, 1));
  DWORD elapsed = GetTickCount() - start;
  // 99 pauses of 50 ms, and well inside the 10 s limit.
  EXPECT_GE(elapsed, 4500u);
  EXPECT_LT(elapsed, 10000u);
  std::vector<std::wstring> lines = f.ctx.Lines();
  ASSERT_EQ(3u, lines.size()) << f.ctx.Log().c_str();
  EXPECT_EQ(L"  Error(9): Cant't open destination file: " + destination + L" - (" + SystemText(ERROR_SHARING_VIOLATION) + L")",
            lines[1]);
  EXPECT_EQ(0u, CountLines(lines, L"CreateFile - timeout"));
  EXPECT_EQ(1, f.ctx.c.ErrorCount);
  TerminateProcess(holder.process.hProcess, 0);
}

TEST(CopyComponentFile, LockedDestinationLogsTheTimeoutWhenTenSecondsRunOutFirst) {
  for (BYTE report : {BYTE(0), BYTE(1)}) {
    CopyFixture f;
    ASSERT_TRUE(WriteWholeFile(f.source.Path + L"vtxui64.dll", Pattern(100)));
    std::wstring destination = f.target.Path + L"vtxui64.dll";
    FileHolder holder;
    ASSERT_TRUE(holder.Start(destination, 20000));
    {
      ClockScope fastClock;
      EXPECT_EQ(E_FAIL, CopyComponentFile(f.ctx.c, f.target.Path.c_str(), L"vtxui64.dll", nullptr, report));
      // 150 ms a reading: the limit passes at the 67th failed attempt, not the 100th.
      EXPECT_LE(FakeNow, 68u * 150u);
    }
    std::vector<std::wstring> lines = f.ctx.Lines();
    ASSERT_EQ(report ? 4u : 3u, lines.size()) << f.ctx.Log().c_str();
    EXPECT_EQ(L"  CreateFile - timeout", lines[1]);
    if (report) {
      EXPECT_EQ(0u, lines[2].find(L"  Error(9): Cant't open destination file: " + destination));
    }
    EXPECT_EQ(L"  Copy Failed :(", lines.back());
    EXPECT_EQ(report ? 1 : 0, f.ctx.c.ErrorCount);
    TerminateProcess(holder.process.hProcess, 0);
  }
}

TEST(CopyComponentFile, DestinationReleasedWithinTheRetriesIsCopied) {
  CopyFixture f;
  std::string content = Pattern(9000);
  ASSERT_TRUE(WriteWholeFile(f.source.Path + L"vtxdrv64.dll", content));
  std::wstring destination = f.target.Path + L"vtxdrv64.dll";
  FileHolder holder;
  ASSERT_TRUE(holder.Start(destination, 1200));
  DWORD start = GetTickCount();
  EXPECT_EQ(S_OK, CopyComponentFile(f.ctx.c, f.target.Path.c_str(), L"vtxdrv64.dll", nullptr, 1));
  EXPECT_GE(GetTickCount() - start, 500u);
  std::string copied;
  EXPECT_TRUE(ReadWholeFile(destination, copied));
  EXPECT_TRUE(copied == content);
  EXPECT_EQ(0, f.ctx.c.ErrorCount);
}

TEST(CopyComponentFile, PathsThatDoNotFitThePathBufferAreRefusedNotCut) {
  // The source is missing, so nothing waits on a destination that cannot exist.
  TestContext ctx;
  AssignWide(ctx.c.ModuleDirectory, L"C:\\nowhere\\");
  const std::wstring file = L"vtxmon64.dll";
  for (size_t total : {size_t(ComponentPathUnits - 1), size_t(ComponentPathUnits), size_t(400)}) {
    std::wstring directory = L"C:\\" + std::wstring(total - 3 - 1 - file.size(), L'd');
    WCHAR buffer[ComponentPathUnits + 16];
    for (WCHAR& unit : buffer) unit = L'#';
    Clear(ctx.c.Log);
    EXPECT_EQ(E_FAIL, CopyComponentFile(ctx.c, directory.c_str(), file.c_str(), buffer, 0));
    for (int i = ComponentPathUnits; i < ComponentPathUnits + 16; ++i) ASSERT_EQ(L'#', buffer[i]) << "overrun at " << i;
    bool fits = total < static_cast<size_t>(ComponentPathUnits);
    EXPECT_EQ(fits ? directory + L"\\" + file : L"", buffer) << total;
    EXPECT_EQ(fits ? 0u : 1u, CountLines(ctx.Lines(), L"  Path too long: " + directory)) << total;
  }
  EXPECT_EQ(0, ctx.c.ErrorCount);

  // Reported: the error line says why.
  EXPECT_EQ(E_FAIL, CopyComponentFile(ctx.c, (L"C:\\" + std::wstring(300, L'x')).c_str(), file.c_str(), nullptr, 1));
  EXPECT_EQ(1, ctx.c.ErrorCount);
  EXPECT_EQ(1u, CountLines(ctx.Lines(), L"Error(9): Cant't open destination file: C:\\xxx"));
  EXPECT_EQ(1u, CountLines(ctx.Lines(), SystemText(ERROR_FILENAME_EXCED_RANGE)));

  TestContext longSource;
  AssignWide(longSource.c.ModuleDirectory, (L"C:\\" + std::wstring(300, L's') + L"\\").c_str());
  ScratchDirectory target;
  EXPECT_EQ(E_FAIL, CopyComponentFile(longSource.c, target.Path.c_str(), file.c_str(), nullptr, 1));
  std::vector<std::wstring> lines = longSource.Lines();
  EXPECT_EQ(1u, CountLines(lines, L"  Path too long: C:\\sss"));
  EXPECT_EQ(1u, CountLines(lines, L"  Error(10): Cant't open source file: vtxmon64.dll - (" + SystemText(ERROR_FILENAME_EXCED_RANGE)));
  EXPECT_EQ(1, longSource.c.ErrorCount);
  EXPECT_FALSE(FileExists(target.Path + file));
}

TEST(CopyComponentFile, WithoutATargetDirectoryNothingLandsInTheCurrentDirectory) {
  CopyFixture f;
  ASSERT_TRUE(WriteWholeFile(f.source.Path + L"vtxdrv64.dll", "driver"));
  WCHAR previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(f.target.Path.c_str()));
  HRESULT result = CopyComponentFile(f.ctx.c, L"", L"vtxdrv64.dll", nullptr, 1);
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(E_FAIL, result);
  EXPECT_FALSE(FileExists(f.target.Path + L"vtxdrv64.dll"));
  EXPECT_EQ(1, f.ctx.c.ErrorCount);
  EXPECT_EQ(1u, CountLines(f.ctx.Lines(), L"  Error(9): Cant't open destination file: vtxdrv64.dll"));
}

TEST(FileBuildNumber, LastComponentOfTheProductVersionOrMinusOne) {
  std::wstring bin = ProgramDirectory();
  EXPECT_EQ(2436, GetFileBuildNumber((bin + L"fixture_build_7_0_0_2436.dll").c_str()));
  // Only the low 16 bits count: the third component does not leak in.
  EXPECT_EQ(2436, GetFileBuildNumber((bin + L"fixture_build_7_0_1_2436.dll").c_str()));
  EXPECT_EQ(-1, GetFileBuildNumber((bin + L"fixture_no_version.dll").c_str()));
  EXPECT_EQ(-1, GetFileBuildNumber((bin + L"no_such_file.dll").c_str()));
  ScratchDirectory scratch;
  ASSERT_TRUE(WriteWholeFile(scratch.Path + L"plain.dll", "MZ not really a module"));
  EXPECT_EQ(-1, GetFileBuildNumber((scratch.Path + L"plain.dll").c_str()));
}
