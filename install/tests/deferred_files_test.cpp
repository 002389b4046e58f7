// The system's list of deletions at restart as the installer reads and works it off, and the
// installer's own list of files still to delete.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "install/control/check_modes.h"
#include "install/control/deferred_files.h"
#include "spooler_test_support.h"
#include "pending_renames_value.h"

namespace {

// A folder of scratch files in the prefix's temporary folder.
std::wstring Scratch(const std::wstring& name) {
  WCHAR temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"quilldeferred";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\" + name;
}

std::wstring MakeFile(const std::wstring& name) {
  std::wstring path = Scratch(name);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, file) << name.size();
  CloseHandle(file);
  return path;
}

// A file in the system directory, one of the folders where the product's files live.
std::wstring ProductFolderPath(const std::wstring& name) {
  WCHAR system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\" + name;
}

std::wstring MakeProductFile(const std::wstring& name) {
  std::wstring path = ProductFolderPath(name);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, file) << name.size();
  CloseHandle(file);
  return path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The record as names ("" for none) and flags, released at the end of the scope.
struct ReadRecord {
  PendingRenames Record;
  ReadRecord() { ReadPendingRenames(Record); }
  ~ReadRecord() { ReleasePendingRenames(Record); }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (INT32 i = 0; i < 2 * Record.PairCount; ++i) names.push_back(Record.Names[i] ? Record.Names[i] : L"");
    return names;
  }
  std::vector<INT32> Flags() const { return std::vector<INT32>(Record.IsFile, Record.IsFile + 2 * Record.PairCount); }
};

class DeferredFiles : public ::testing::Test {
 protected:
  PendingRenamesValueScope Saved;  // the machine's own value comes back afterwards
};

}  // namespace

TEST_F(DeferredFiles, DeletesExistingSourcesOfDeletionsOnlyAndNeverARename) {
  // Only the product's files where the product puts them go; another program's file waiting for
  // the restart stays for it, also when it has a component's name.
  std::wstring gone = MakeProductFile(L"vtxdrv64.dll"), plain = MakeProductFile(L"VTXUI64.DLL.old1"), renamed = MakeFile(L"renamed.dll"),
               target = MakeFile(L"target.dll"), folder = ProductFolderPath(L"vtxui32.dll"), missing = ProductFolderPath(L"vtxmon32.dll"),
               foreign = MakeFile(L"foreign.dll"), namesake = MakeFile(L"vtxui64.dll");
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(WritePendingRenames({L"\\??\\" + gone, L"", L"\\??\\" + renamed, L"\\??\\" + target, L"\\??\\" + folder, L"",
                                   L"\\??\\" + missing, L"", plain, L"", L"\\??\\" + foreign, L"", L"\\??\\" + namesake, L"",
                                   L"\\??\\" + plain /* unpaired: ignored */}));
  ReadRecord read;
  ASSERT_EQ(7, read.Record.PairCount);
  EXPECT_EQ((std::vector<std::wstring>{L"\\??\\" + gone, L"", L"\\??\\" + renamed, L"\\??\\" + target, L"\\??\\" + folder, L"",
                                       L"\\??\\" + missing, L"", plain, L"", L"\\??\\" + foreign, L"", L"\\??\\" + namesake, L""}),
            read.Names());
  EXPECT_EQ((std::vector<INT32>{1, 0, 1, 1, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0}), read.Flags());
  DeleteListedSources(read.Record);
  EXPECT_EQ((std::vector<INT32>{0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0}), read.Flags());
  EXPECT_FALSE(Exists(gone));
  EXPECT_FALSE(Exists(plain));  // written without the "\??\" prefix: used as it stands
  EXPECT_TRUE(Exists(renamed));
  EXPECT_TRUE(Exists(target));
  EXPECT_TRUE(Exists(folder));
  EXPECT_TRUE(Exists(foreign));
  EXPECT_TRUE(Exists(namesake));
  RemoveDirectoryW(folder.c_str());
  EXPECT_FALSE(ListsPendingComponent(read.Record));
  EXPECT_FALSE(IsProductFileName(L"C:\\x\\vtxmon64.dll.older"));
  EXPECT_FALSE(IsProductFileName(L"C:\\x\\myvtxmon64.dll"));
  EXPECT_TRUE(IsProductFileName(L"\\??\\C:\\x\\VtxMon64.Dll.NEW"));
}

// Values that Windows would not write: the record holds what the bytes say and nothing beyond.
TEST_F(DeferredFiles, MalformedValuesAreReadNoFurtherThanTheirBytes) {
  std::wstring del = MakeProductFile(L"vtxhelp.chm"), src = MakeFile(L"src.dll");
  const std::wstring d = L"\\??\\" + del, s = L"\\??\\" + src;
  struct Case {
    const char* what;
    std::wstring units;   // the value's UTF-16 units, terminators included as written
    bool oddByte;         // one byte more than the units
    std::vector<std::wstring> names;
  } cases[] = {
      {"well formed", d + L'\0' + L'\0' + s + L'\0' + L"dst" + L'\0' + L'\0', false, {d, L"", s, L"dst"}},
      {"odd byte count", d + L'\0' + L'\0' + s + L'\0' + L"dst" + L'\0' + L'\0', true, {d, L"", s, L"dst"}},
      {"no final zero", d + L'\0' + L'\0' + s + L'\0' + L"dst" + L'\0', false, {d, L"", s, L"dst"}},
      {"no terminator at all", d + L'\0' + L'\0' + s + L'\0' + L"dst", false, {d, L"", s, L"dst"}},
      {"no terminator, odd byte", d + L'\0' + L'\0' + s + L'\0' + L"dst", true, {d, L"", s, L"dst"}},
      {"one unterminated string", s, false, {}},
      {"a lone zero", std::wstring(1, L'\0'), false, {}},
      {"a single byte", L"", true, {}},
  };
  for (const Case& c : cases) {
    MakeProductFile(L"vtxhelp.chm");
    ASSERT_TRUE(WritePendingRenamesBytes(c.units, c.oddByte)) << c.what;
    ReadRecord read;
    EXPECT_EQ(c.names, read.Names()) << c.what;
    DeleteListedSources(read.Record);
    EXPECT_EQ(c.names.empty(), Exists(del)) << c.what;  // the deletion is carried out where it was read
    EXPECT_TRUE(Exists(src)) << c.what;                  // the rename never is
  }
  DeleteFileW(del.c_str());
}

TEST_F(DeferredFiles, RetryKeepsOnlyTheLockedFileAndLogsOneLine) {
  std::wstring first = MakeFile(L"first.dll"), locked = MakeFile(L"locked.dll"), third = MakeFile(L"third.dll");
  TestContext ctx;
  AddUnique(ctx.c.PendingDeletes, third.c_str());
  AddUnique(ctx.c.PendingDeletes, Scratch(L"vanished.dll").c_str());
  AddUnique(ctx.c.PendingDeletes, locked.c_str());
  AddUnique(ctx.c.PendingDeletes, first.c_str());
  HANDLE hold = CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, hold);
  RetryPendingDeletes(ctx.c);
  CloseHandle(hold);
  EXPECT_EQ(L"DeleteFile-try\r\n", ctx.Log());
  ASSERT_NE(nullptr, ctx.c.PendingDeletes);
  EXPECT_EQ(locked, ctx.c.PendingDeletes->text);
  EXPECT_EQ(nullptr, ctx.c.PendingDeletes->next);
  EXPECT_FALSE(Exists(first));
  EXPECT_FALSE(Exists(third));
  FreeAll(ctx.c.PendingDeletes);
}

// What the end of an install hands to Windows is what the next run reads back and deletes.
TEST_F(DeferredFiles, ScheduledFilesAreCountedAndReadBackAsDeletions) {
  TestContext ctx;
  EXPECT_EQ(0u, ScheduleDeletesAtReboot(ctx.c));
  EXPECT_EQ(L"", ctx.Log());
  ASSERT_TRUE(ClearPendingRenames());
  std::wstring a = MakeProductFile(L"vtxui64.dll"), b = MakeProductFile(L"vtxdrv64.dll.old");
  AddUnique(ctx.c.PendingDeletes, a.c_str());
  AddUnique(ctx.c.PendingDeletes, b.c_str());
  EXPECT_EQ(2u, ScheduleDeletesAtReboot(ctx.c));
  EXPECT_EQ(nullptr, ctx.c.PendingDeletes);
  EXPECT_EQ(L"", ctx.Log());
  ReadRecord read;
  EXPECT_EQ((std::vector<std::wstring>{L"\\??\\" + b, L"", L"\\??\\" + a, L""}), read.Names());
  EXPECT_TRUE(ListsPendingComponent(read.Record));
  DeletePendingSources();
  EXPECT_FALSE(Exists(a));
  EXPECT_FALSE(Exists(b));
}

// An install takes the pending deletion of a file it puts in place out of the system's list;
// renames of it, other deletions and unpaired strings stay as they were.
TEST_F(DeferredFiles, CancelledDeletionLeavesEveryOtherOperationByteForByte) {
  const std::wstring monitor = L"C:\\windows\\system32\\vtxmon64.dll";
  const std::wstring other = L"\\??\\C:\\other.dll", rename = L"\\??\\C:\\windows\\system32\\VTXMON64.DLL";
  auto units = [](const std::vector<std::wstring>& strings) {
    std::wstring all;
    for (const std::wstring& s : strings) all += s + L'\0';
    return all;
  };
  auto bytes = [](const std::wstring& all) { return std::string(reinterpret_cast<const char*>(all.data()), all.size() * sizeof(wchar_t)); };
  struct Case {
    std::wstring before, after;  // the value's units; after: "" when the value is gone
    bool changed;
  } cases[] = {
      // Deletions with and without the prefix, in other letter case, first, between and last.
      {units({L"\\??\\C:\\WINDOWS\\system32\\vtxmon64.dll", L"", other, L"", monitor, L"", other, L"x", L""}),
       units({other, L"", other, L"x", L""}), true},
      // A rename of that file is not a deletion; nothing changes.
      {units({rename, L"\\??\\C:\\moved.dll", L""}), units({rename, L"\\??\\C:\\moved.dll", L""}), false},
      // The only operation: the value goes.
      {units({L"\\??\\" + monitor, L"", L""}), L"", true},
      // No final zero and an unpaired last string: it stays, and the list is closed when written.
      {units({L"\\??\\" + monitor, L"", other}), units({other, L""}), true},
      // Without the final zero the last empty string is that zero, as the reader takes it: no pair.
      {units({other, L"", L"\\??\\" + monitor, L""}), units({other, L"", L"\\??\\" + monitor, L""}), false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WritePendingRenamesBytes(c.before, false));
    EXPECT_EQ(c.changed, CancelPendingDelete(monitor.c_str())) << bytes(c.before).size();
    EXPECT_EQ(c.after.empty() ? std::string() : bytes(c.after), ReadPendingRenamesBytes()) << bytes(c.before).size();
  }
  // An odd trailing byte does not hide the pair in front of it.
  ASSERT_TRUE(WritePendingRenamesBytes(units({other, L"", L"\\??\\" + monitor, L"", L""}), true));
  EXPECT_TRUE(CancelPendingDelete(monitor.c_str()));
  EXPECT_EQ(bytes(units({other, L"", L""})), ReadPendingRenamesBytes());
}
