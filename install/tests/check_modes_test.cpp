// "onInit", "onChkDrv" and "def.set": install.exe as a process on the spooler stand-in, with the
// product's driver registered from fixture DLLs of known builds.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "pending_renames_value.h"
#include "spooler_test_support.h"
#include "tests/support/product_state.h"
#include "spooler_testbed.h"
#include "tests/support/install_process.h"

namespace {

const wchar_t OurDriver[] = L"Quillstack printer";
const wchar_t OtherDriver[] = L"Other Vendor Printer Driver";

bool RegisterDriver(const wchar_t* name, const wchar_t* dll) {
  std::wstring driver = ProgramDirectory() + dll, config = ProgramDirectory() + L"fixture_no_version.dll";
  DRIVER_INFO_2W info = {3, const_cast<LPWSTR>(name), const_cast<LPWSTR>(L"Windows x64"), &driver[0], &driver[0], &config[0]};
  return AddPrinterDriverExW(nullptr, 2, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES) != FALSE;
}

bool CreateTestPrinter(const wchar_t* name, const wchar_t* driver) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<LPWSTR>(name);
  info.pPortName = const_cast<LPWSTR>(L"NUL:");
  info.pDriverName = const_cast<LPWSTR>(driver);
  info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (printer != nullptr) ClosePrinter(printer);
  return printer != nullptr;
}

// A plain machine with another vendor's printer, and the product's driver of the given file.
void PrepareMachine(const wchar_t* ourDriverDll) {
  ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning));
  ASSERT_TRUE(RegisterDriver(OtherDriver, L"fixture_build_7_0_1_2436.dll")) << GetLastError();
  // Before any printer: a printer makes the spooler hold its driver's files, the shared one too.
  if (ourDriverDll != nullptr) {
    ASSERT_TRUE(RegisterDriver(OurDriver, ourDriverDll)) << GetLastError();
  }
  ASSERT_TRUE(CreateTestPrinter(L"Another Printer", OtherDriver));
}

std::wstring DefaultPrinter() {
  wchar_t name[300] = {};
  DWORD size = 300;
  return GetDefaultPrinterW(name, &size) ? name : L"";
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring ProductFile(const std::wstring& folder, const std::wstring& name) {
  std::wstring path = folder + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(file);
  return path;
}

std::wstring ScratchFile(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"quillchecks";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring path = folder + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(file);
  return path;
}

// Holds the file open without delete sharing, as a loaded module would be held.
struct FileHold {
  HANDLE File;
  explicit FileHold(const std::wstring& path)
      : File(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~FileHold() { CloseHandle(File); }
};

class CheckModes : public ::testing::Test {
 protected:
  PendingRenamesValueScope Renames;
  void TearDown() override { ResetSpooler(SpoolerLeftRunning); }
};

}  // namespace

TEST_F(CheckModes, DriverCheckReadsTheBuildOfThePrintersDriverFile) {
  struct Case {
    const wchar_t* dll;
    bool ourPrinter;
    DWORD code;
  } cases[] = {{L"fixture_driver_2415.dll", true, 3},  {L"fixture_driver_2416.dll", true, 103},
               {L"fixture_build_7_0_0_2436.dll", true, 103}, {L"fixture_no_version.dll", true, 3},
               {L"fixture_build_7_0_0_2436.dll", false, 3}, {nullptr, false, 3}};
  for (const Case& c : cases) {
    PrepareMachine(c.dll);
    if (c.ourPrinter) {
      ASSERT_TRUE(CreateTestPrinter(L"Quillstack", OurDriver));
    }
    EXPECT_EQ(c.code, RunInstallProcess(L"onChkDrv")) << (c.dll ? c.dll : L"no driver") << c.ourPrinter;
  }
}

TEST_F(CheckModes, DefaultPrinterCheckAndMakeDefault) {
  PrepareMachine(L"fixture_driver_2416.dll");
  EXPECT_EQ(102u, RunInstallProcess(L"onInit"));  // no default printer
  EXPECT_EQ(4u, RunInstallProcess(L"def.set"));   // no printer of ours: nothing changes
  EXPECT_EQ(L"", DefaultPrinter());
  ASSERT_TRUE(SetDefaultPrinterW(L"Another Printer"));
  EXPECT_EQ(102u, RunInstallProcess(L"onInit"));
  EXPECT_EQ(4u, RunInstallProcess(L"def.set x"));
  EXPECT_EQ(L"Another Printer", DefaultPrinter());

  // Two printers of ours: the first that the spooler lists becomes the default.
  ASSERT_TRUE(CreateTestPrinter(L"Quillstack Beta", OurDriver));
  ASSERT_TRUE(CreateTestPrinter(L"Quillstack Alpha", OurDriver));
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> block(needed);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, block.data(), needed, &needed, &count));
  std::wstring first;
  const PRINTER_INFO_2W* printers = reinterpret_cast<const PRINTER_INFO_2W*>(block.data());
  for (DWORD i = count; i-- > 0;)
    if (std::wstring(printers[i].pDriverName) == OurDriver) first = printers[i].pPrinterName;
  EXPECT_EQ(4u, RunInstallProcess(L"def.set"));
  EXPECT_EQ(first, DefaultPrinter());
  EXPECT_EQ(3u, RunInstallProcess(L"onInit"));
  EXPECT_EQ(103u, RunInstallProcess(L"onChkDrv"));
  EXPECT_EQ(6u, RunInstallProcess(L"DEF.SET"));
}

TEST_F(CheckModes, StartUpCheckDeletesWhatItCanAndRestartsTheSpoolerForWhatStaysLocked) {
  ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning));
  // The components where the product puts them: the driver directory and the system directory.
  wchar_t system[MAX_PATH] = {}, drivers[MAX_PATH] = {};
  DWORD needed = 0;
  ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(L"Windows x64"), 1, reinterpret_cast<BYTE*>(drivers),
                                         sizeof(drivers), &needed));
  std::wstring ui = ProductFile(drivers, L"vtxui64.dll"), mon32 = ProductFile(system, L"vtxmon32.dll"),
               mon64 = ProductFile(system, L"VTXMON64.DLL"), renamed = ScratchFile(L"renamed.dll"), namesake = ScratchFile(L"vtxdrv64.dll");
  {
    // Deletable now, and a 32-bit file that stays: no restart, and the default printer decides.
    // Another program's file of a component's name, waiting for the restart, is neither deleted
    // nor taken for a component that waits.
    FileHold hold(mon32);
    ASSERT_TRUE(WritePendingRenames({L"\\??\\" + mon32, L"", L"\\??\\" + ui, L"", L"\\??\\" + namesake, L""}));
    int starts = SpoolerStarts();
    EXPECT_EQ(102u, RunInstallProcess(L"onInit"));
    EXPECT_FALSE(FileExists(ui));
    EXPECT_TRUE(FileExists(mon32));
    EXPECT_TRUE(FileExists(namesake));
    EXPECT_EQ(starts, SpoolerStarts());
  }
  {
    // A 64-bit component in capital letters, still locked after two spooler restarts.
    FileHold hold(mon64);
    ASSERT_TRUE(WritePendingRenames({L"\\??\\" + mon64, L""}));
    int starts = SpoolerStarts();
    EXPECT_EQ(200u, RunInstallProcess(L"onInit"));
    EXPECT_TRUE(FileExists(mon64));
    EXPECT_EQ(starts + 2, SpoolerStarts());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerServiceState());
  }
  // A value without any terminator, holding a rename: read up to its end, the rename untouched.
  std::wstring units = L"\\??\\" + mon64 + L'\0' + L'\0' + L"\\??\\" + renamed + L'\0' + L"\\??\\" + ScratchFile(L"target.dll");
  ASSERT_TRUE(WritePendingRenamesBytes(units, true));
  std::string before = ReadPendingRenamesBytes();
  EXPECT_EQ(102u, RunInstallProcess(L"onInit"));
  EXPECT_FALSE(FileExists(mon64));
  EXPECT_TRUE(FileExists(renamed));
  EXPECT_EQ(before, ReadPendingRenamesBytes());
  DeleteFileW(mon32.c_str());
}
