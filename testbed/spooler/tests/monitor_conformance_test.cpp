// EnumMonitorsW, AddMonitorW, DeleteMonitorW and EnumPortsW with their error paths. Built twice:
// against the stand-in, and (QUILL_AGAINST_WINE) against Wine's own winspool, where Wine is right.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

namespace {

// Where Wine's spooler answers otherwise than the stand-in (and Windows); listed in README.md.
#ifdef QUILL_AGAINST_WINE
#define STAND_IN_OR_WINE(standIn, wine) (wine)
#else
#define STAND_IN_OR_WINE(standIn, wine) (standIn)
#endif

class Monitors : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetSpooler()) << GetLastError();
    ASSERT_TRUE(InstallSystemFile(TEST_NOT_MONITOR_DLL)) << GetLastError();
  }
  void TearDown() override { ResetSpooler(SpoolerLeftStopped); }
};

std::vector<BYTE> EnumerateMonitors(DWORD level, DWORD& count) {
  DWORD needed = 0;
  count = 99;
  std::vector<BYTE> buffer;
  if (EnumMonitorsW(nullptr, level, nullptr, 0, &needed, &count)) {
    count = 0;
    return buffer;
  }
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  // Wine reports the number of records in the failing size query.
  if (STAND_IN_OR_WINE(true, false)) {
    EXPECT_EQ(0u, count);
  }
  // One byte short still fails and reports the same size.
  buffer.assign(needed, 0);
  DWORD again = 0;
  EXPECT_FALSE(EnumMonitorsW(nullptr, level, buffer.data(), needed - 1, &again, &count));
  EXPECT_EQ(needed, again);
  EXPECT_TRUE(EnumMonitorsW(nullptr, level, buffer.data(), needed, &again, &count)) << GetLastError();
  return buffer;
}

bool HasMonitor(const std::wstring& name) {
  DWORD count = 0;
  std::vector<BYTE> buffer = EnumerateMonitors(1, count);
  const MONITOR_INFO_1W* records = reinterpret_cast<const MONITOR_INFO_1W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (name == records[i].pName) return true;
  return false;
}

TEST_F(Monitors, PlainMachineListsLocalPortWithTheTwoCallProtocol) {
  DWORD count = 0;
  std::vector<BYTE> buffer = EnumerateMonitors(2, count);
  ASSERT_GE(count, 1u);
  const MONITOR_INFO_2W* records = reinterpret_cast<const MONITOR_INFO_2W*>(buffer.data());
  bool found = false;
  for (DWORD i = 0; i < count; ++i) {
    // Strings lie inside the block, behind the records.
    for (LPWSTR text : {records[i].pName, records[i].pEnvironment, records[i].pDLLName}) {
      ASSERT_NE(nullptr, text);
      EXPECT_GE(reinterpret_cast<BYTE*>(text), buffer.data() + count * sizeof(MONITOR_INFO_2W));
      EXPECT_LT(reinterpret_cast<BYTE*>(text), buffer.data() + buffer.size());
    }
    if (std::wstring(records[i].pName) == L"Local Port") found = true;
  }
  EXPECT_TRUE(found);
  EXPECT_FALSE(EnumMonitorsW(nullptr, 3, nullptr, 0, nullptr, nullptr));
}

TEST_F(Monitors, AddMonitorRefusesWhatWindowsRefuses) {
  wchar_t name[] = TEST_MONITOR_NAME, environment[] = L"Windows x64", missing[] = L"quill-no-such.dll",
          notMonitor[] = TEST_NOT_MONITOR_DLL, wrongEnvironment[] = L"Windows 4.0";
  MONITOR_INFO_2W info = {name, environment, missing};
  EXPECT_FALSE(AddMonitorW(nullptr, 1, reinterpret_cast<BYTE*>(&info)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  info.pDLLName = notMonitor;
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  info.pEnvironment = wrongEnvironment;
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
  // Wine loads the DLL before it looks at the environment.
  EXPECT_EQ(static_cast<DWORD>(STAND_IN_OR_WINE(ERROR_INVALID_ENVIRONMENT, ERROR_PROC_NOT_FOUND)), GetLastError());
  EXPECT_FALSE(HasMonitor(TEST_MONITOR_NAME));
}

TEST_F(Monitors, AddedMonitorIsListedOnceAndDeletedOnce) {
  ASSERT_TRUE(AddTestMonitor()) << GetLastError();
  EXPECT_TRUE(HasMonitor(TEST_MONITOR_NAME));
  EXPECT_FALSE(AddTestMonitor());
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED), GetLastError());
  wchar_t name[] = TEST_MONITOR_NAME, environment[] = L"Windows x64";
  EXPECT_TRUE(DeleteMonitorW(nullptr, environment, name)) << GetLastError();
  EXPECT_FALSE(HasMonitor(TEST_MONITOR_NAME));
  EXPECT_FALSE(DeleteMonitorW(nullptr, environment, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINT_MONITOR), GetLastError());
}

#ifndef QUILL_AGAINST_WINE

TEST_F(Monitors, EmptiedSpoolerHasNoMonitorAndSucceedsAtOnce) {
  ASSERT_TRUE(EmptySpooler());
  DWORD needed = 7, count = 7;
  EXPECT_TRUE(EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(0u, needed);
  EXPECT_EQ(0u, count);
}

TEST_F(Monitors, LoadedMonitorDllIsLockedExactlyWhileTheServiceRuns) {
  ASSERT_TRUE(AddTestMonitor()) << GetLastError();
  std::wstring dll = SystemFile(TEST_MONITOR_DLL);
  EXPECT_TRUE(FileIsLocked(dll));
  ASSERT_TRUE(StopSpoolerService());
  EXPECT_FALSE(FileIsLocked(dll));
  ASSERT_TRUE(StartSpoolerService());
  // Loaded again at start, because it is registered.
  EXPECT_TRUE(FileIsLocked(dll));
  // Loaded twice in all, each time with its own registry key in MONITORINIT.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                         L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" TEST_MONITOR_NAME, 0,
                                         KEY_READ, &key));
  DWORD loads = 0, size = sizeof(loads);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"Loads", nullptr, nullptr, reinterpret_cast<BYTE*>(&loads), &size));
  EXPECT_EQ(2u, loads);
  RegCloseKey(key);
  wchar_t name[] = TEST_MONITOR_NAME;
  ASSERT_TRUE(DeleteMonitorW(nullptr, nullptr, name)) << GetLastError();
  EXPECT_FALSE(FileIsLocked(dll));
}

TEST_F(Monitors, DeleteMonitorIsRefusedWhileAPrinterUsesItsPort) {
  ASSERT_TRUE(AddTestMonitor()) << GetLastError();
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt"));
  HANDLE printer = AddTestPrinter(L"Monitor user", TEST_PORT, TEST_DRIVER);
  ASSERT_NE(nullptr, printer) << GetLastError();
  wchar_t name[] = TEST_MONITOR_NAME;
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_MONITOR_IN_USE), GetLastError());
  // Moving the printer to another port frees the monitor.
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
  PRINTER_INFO_2W* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
  wchar_t file[] = L"file:";
  info->pPortName = file;
  ASSERT_TRUE(SetPrinterW(printer, 2, buffer.data(), 0)) << GetLastError();
  EXPECT_TRUE(DeleteMonitorW(nullptr, nullptr, name)) << GetLastError();
  ClosePrinter(printer);
}

TEST_F(Monitors, FaultsFailTheNextCallsWithTheChosenErrors) {
  ASSERT_TRUE(SetSpoolerFault(FaultAddMonitorW, 2));
  EXPECT_FALSE(AddTestMonitor());
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_FALSE(AddTestMonitor());
  EXPECT_TRUE(AddTestMonitor()) << GetLastError();
  ASSERT_TRUE(SetSpoolerFault(FaultDeleteMonitorW, 1, ERROR_ACCESS_DENIED));
  wchar_t name[] = TEST_MONITOR_NAME;
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, name));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(DeleteMonitorW(nullptr, nullptr, name)) << GetLastError();
}

TEST_F(Monitors, PortsOfEveryMonitorAreListed) {
  ASSERT_TRUE(AddTestMonitor()) << GetLastError();
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count));
  const PORT_INFO_2W* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  bool test = false, file = false;
  for (DWORD i = 0; i < count; ++i) {
    if (std::wstring(ports[i].pPortName) == TEST_PORT && std::wstring(ports[i].pMonitorName) == TEST_MONITOR_NAME)
      test = true;
    if (std::wstring(ports[i].pPortName) == L"FILE:") file = true;
  }
  EXPECT_TRUE(test);
  EXPECT_TRUE(file);
}

TEST_F(Monitors, StoppedServiceAnswersEveryCallWithServerUnavailable) {
  ASSERT_TRUE(StopSpoolerService());
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  EXPECT_FALSE(AddTestMonitor());
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  wchar_t name[] = TEST_MONITOR_NAME;
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, name));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  EXPECT_FALSE(EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
}

#endif

}  // namespace
