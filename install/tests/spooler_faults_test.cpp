// The spooler service when it misbehaves, through the test bed's spooler stand-in: a service that
// ignores a stop request, refuses the next one, or fails to start. Every test resets the stand-in
// and leaves it running without faults.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

#include "install/spooler/spooler_service.h"

namespace {

class SpoolerFaults : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning)); }
  void TearDown() override {
    SetSpoolerFault(FaultIgnoreStopRequest, 0);
    SetSpoolerFault(FaultFailStart, 0);
    ResetSpooler(SpoolerLeftRunning);
  }
};

}  // namespace

TEST_F(SpoolerFaults, ASpoolerThatKeepsRunningGivesError3AfterTheWaitAndNoError4) {
  ASSERT_TRUE(SetSpoolerFault(FaultIgnoreStopRequest, 1));
  TestContext ctx;
  DWORD start = GetTickCount();
  {
    SpoolerRestart restart(&ctx.c);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 9500u);
    EXPECT_LT(waited, 15000u);
    EXPECT_EQ(SERVICE_RUNNING, SpoolerServiceState());
  }
  // The start at the end meets a running service: the first query already reads it.
  EXPECT_LT(GetTickCount() - start, 16000u);
  std::vector<std::wstring> lines = ctx.Lines();
  ASSERT_EQ(2u, lines.size()) << ctx.Log().c_str();
  EXPECT_EQ(L">Restart Spooler", lines[0]);
  EXPECT_EQ(0u, lines[1].find(L"Error(3): Can't stop the spooler"));
  EXPECT_EQ(1, ctx.c.ErrorCount);
  EXPECT_EQ(0u, CountLinesStarting(lines, L"Error(4)"));
}

TEST_F(SpoolerFaults, AStopRefusedWithAnotherCodeIsError5WithThatCode) {
  // After an ignored stop request the service refuses the next one.
  ASSERT_TRUE(SetSpoolerFault(FaultIgnoreStopRequest, 1));
  { SpoolerRestart ignored(nullptr); }
  ASSERT_EQ(SERVICE_RUNNING, SpoolerServiceState());

  TestContext ctx;
  { SpoolerRestart restart(&ctx.c); }
  std::vector<std::wstring> lines = ctx.Lines();
  ASSERT_GE(lines.size(), 2u) << ctx.Log().c_str();
  EXPECT_EQ(L"Error(5): ControlService failed with code 1061 (0x425) - (" + SystemText(ERROR_SERVICE_CANNOT_ACCEPT_CTRL) + L")",
            lines[1]);
  EXPECT_EQ(0u, CountLinesStarting(lines, L"Error(4)"));
  EXPECT_EQ(static_cast<int>(lines.size()) - 1, ctx.c.ErrorCount);
}

TEST_F(SpoolerFaults, ASpoolerThatDoesNotStartIsError4) {
  ASSERT_TRUE(StopSpoolerService());
  ASSERT_TRUE(SetSpoolerFault(FaultFailStart, 1));
  TestContext check;
  DWORD start = GetTickCount();
  EXPECT_FALSE(CheckSpooler(check.c));
  // The whole wait: 50 pauses of 200 ms.
  EXPECT_GE(GetTickCount() - start, 9500u);
  std::vector<std::wstring> lines = check.Lines();
  ASSERT_EQ(2u, lines.size()) << check.Log().c_str();
  EXPECT_EQ(L">Check Spooler", lines[0]);
  EXPECT_EQ(0u, lines[1].find(L"  Error(4): Can't start the spooler"));
  EXPECT_EQ(1, check.c.ErrorCount);
  EXPECT_EQ(0, check.c.LogDepth);

  ASSERT_TRUE(SetSpoolerFault(FaultFailStart, 1));
  TestContext restart;
  { SpoolerRestart scope(&restart.c); }
  lines = restart.Lines();
  ASSERT_EQ(2u, lines.size()) << restart.Log().c_str();
  EXPECT_EQ(0u, lines[1].find(L"Error(4): Can't start the spooler"));
  EXPECT_EQ(SERVICE_STOPPED, SpoolerServiceState());
}
