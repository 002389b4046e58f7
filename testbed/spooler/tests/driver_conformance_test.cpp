// Printer drivers in the stand-in: AddPrinterDriverExW, EnumPrinterDriversW (levels 1 to 6),
// GetPrinterDriverW, DeletePrinterDriverExW and the driver cache.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

namespace {

class Drivers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetSpooler()) << GetLastError(); }
  void TearDown() override { ResetSpooler(SpoolerLeftStopped); }
  std::wstring Installed(const wchar_t* file) {
    wchar_t folder[MAX_PATH];
    GetDriverVersionFolder(L"Windows x64", folder, MAX_PATH);
    return std::wstring(folder) + file;
  }
  BOOL DeleteDriver(DWORD flags = DPD_DELETE_ALL_FILES) {
    wchar_t environment[] = L"Windows x64", name[] = TEST_DRIVER;
    return DeletePrinterDriverExW(nullptr, environment, name, flags, 0);
  }
};

TEST_F(Drivers, AddCopiesTheFilesAndEveryLevelListsTheDriver) {
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
  EXPECT_EQ("driver qt", ReadWholeFile(Installed(L"qtdrv.dll")));
  EXPECT_TRUE(FileExists(Installed(L"qtui.dll")));
  EXPECT_TRUE(FileExists(Installed(L"qthelp.chm")));
  wchar_t environment[] = L"Windows x64";
  const DWORD sizes[] = {0, sizeof(DRIVER_INFO_1W), sizeof(DRIVER_INFO_2W), sizeof(DRIVER_INFO_3W),
                         sizeof(DRIVER_INFO_4W), sizeof(DRIVER_INFO_5W), sizeof(DRIVER_INFO_6W)};
  for (DWORD level = 1; level <= 6; ++level) {
    DWORD needed = 0, count = 5;
    EXPECT_FALSE(EnumPrinterDriversW(nullptr, environment, level, nullptr, 0, &needed, &count)) << level;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError()) << level;
    EXPECT_GT(needed, sizes[level]);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumPrinterDriversW(nullptr, environment, level, buffer.data(), needed, &needed, &count)) << level;
    ASSERT_EQ(1u, count);
    // The name is the first field of level 1 and follows cVersion in the others.
    LPWSTR name = level == 1 ? reinterpret_cast<DRIVER_INFO_1W*>(buffer.data())->pName
                             : reinterpret_cast<DRIVER_INFO_2W*>(buffer.data())->pName;
    EXPECT_STREQ(TEST_DRIVER, name) << level;
  }
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, environment, 6, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(EnumPrinterDriversW(nullptr, environment, 6, buffer.data(), needed, &needed, &count));
  const DRIVER_INFO_6W* info = reinterpret_cast<const DRIVER_INFO_6W*>(buffer.data());
  EXPECT_EQ(3u, info->cVersion);
  EXPECT_STREQ(L"Windows x64", info->pEnvironment);
  EXPECT_EQ(0, _wcsicmp(Installed(L"qtdrv.dll").c_str(), info->pDriverPath)) << info->pDriverPath;
  EXPECT_EQ(0, _wcsicmp(Installed(L"qtui.dll").c_str(), info->pConfigFile));
  EXPECT_STREQ(L"Corvell", info->pszMfgName);
  EXPECT_EQ(nullptr, info->pDependentFiles);
  wchar_t x86[] = L"Windows NT x86";
  EXPECT_TRUE(EnumPrinterDriversW(nullptr, x86, 6, nullptr, 0, &needed, &count));
  EXPECT_EQ(0u, count);
  wchar_t unknown[] = L"Windows IA64";
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, unknown, 6, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, environment, 7, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
}

TEST_F(Drivers, AddRefusesMissingFilesAndBadRecords) {
  DRIVER_INFO_6W info = {};
  info.cVersion = 3;
  wchar_t name[] = TEST_DRIVER, missing[] = L"C:\\nowhere\\missing.dll", environment[] = L"Windows x64";
  info.pName = name;
  info.pEnvironment = environment;
  info.pDriverPath = info.pDataFile = info.pConfigFile = missing;
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  info.pConfigFile = nullptr;
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 5, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  ASSERT_TRUE(SetSpoolerFault(FaultAddPrinterDriverExW, 1));
  EXPECT_FALSE(AddTestDriver(TEST_DRIVER, L"qt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
}

TEST_F(Drivers, DeleteAllFilesWaitsForPrintersAndTheDriverCache) {
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
  // Never used by a printer: nothing holds it.
  EXPECT_TRUE(DeleteDriver()) << GetLastError();
  wchar_t environment[] = L"Windows x64", other[] = L"No such driver";
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, environment, other, DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER), GetLastError());
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt"));
  HANDLE printer = AddTestPrinter(L"Driver user", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, printer) << GetLastError();
  // The printer's creation loaded the driver's files: they are in use.
  EXPECT_TRUE(FileIsLocked(Installed(L"qtdrv.dll")));
  EXPECT_TRUE(FileIsLocked(Installed(L"qtui.dll")));
  EXPECT_FALSE(FileIsLocked(Installed(L"qthelp.chm")));
  EXPECT_FALSE(DeleteDriver());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE), GetLastError());
  ASSERT_TRUE(DeletePrinter(printer)) << GetLastError();
  ClosePrinter(printer);
  // No printer uses it, but the files are still loaded.
  EXPECT_FALSE(DeleteDriver());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE), GetLastError());
  ASSERT_TRUE(StopSpoolerService());
  EXPECT_FALSE(FileIsLocked(Installed(L"qtdrv.dll")));
  ASSERT_TRUE(StartSpoolerService());
  EXPECT_TRUE(DeleteDriver()) << GetLastError();
  EXPECT_FALSE(FileExists(Installed(L"qtdrv.dll")));
  EXPECT_FALSE(FileExists(Installed(L"qtui.dll")));
  EXPECT_FALSE(FileExists(Installed(L"qthelp.chm")));
}

TEST_F(Drivers, WithoutTheCacheTheDriverGoesAsSoonAsNoPrinterUsesIt) {
  ASSERT_TRUE(SetDriverCache(false));
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
  HANDLE printer = AddTestPrinter(L"Driver user", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, printer) << GetLastError();
  EXPECT_FALSE(FileIsLocked(Installed(L"qtdrv.dll")));
  ASSERT_TRUE(DeletePrinter(printer));
  ClosePrinter(printer);
  ASSERT_TRUE(SetSpoolerFault(FaultDeletePrinterDriverExW, 1));
  EXPECT_FALSE(DeleteDriver());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE), GetLastError());
  EXPECT_TRUE(DeleteDriver()) << GetLastError();
  EXPECT_FALSE(FileExists(Installed(L"qtdrv.dll")));
}

TEST_F(Drivers, DeleteAllFilesIsRefusedForFilesAnotherDriverNames) {
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
  ASSERT_TRUE(AddTestDriver(L"Quill Twin Driver", L"qt")) << GetLastError();
  EXPECT_FALSE(DeleteDriver());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE), GetLastError());
  // Unused files only: the shared ones stay for the twin.
  EXPECT_TRUE(DeleteDriver(DPD_DELETE_UNUSED_FILES)) << GetLastError();
  EXPECT_TRUE(FileExists(Installed(L"qtdrv.dll")));
}

TEST_F(Drivers, GetPrinterDriverReadsThePrintersDriver) {
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
  HANDLE printer = AddTestPrinter(L"Driver user", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, printer) << GetLastError();
  DWORD needed = 0;
  wchar_t environment[] = L"Windows x64";
  EXPECT_FALSE(GetPrinterDriverW(printer, environment, 2, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterDriverW(printer, nullptr, 2, buffer.data(), needed, &needed)) << GetLastError();
  const DRIVER_INFO_2W* info = reinterpret_cast<const DRIVER_INFO_2W*>(buffer.data());
  EXPECT_STREQ(TEST_DRIVER, info->pName);
  EXPECT_EQ(0, _wcsicmp(Installed(L"qtdrv.dll").c_str(), info->pDriverPath));
  EXPECT_EQ(0, _wcsicmp(Installed(L"qtdrv.dll").c_str(), info->pDataFile));
  wchar_t x86[] = L"Windows NT x86";
  EXPECT_FALSE(GetPrinterDriverW(printer, x86, 2, buffer.data(), needed, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER), GetLastError());
  ClosePrinter(printer);
}

}  // namespace
