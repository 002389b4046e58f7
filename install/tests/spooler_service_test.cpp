// The spooler service through the real Service Control Manager. These tests stop and start the
// machine's "Spooler" service and leave it in the state they found it in.
#include <gtest/gtest.h>

#include "install/spooler/spooler_service.h"
#include "spooler_test_support.h"

namespace {

struct ServiceHandles {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceW(manager, L"spooler", SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP) : nullptr;
  ~ServiceHandles() {
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
  }
};

DWORD SpoolerState() {
  ServiceHandles h;
  SERVICE_STATUS status = {};
  if (h.service == nullptr || !QueryServiceStatus(h.service, &status)) return 0;
  return status.dwCurrentState;
}

// Brings the service to `state` on the test's own terms, with a generous bound.
bool DriveSpoolerTo(DWORD state) {
  ServiceHandles h;
  if (h.service == nullptr) return false;
  SERVICE_STATUS status = {};
  if (state == SERVICE_RUNNING) StartServiceW(h.service, 0, nullptr);
  else ControlService(h.service, SERVICE_CONTROL_STOP, &status);
  for (int i = 0; i < 150; ++i) {
    if (QueryServiceStatus(h.service, &status) && status.dwCurrentState == state) return true;
    Sleep(100);
  }
  return false;
}

class SpoolerService : public ::testing::Test {
 protected:
  static DWORD initialState;
  static void SetUpTestSuite() { initialState = SpoolerState(); }
  static void TearDownTestSuite() {
    if (initialState == SERVICE_RUNNING || initialState == SERVICE_STOPPED) DriveSpoolerTo(initialState);
  }
  void SetUp() override {
    ServiceHandles h;
    if (h.service == nullptr) GTEST_SKIP() << "no spooler service here";
  }
};
DWORD SpoolerService::initialState = 0;

}  // namespace

TEST_F(SpoolerService, CheckStartsAStoppedSpoolerWithoutAnErrorLine) {
  ASSERT_TRUE(DriveSpoolerTo(SERVICE_STOPPED));
  TestContext ctx;
  EXPECT_TRUE(CheckSpooler(ctx.c));
  EXPECT_EQ(SERVICE_RUNNING, SpoolerState());
  EXPECT_EQ(L">Check Spooler\r\n", ctx.Log());
  EXPECT_EQ(0, ctx.c.ErrorCount);
  EXPECT_EQ(0, ctx.c.LogDepth);
}

TEST_F(SpoolerService, CheckOfARunningSpoolerOnlyLogsItsName) {
  ASSERT_TRUE(DriveSpoolerTo(SERVICE_RUNNING));
  TestContext ctx;
  ctx.c.LogDepth = 2;
  DWORD start = GetTickCount();
  EXPECT_TRUE(CheckSpooler(ctx.c));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_EQ(L"    >Check Spooler\r\n", ctx.Log());
  EXPECT_EQ(2, ctx.c.LogDepth);
  EXPECT_EQ(SERVICE_RUNNING, SpoolerState());
}

TEST_F(SpoolerService, RestartScopeStopsForItsBodyAndStartsAtItsEnd) {
  ASSERT_TRUE(DriveSpoolerTo(SERVICE_RUNNING));
  TestContext ctx;
  {
    SpoolerRestart restart(&ctx.c);
    EXPECT_EQ(SERVICE_STOPPED, SpoolerState());
    EXPECT_EQ(1, restart.Stopped);
  }
  EXPECT_EQ(SERVICE_RUNNING, SpoolerState());
  EXPECT_EQ(L">Restart Spooler\r\n", ctx.Log());
  EXPECT_EQ(0, ctx.c.ErrorCount);
  EXPECT_EQ(0, ctx.c.LogDepth);
}

TEST_F(SpoolerService, RestartOfAStoppedSpoolerIsNoErrorAndStartsIt) {
  ASSERT_TRUE(DriveSpoolerTo(SERVICE_STOPPED));
  TestContext ctx;
  {
    DWORD start = GetTickCount();
    SpoolerRestart restart(&ctx.c);
    // The stop is refused with ERROR_SERVICE_NOT_ACTIVE and the first query reads stopped: no pause.
    EXPECT_LT(GetTickCount() - start, static_cast<DWORD>(SpoolerStatePauseMs));
    EXPECT_EQ(1, restart.Stopped);
  }
  EXPECT_EQ(SERVICE_RUNNING, SpoolerState());
  EXPECT_EQ(L">Restart Spooler\r\n", ctx.Log());
  EXPECT_EQ(0, ctx.c.ErrorCount);
}

TEST_F(SpoolerService, RestartWithoutAContextStillRestarts) {
  ASSERT_TRUE(DriveSpoolerTo(SERVICE_RUNNING));
  {
    SpoolerRestart restart(nullptr);
    EXPECT_EQ(SERVICE_STOPPED, SpoolerState());
  }
  EXPECT_EQ(SERVICE_RUNNING, SpoolerState());
}
