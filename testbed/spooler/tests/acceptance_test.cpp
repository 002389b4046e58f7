// The whole road of the installer's spooler calls in one run, as the installer makes them:
// monitor, driver, printer with a null data type, purge and delete, driver removal refused while
// its files are loaded and accepted after a restart, 1722 while the service is stopped, and the
// monitor DLL locked exactly while the service runs.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

namespace {

TEST(Acceptance, InstallerRoadThroughTheStandIn) {
  ASSERT_TRUE(ResetSpooler()) << GetLastError();
  std::wstring dll = SystemFile(TEST_MONITOR_DLL);
  ASSERT_TRUE(AddTestMonitor()) << GetLastError();
  EXPECT_TRUE(FileIsLocked(dll));
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
  HANDLE added = AddTestPrinter(L"Quillstack", TEST_PORT, TEST_DRIVER);
  ASSERT_NE(nullptr, added) << GetLastError();
  ClosePrinter(added);

  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, DELETE | PRINTER_ACCESS_ADMINISTER};
  HANDLE printer = nullptr;
  wchar_t name[] = L"Quillstack";
  ASSERT_TRUE(OpenPrinterW(name, &printer, &defaults)) << GetLastError();
  EXPECT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE)) << GetLastError();
  EXPECT_TRUE(DeletePrinter(printer)) << GetLastError();
  ClosePrinter(printer);

  wchar_t environment[] = L"Windows x64", driver[] = TEST_DRIVER;
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, environment, driver, DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_DRIVER_IN_USE), GetLastError());

  ASSERT_TRUE(StopSpoolerService());
  EXPECT_FALSE(FileIsLocked(dll));
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, environment, driver, DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  ASSERT_TRUE(StartSpoolerService());
  EXPECT_TRUE(FileIsLocked(dll));

  EXPECT_TRUE(DeletePrinterDriverExW(nullptr, environment, driver, DPD_DELETE_ALL_FILES, 0)) << GetLastError();
  wchar_t folder[MAX_PATH];
  ASSERT_TRUE(GetDriverVersionFolder(L"Windows x64", folder, MAX_PATH));
  EXPECT_FALSE(FileExists(std::wstring(folder) + L"qtdrv.dll"));
  wchar_t monitor[] = TEST_MONITOR_NAME;
  EXPECT_TRUE(DeleteMonitorW(nullptr, environment, monitor)) << GetLastError();
  EXPECT_FALSE(FileIsLocked(dll));
  EXPECT_TRUE(DeleteFileW(dll.c_str())) << GetLastError();
  ResetSpooler(SpoolerLeftStopped);
}

}  // namespace
