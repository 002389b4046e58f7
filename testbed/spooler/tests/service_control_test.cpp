// The "Spooler" service of the test bed through the real Service Control Manager, its fault
// switches and the reset of the control library.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../common/spooler_pipe.h"
#include "../common/testbed_spooler_keys.h"
#include "spooler_testbed.h"

namespace {

// Sends a ping the way the stand-in's winspool.drv does; the Windows error of the attempt.
DWORD PingService() {
  HANDLE pipe = CreateFileW(SPOOLER_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
  SpoolerRequest request = {};
  request.Command = SpoolerPing;
  static SpoolerReply reply;
  DWORD done = 0;
  DWORD result = 0;
  if (!WriteFile(pipe, &request, sizeof(request), &done, nullptr) ||
      !ReadFile(pipe, &reply, sizeof(reply), &done, nullptr))
    result = GetLastError();
  else if (done != sizeof(reply))
    result = ERROR_INVALID_DATA;
  else
    result = reply.Error;
  CloseHandle(pipe);
  return result;
}

std::vector<std::wstring> SubKeys(const wchar_t* path) {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD chars = 256;
    if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  return names;
}

class SpoolerService : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetSpooler()) << GetLastError(); }
  void TearDown() override { ResetSpooler(SpoolerLeftStopped); }
};

TEST_F(SpoolerService, StopsAndStartsThroughTheServiceManagerAndServesOnlyWhileRunning) {
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerServiceState());
  EXPECT_EQ(0u, PingService());
  ASSERT_TRUE(StopSpoolerService());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerServiceState());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), PingService());
  // A second stop request on a stopped service is refused as on Windows.
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, L"spooler", SERVICE_STOP | SERVICE_QUERY_STATUS);
  ASSERT_NE(nullptr, service);
  SERVICE_STATUS status = {};
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  ASSERT_TRUE(StartSpoolerService());
  EXPECT_EQ(0u, PingService());
}

TEST_F(SpoolerService, IgnoresExactlyTheNextStopRequest) {
  ASSERT_TRUE(SetSpoolerFault(FaultIgnoreStopRequest, 2));
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, L"spooler", SERVICE_STOP | SERVICE_QUERY_STATUS);
  ASSERT_NE(nullptr, service);
  SERVICE_STATUS status = {};
  EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  Sleep(1000);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerServiceState());
  EXPECT_EQ(0u, PingService());
  // One request taken, one still to come.
  EXPECT_EQ(1u, SpoolerFaultCount(FaultIgnoreStopRequest));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  // The test bed still stops it (Wine would kill it on a second ControlService).
  ASSERT_TRUE(SetSpoolerFault(FaultIgnoreStopRequest, 0));
  EXPECT_TRUE(StopSpoolerService()) << GetLastError();
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerServiceState());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), PingService());
  EXPECT_TRUE(StartSpoolerService()) << GetLastError();
}

TEST_F(SpoolerService, FailsExactlyTheNextStart) {
  ASSERT_TRUE(StopSpoolerService());
  ASSERT_TRUE(SetSpoolerFault(FaultFailStart, 1));
  EXPECT_FALSE(StartSpoolerService(3000));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerServiceState());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), PingService());
  EXPECT_EQ(0u, SpoolerFaultCount(FaultFailStart));
  EXPECT_TRUE(StartSpoolerService()) << GetLastError();
  EXPECT_EQ(0u, PingService());
}

TEST_F(SpoolerService, ResetLeavesLocalPortAloneAndEmptyLeavesNoMonitor) {
  ASSERT_TRUE(SetSpoolerFault(FaultAddPrinterW, 3, ERROR_ACCESS_DENIED));
  EXPECT_EQ(3u, SpoolerFaultCount(FaultAddPrinterW));
  ASSERT_TRUE(ResetSpooler(SpoolerLeftStopped));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), SpoolerServiceState());
  EXPECT_EQ(0u, SpoolerFaultCount(FaultAddPrinterW));
  EXPECT_EQ(std::vector<std::wstring>{L"Local Port"}, SubKeys(TESTBED_MONITORS_KEY));
  EXPECT_TRUE(SubKeys(TESTBED_PRINTERS_KEY).empty());
  ASSERT_TRUE(EmptySpooler());
  EXPECT_TRUE(SubKeys(TESTBED_MONITORS_KEY).empty());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), SpoolerServiceState());
}

TEST(SpoolerFolders, DriverVersionFolderFollowsTheEnvironment) {
  wchar_t folder[MAX_PATH];
  ASSERT_TRUE(GetDriverVersionFolder(L"Windows x64", folder, MAX_PATH));
  EXPECT_STREQ(L"C:\\windows\\system32\\spool\\drivers\\x64\\3\\", folder);
  ASSERT_TRUE(GetDriverVersionFolder(L"Windows NT x86", folder, MAX_PATH));
  EXPECT_STREQ(L"C:\\windows\\system32\\spool\\drivers\\W32X86\\3\\", folder);
  EXPECT_FALSE(GetDriverVersionFolder(L"Windows 4.0", folder, MAX_PATH));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  EXPECT_FALSE(GetDriverVersionFolder(L"Windows x64", folder, 10));
}

}  // namespace
