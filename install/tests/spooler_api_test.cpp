// Component selection and the enumerations against the machine's spooler (the test bed's stand-in
// once its winspool.drv is built: then also a machine without monitors and a stopped spooler).
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

#include <winspool.h>

#include "install/spooler/component_files.h"
#include "install/spooler/enumerations.h"
#include "install/spooler/spooler_service.h"

namespace {

class SpoolerApi : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning)); }
  void TearDown() override { ResetSpooler(SpoolerLeftRunning); }
};

}  // namespace

TEST_F(SpoolerApi, SixtyFourAndThirtyTwoBitSetsWithTheSpoolersDriverDirectory) {
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
    std::wstring withSeparator = std::wstring(reported) + (reported[lstrlenW(reported) - 1] == L'\\' ? L"" : L"\\");
    EXPECT_EQ(withSeparator, Text(ctx.c.DriverDirectory));
    EXPECT_EQ(std::wstring(L"PrinterDriverDirectory(1):") + reported + L"\r\nPrinterDriverDirectory(2):" + withSeparator + L"\r\n",
              ctx.Log());
    EXPECT_EQ(0, ctx.c.ErrorCount);
  }
}

TEST_F(SpoolerApi, ListsTheSpoolersMonitorsAtLevelTwo) {
  TestContext ctx;
  EnumerationResult result = EnumerateMonitors(ctx.c);
  EXPECT_EQ(2u, result.Level);
  ASSERT_NE(nullptr, result.Entries) << ctx.Log().c_str();
  ASSERT_GT(result.Count, 0u);
  const MONITOR_INFO_2W* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(result.Entries);
  bool localPort = false;
  for (DWORD i = 0; i < result.Count; ++i) localPort = localPort || (monitors[i].pName && std::wstring(monitors[i].pName) == L"Local Port");
  EXPECT_TRUE(localPort);
  // A successful enumeration writes no line of its own.
  EXPECT_EQ(L"", ctx.Log());
  EXPECT_EQ(-1, FindPortMonitor(result));
  EXPECT_EQ(nullptr, GlobalFree(result.Entries));
}

// The set-up's order on a machine whose spooler was stopped: the driver directory is there at once.
TEST_F(SpoolerApi, AStartedSpoolerAnswersRightAfterTheCheck) {
  ASSERT_TRUE(ResetSpooler(SpoolerLeftStopped));
  TestContext ctx;
  EXPECT_TRUE(CheckSpooler(ctx.c));
  SelectComponents(ctx.c, 1);
  std::vector<std::wstring> lines = ctx.Lines();
  ASSERT_EQ(3u, lines.size()) << ctx.Log().c_str();
  EXPECT_EQ(L">Check Spooler", lines[0]);
  EXPECT_EQ(0u, lines[1].find(L"PrinterDriverDirectory(1):"));
  EXPECT_EQ(0u, lines[2].find(L"PrinterDriverDirectory(2):"));
  EXPECT_EQ(0, ctx.c.ErrorCount);
}

#ifdef QUILL_SPOOLER_STANDIN_WINSPOOL

TEST_F(SpoolerApi, NoMonitorsAtAllIsAnEmptyResultAndAnEmptyListing) {
  ASSERT_TRUE(EmptySpooler(SpoolerLeftRunning));
  TestContext ctx;
  EnumerationResult result = EnumerateMonitors(ctx.c);
  EXPECT_EQ(nullptr, result.Entries);
  EXPECT_EQ(0u, result.Count);
  EXPECT_EQ(-1, FindPortMonitor(result));
  ListMonitors(ctx.c, result);
  EXPECT_EQ(L"1. EnumMonitors returns true\r\n------- 0 existing monitors ----------\r\n---------------------------------------\r\n",
            ctx.Log());
}

TEST_F(SpoolerApi, APlainMachineListsItsOneMonitor) {
  TestContext ctx;
  EnumerationResult result = EnumerateMonitors(ctx.c);
  ASSERT_NE(nullptr, result.Entries) << ctx.Log().c_str();
  EXPECT_EQ(2u, result.Level);
  EXPECT_EQ(-1, FindPortMonitor(result));
  ListMonitors(ctx.c, result);
  EXPECT_EQ(L"------- 1 existing monitors ----------\r\n1. Local Port\r\n---------------------------------------\r\n", ctx.Log());
  GlobalFree(result.Entries);
  EnumerationResult drivers = EnumerateDrivers(L"Windows x64");
  EXPECT_EQ(nullptr, drivers.Entries);
  EXPECT_EQ(0u, drivers.Count);
}

TEST_F(SpoolerApi, AStoppedSpoolerGivesError6AndFailedEnumerations) {
  ASSERT_TRUE(ResetSpooler(SpoolerLeftStopped));
  const std::wstring unavailable = SystemText(RPC_S_SERVER_UNAVAILABLE);
  TestContext ctx;
  SelectComponents(ctx.c, 1);
  EXPECT_EQ(L"Error(6): Can`t retrieve printer driver directory. - (" + unavailable + L")\r\n", ctx.Log());
  EXPECT_EQ(1, ctx.c.ErrorCount);
  EXPECT_EQ(nullptr, ctx.c.DriverDirectory.Block);
  EXPECT_STREQ(L"vtxhelp.chm", ctx.c.HelpFile);
  EXPECT_STREQ(L"Windows x64", ctx.c.Environment);

  TestContext enumeration;
  EnumerationResult monitors = EnumerateMonitors(enumeration.c);
  EXPECT_EQ(nullptr, monitors.Entries);
  EXPECT_EQ(0u, monitors.Count);
  EXPECT_EQ(L"2. EnumMonitors  failed with code: " + unavailable + L"\r\n", enumeration.Log());
  EXPECT_EQ(0, enumeration.c.ErrorCount);
  EnumerationResult drivers = EnumerateDrivers(L"Windows x64");
  EXPECT_EQ(nullptr, drivers.Entries);
  EXPECT_EQ(0u, drivers.Count);
}
#endif
