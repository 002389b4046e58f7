#include <gtest/gtest.h>

#include "spooler_test_support.h"

#include "install/spooler/component_files.h"

namespace {

// Source and target folders under the temporary directory, deleted with their files afterwards.
struct CopyFixture {
  TestContext ctx;
  std::wstring source, target;  // end in "\"
  CopyFixture() {
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static int serial = 0;
    std::wstring base = temp + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
    source = base + L"-src\\";
    target = base + L"-dst\\";
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW(target.c_str(), nullptr);
    AssignWide(ctx.c.ModuleDirectory, source.c_str());
  }
  ~CopyFixture() {
    for (const std::wstring& folder : {source, target}) {
      for (const wchar_t* name : {L"vtxmon64.dll", L"vtxui64.dll"}) DeleteFileW((folder + name).c_str());
      RemoveDirectoryW(folder.c_str());
    }
  }
};

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  bool ok = file != INVALID_HANDLE_VALUE && (bytes.empty() || WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadWholeFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char block[4096];
  DWORD read = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, block, sizeof block, &read, nullptr) && read > 0) bytes.append(block, read);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return bytes;
}

// A second process that holds a file open without sharing for `holdMs`.
struct FileHolder {
  PROCESS_INFORMATION process = {};
  bool Start(const std::wstring& path, DWORD holdMs) {
    std::wstring eventName = L"qs-file-holder-" + std::to_wstring(GetCurrentProcessId());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    std::wstring command = L"\"" + ProgramDirectory() + L"spooler_file_holder.exe\" \"" + path + L"\" " + eventName + L" " +
                           std::to_wstring(holdMs);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // One run here saw this start fail within milliseconds under load: try a few times, and say
    // why when it keeps failing.
    bool started = false;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
      started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) != FALSE;
      if (!started) {
        error = GetLastError();
        Sleep(200);
      }
    }
    if (!started) ADD_FAILURE() << "the file holder did not start: " << error;
    if (ready == nullptr) ADD_FAILURE() << "no ready event: " << GetLastError();
    bool held = started && ready != nullptr && WaitForSingleObject(ready, 15000) == WAIT_OBJECT_0;
    if (ready != nullptr) CloseHandle(ready);
    return held;
  }
  ~FileHolder() {
    if (process.hProcess == nullptr) return;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
};

// The destination's clock running 150 ms a reading: ten seconds pass at the 67th attempt.
DWORD FakeNow = 0;
DWORD WINAPI FastClock() { return FakeNow += 150; }

}  // namespace

TEST(CopyComponentFile, CopiesWholeFilesOfEveryBlockCountAndTruncatesTheOldDestination) {
  // 8192 fills the first read exactly: the second read returns nothing and ends the copy.
  for (size_t size : {size_t(0), size_t(1), size_t(8192), size_t(8193), size_t(3 * 8192 + 5)}) {
    CopyFixture f;
    ASSERT_TRUE(WriteWholeFile(f.source + L"vtxmon64.dll", Pattern(size)));
    ASSERT_TRUE(WriteWholeFile(f.target + L"vtxmon64.dll", Pattern(40000)));
    // Separators are added where the folders lack them.
    AssignWide(f.ctx.c.ModuleDirectory, f.source.substr(0, f.source.size() - 1).c_str());
    std::wstring targetText = size == 1 ? f.target.substr(0, f.target.size() - 1) : f.target;
    WCHAR destination[ComponentPathUnits];
    EXPECT_EQ(S_OK, CopyComponentFile(f.ctx.c, targetText.c_str(), L"vtxmon64.dll", destination, 1)) << size;
    EXPECT_EQ(f.target + L"vtxmon64.dll", destination);
    EXPECT_TRUE(ReadWholeFile(destination) == Pattern(size)) << "size " << size;
    EXPECT_EQ(L">CopyFile vtxmon64.dll to " + targetText + L" [1])\r\n  Copy Succeeded :)\r\n", f.ctx.Log());
    EXPECT_EQ(0, f.ctx.c.LogDepth);
    EXPECT_EQ(0, f.ctx.c.ErrorCount);
  }
}

TEST(CopyComponentFile, MissingSourceIsAnErrorOnlyWhenReported) {
  for (BYTE report : {BYTE(0), BYTE(1)}) {
    CopyFixture f;
    WCHAR destination[ComponentPathUnits];
    EXPECT_EQ(E_FAIL, CopyComponentFile(f.ctx.c, f.target.c_str(), L"vtxmon64.dll", destination, report));
    // The destination path is handed out whatever happens after it is known.
    EXPECT_EQ(f.target + L"vtxmon64.dll", destination);
    EXPECT_EQ(L">CopyFile vtxmon64.dll to " + f.target + (report ? L" [1])\r\n" : L" [0])\r\n") +
                  (report ? L"  Error(10): Cant't open source file: vtxmon64.dll - (" + SystemText(ERROR_FILE_NOT_FOUND) + L")\r\n"
                          : L"") +
                  L"  Copy Failed :(\r\n",
              f.ctx.Log());
    EXPECT_EQ(report, f.ctx.c.ErrorCount);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(destination));
  }
}

TEST(CopyComponentFile, LockedDestinationIsTriedAHundredTimesOrForTenSeconds) {
  for (bool fastClock : {false, true}) {
    CopyFixture f;
    ASSERT_TRUE(WriteWholeFile(f.source + L"vtxui64.dll", Pattern(100)));
    std::wstring destination = f.target + L"vtxui64.dll";
    FileHolder holder;
    ASSERT_TRUE(holder.Start(destination, 30000));
    FakeNow = 0;
    if (fastClock) DestinationTickCount = FastClock;
    DWORD start = GetTickCount();
    EXPECT_EQ(E_FAIL, CopyComponentFile(f.ctx.c, f.target.c_str(), L"vtxui64.dll", nullptr, 1));
    DWORD elapsed = GetTickCount() - start;
    DestinationTickCount = GetTickCount;
    std::vector<std::wstring> lines = f.ctx.Lines();
    if (fastClock) {
      // The limit ran out before the 100th attempt.
      EXPECT_LE(FakeNow, 68u * 150u);
      ASSERT_EQ(4u, lines.size()) << f.ctx.Log().c_str();
      EXPECT_EQ(L"  CreateFile - timeout", lines[1]);
    } else {
      // 99 pauses of 50 ms, well inside the limit: no timeout line.
      EXPECT_GE(elapsed, 4500u);
      EXPECT_LT(elapsed, 10000u);
      ASSERT_EQ(3u, lines.size()) << f.ctx.Log().c_str();
    }
    EXPECT_EQ(L"  Error(9): Cant't open destination file: " + destination + L" - (" + SystemText(ERROR_SHARING_VIOLATION) + L")",
              lines[lines.size() - 2]);
    EXPECT_EQ(1, f.ctx.c.ErrorCount);
  }
}

TEST(CopyComponentFile, DestinationReleasedWithinTheRetriesIsCopied) {
  CopyFixture f;
  ASSERT_TRUE(WriteWholeFile(f.source + L"vtxmon64.dll", Pattern(9000)));
  FileHolder holder;
  ASSERT_TRUE(holder.Start(f.target + L"vtxmon64.dll", 1200));
  EXPECT_EQ(S_OK, CopyComponentFile(f.ctx.c, f.target.c_str(), L"vtxmon64.dll", nullptr, 1));
  EXPECT_TRUE(ReadWholeFile(f.target + L"vtxmon64.dll") == Pattern(9000));
  EXPECT_EQ(0, f.ctx.c.ErrorCount);
}

TEST(CopyComponentFile, PathsThatDoNotFitThePathBufferAndEmptyTargetsAreRefused) {
  // Missing sources, so that nothing waits on a destination that cannot exist.
  TestContext ctx;
  AssignWide(ctx.c.ModuleDirectory, L"C:\\nowhere\\");
  const std::wstring file = L"vtxmon64.dll";
  for (size_t total : {size_t(ComponentPathUnits - 1), size_t(ComponentPathUnits), size_t(400)}) {
    std::wstring directory = L"C:\\" + std::wstring(total - 4 - file.size(), L'd');
    WCHAR buffer[ComponentPathUnits + 16];
    for (WCHAR& unit : buffer) unit = L'#';
    EXPECT_EQ(E_FAIL, CopyComponentFile(ctx.c, directory.c_str(), file.c_str(), buffer, 0));
    for (int i = ComponentPathUnits; i < ComponentPathUnits + 16; ++i) ASSERT_EQ(L'#', buffer[i]) << "overrun at " << i;
    bool fits = total < size_t(ComponentPathUnits);
    EXPECT_EQ(fits ? directory + L"\\" + file : L"", buffer) << total;
    EXPECT_EQ(fits ? 0u : 1u, CountLinesStarting(ctx.Lines(), L"  Path too long: " + directory + L"\\")) << total;
  }
  EXPECT_EQ(0, ctx.c.ErrorCount);

  TestContext longSource;
  AssignWide(longSource.c.ModuleDirectory, (L"C:\\" + std::wstring(300, L's') + L"\\").c_str());
  EXPECT_EQ(E_FAIL, CopyComponentFile(longSource.c, L"C:\\windows\\temp", file.c_str(), nullptr, 1));
  EXPECT_EQ(1u, CountLinesStarting(longSource.Lines(),
                                   L"  Error(10): Cant't open source file: vtxmon64.dll - (" + SystemText(ERROR_FILENAME_EXCED_RANGE)));

  // No target folder: the copy would land in the current directory.
  CopyFixture f;
  ASSERT_TRUE(WriteWholeFile(f.source + file, "monitor"));
  WCHAR previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(f.target.c_str());
  EXPECT_EQ(E_FAIL, CopyComponentFile(f.ctx.c, L"", file.c_str(), nullptr, 1));
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((f.target + file).c_str()));
  EXPECT_EQ(1u, CountLinesStarting(f.ctx.Lines(), L"  Error(9): Cant't open destination file: vtxmon64.dll"));
}

TEST(FileBuildNumber, LastComponentOfTheProductVersionOrMinusOne) {
  // The fixtures' file version is 9.8.7.6: only the product version may count.
  std::wstring bin = ProgramDirectory();
  EXPECT_EQ(2436, GetFileBuildNumber((bin + L"fixture_build_7_0_0_2436.dll").c_str()));
  EXPECT_EQ(2436, GetFileBuildNumber((bin + L"fixture_build_7_0_1_2436.dll").c_str()));
  EXPECT_EQ(-1, GetFileBuildNumber((bin + L"fixture_no_version.dll").c_str()));
  EXPECT_EQ(-1, GetFileBuildNumber((bin + L"no_such_file.dll").c_str()));
}
