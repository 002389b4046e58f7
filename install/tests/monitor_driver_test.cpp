// The port monitor and the printer driver on the spooler stand-in: the build decision of a
// reinstall, refused deletions and registrations, the driver's registration record.
#include <gtest/gtest.h>

#include "spooler_objects_support.h"
#include "spooler_test_support.h"
#include "spooler_testbed.h"

#include "install/printers/printer_enumeration.h"
#include "install/spooler/enumerations.h"
#include "install/spooler/port_monitor.h"
#include "install/spooler/printer_driver.h"

namespace {

class MonitorDriverObjects : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning)); }
  void TearDown() override { ResetSpooler(SpoolerLeftRunning); }
};

bool MonitorRegistered() {
  InstallContext scratch = {};
  EnumerationResult monitors = EnumerateMonitors(scratch);
  bool found = FindPortMonitor(monitors) >= 0;
  if (monitors.Entries != nullptr) GlobalFree(monitors.Entries);
  Clear(scratch.Log);
  return found;
}

void RemoveMonitor(RunContext& run) {
  EnumerationResult monitors = EnumerateMonitors(run.c);
  RemovePortMonitor(run.c, monitors);
  if (monitors.Entries != nullptr) GlobalFree(monitors.Entries);
}

// A printer of the product's driver on a port list of our choice.
void AddPrinterOnPorts(const wchar_t* name, const wchar_t* ports) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<wchar_t*>(name);
  info.pPortName = const_cast<wchar_t*>(ports);
  info.pDriverName = const_cast<wchar_t*>(L"Quillstack printer");
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  ASSERT_NE(nullptr, printer) << name << L" " << GetLastError();
  ClosePrinter(printer);
}

std::wstring StagedCopy(const RunContext& run, const wchar_t* name) { return std::wstring(Text(run.c.DriverDirectory)) + name; }

}  // namespace

TEST_F(MonitorDriverObjects, AReinstallKeepsACompatibleMonitorAndReplacesAnyOther) {
  struct Case {
    int build;
    bool registered;
    std::wstring decision;
    const wchar_t* flags;  // null: the monitor is removed
  } cases[] = {
      {2416, true, L"  Version (2416) is compatible, proceed without uninstall", L"  InstallMonitor == 0, CopyMonitor == 1"},
      {2436, true, L"  Version (2436) is compatible, proceed without uninstall", L"  InstallMonitor == 0, CopyMonitor == 1"},
      {2436, false, L"  Version (2436) is compatible, proceed without uninstall", L"  InstallMonitor == 1, CopyMonitor == 0"},
      {2415, true, L"  Version (2415) is not supported, proceed with reinstall", nullptr},
      {2437, true, L"  Version (2437) is not supported, proceed with reinstall", nullptr},
      {0, true, L"  Version is unknown, proceed with reinstall", nullptr},
  };
  std::wstring monitorFile = SystemFile(L"vtxmon64.dll");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.build);
    ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning));
    std::wstring components = StageComponents(k.build);
    if (k.registered) {
      RunContext install(components);
      InstallPortMonitor(install.c);
      ASSERT_TRUE(MonitorRegistered()) << install.Log().c_str();
    } else {
      ASSERT_TRUE(CopyFileW((components + L"vtxmon64.dll").c_str(), monitorFile.c_str(), FALSE));
    }
    RunContext run(components);
    run.c.CheckMonitorVersion = 1;
    RemoveMonitor(run);
    std::vector<std::wstring> lines = run.Lines();
    EXPECT_EQ(L"  Auto calculated monitor file name: " + monitorFile, lines[IndexOf(lines, k.decision) - 1]) << run.Log().c_str();
    if (k.flags != nullptr) {
      EXPECT_EQ(k.flags, lines[IndexOf(lines, k.decision) + 1]);
      EXPECT_EQ(k.registered, MonitorRegistered());
      EXPECT_TRUE(FileExists(monitorFile));
    } else {
      EXPECT_EQ(L"  Monitor was removed :)", lines.back());
      EXPECT_FALSE(MonitorRegistered());
      EXPECT_FALSE(FileExists(monitorFile));
    }
    if (!k.registered) {
      // Registered from the file that is already there.
      InstallPortMonitor(run.c);
      EXPECT_GE(IndexOf(run.Lines(), L"  Skip copy monitor file"), 0);
      EXPECT_TRUE(MonitorRegistered());
    }
  }

  // A plain uninstall never reads the build.
  RunContext run(StageComponents(2436));
  run.c.CheckMonitorVersion = 0;
  RemoveMonitor(run);
  std::vector<std::wstring> lines = run.Lines();
  EXPECT_GE(IndexOf(lines, L"  There is no check for monitor version"), 0);
  EXPECT_EQ(0u, CountLinesStarting(lines, L"  Version"));
  EXPECT_FALSE(MonitorRegistered());

  // No monitors at all: the name is computed, the refusal is harmless, and a monitor file that an
  // install copied before its AddMonitor failed goes.
  ASSERT_TRUE(EmptySpooler(SpoolerLeftRunning));
  std::wstring staged = StageComponents(2436);
  ASSERT_TRUE(CopyFileW((staged + L"vtxmon64.dll").c_str(), monitorFile.c_str(), FALSE));
  RunContext empty(staged);
  RemoveMonitor(empty);
  EXPECT_FALSE(FileExists(monitorFile));
  lines = empty.Lines();
  std::vector<std::wstring> expected = {L">DeleteMonitor",
                                        L"  BTW, there is no port monitors on this system.",
                                        L"  No Quillstack port monitor was found.",
                                        L"  Computing monitor filename",
                                        L"  Auto calculated monitor file name: " + monitorFile,
                                        L"  There is no check for monitor version",
                                        L"  Can't delete monitor and monitor was not found. So everything should be ok"};
  EXPECT_EQ(expected, std::vector<std::wstring>(lines.begin() + (lines.size() - expected.size()), lines.end())) << empty.Log().c_str();
}

TEST_F(MonitorDriverObjects, ARefusedDeletionMovesPrintersToFileAndTheInstallPutsEveryPortBack) {
  struct Case {
    DWORD refusals;
    bool restarted, removed;
  } cases[] = {{1, false, true}, {2, true, true}, {3, true, false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.refusals);
    ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning));
    std::wstring components = StageComponents(2436);
    InstallMonitorAndDriver(components);
    AddPrinterOnPorts(L"Plain", L"Quillstack:");
    AddPrinterOnPorts(L"File First", L"file:,Quillstack:");
    AddPrinterOnPorts(L"Continued", L"Quillstack:,LPT1:");
    AddPrinterOnPorts(L"Elsewhere", L"LPT1:");
    RunContext run(components);
    ASSERT_TRUE(SetSpoolerFault(FaultDeleteMonitorW, k.refusals));
    RemoveMonitor(run);
    std::vector<std::wstring> lines = run.Lines();
    EXPECT_GE(IndexOf(lines, L"  Can't delete monitor from the first try"), 0) << run.Log().c_str();
    for (const wchar_t* name : {L"Plain", L"File First", L"Continued"})
      EXPECT_GE(IndexOf(lines, std::wstring(L"  SetPrinter(") + name + L") - ok"), 0) << name;
    EXPECT_EQ(3u, CountLinesStarting(lines, L"  SetPrinter("));
    EXPECT_EQ(k.restarted, IndexOf(lines, L"  >Restart Spooler") >= 0);
    EXPECT_EQ(L"file:", ReadPrinter(L"Plain").Port);
    EXPECT_EQ(L"file:,file:", ReadPrinter(L"File First").Port);
    EXPECT_EQ(L"file:,LPT1:", ReadPrinter(L"Continued").Port);
    if (!k.removed) {
      EXPECT_EQ(0u, lines.back().find(L"  Error(12): Can`t remove the port monitor 'Quillstack:' - ("));
      EXPECT_EQ(1, run.c.ErrorCount);
      EXPECT_TRUE(MonitorRegistered());
      EXPECT_TRUE(FileExists(SystemFile(L"vtxmon64.dll")));
      continue;
    }
    EXPECT_EQ(L"  Monitor was removed :)", lines.back());
    EXPECT_EQ(0, run.c.ErrorCount);
    InstallPortMonitor(run.c);
    EXPECT_EQ(L"Quillstack:", ReadPrinter(L"Plain").Port) << run.Log().c_str();
    EXPECT_EQ(L"file:,Quillstack:", ReadPrinter(L"File First").Port);
    EXPECT_EQ(L"Quillstack:,LPT1:", ReadPrinter(L"Continued").Port);
    EXPECT_EQ(L"LPT1:", ReadPrinter(L"Elsewhere").Port);
    EXPECT_EQ(0, run.c.ErrorCount) << run.Log().c_str();
  }
}

TEST_F(MonitorDriverObjects, AddMonitorIsTriedFiveTimesAndOnlyThePlainFileNameOfARecordIsDeleted) {
  std::wstring components = StageComponents(2436);
  {
    RunContext run(components);
    ASSERT_TRUE(SetSpoolerFault(FaultAddMonitorW, 2));
    InstallPortMonitor(run.c);
    std::vector<std::wstring> lines = run.Lines();
    EXPECT_EQ(2u, CountLinesStarting(lines, L"  AddMonitor - failed. Trying to wait and install again"));
    EXPECT_EQ(L"  AddMonitor - OK :)", lines.back());
    EXPECT_EQ(0, run.c.ErrorCount);
  }
  // A record that names another folder: only the file of that name in the system folder goes.
  CreateDirectoryW(L"C:\\quill-victim", nullptr);
  ASSERT_TRUE(CopyFileW((components + L"vtxmon64.dll").c_str(), L"C:\\quill-victim\\vtxmon64.dll", FALSE));
  ASSERT_TRUE(CopyFileW((components + L"vtxmon64.dll").c_str(), L"C:\\quill-victim\\victim.dll", FALSE));
  for (const wchar_t* dllName : {L"C:\\quill-victim\\vtxmon64.dll", L"..\\..\\quill-victim\\victim.dll", L".."}) {
    SCOPED_TRACE(dllName);
    if (!MonitorRegistered()) {
      RunContext again(components);
      InstallPortMonitor(again.c);
    }
    MONITOR_INFO_2W record = {const_cast<wchar_t*>(L"Quillstack:"), const_cast<wchar_t*>(L"Windows x64"), const_cast<wchar_t*>(dllName)};
    EnumerationResult forged = {reinterpret_cast<BYTE*>(&record), 2, 1};
    RunContext run(components);
    RemovePortMonitor(run.c, forged);
    std::wstring expected = std::wstring(dllName) == L".." ? L"" : SystemFile(dllName[0] == L'C' ? L"vtxmon64.dll" : L"victim.dll");
    EXPECT_GE(IndexOf(run.Lines(), L"  Auto calculated monitor file name: " + expected), 0) << run.Log().c_str();
    EXPECT_TRUE(FileExists(L"C:\\quill-victim\\vtxmon64.dll"));
    EXPECT_TRUE(FileExists(L"C:\\quill-victim\\victim.dll"));
    EXPECT_EQ(nullptr, run.c.PendingDeletes == nullptr ? nullptr : run.c.PendingDeletes->next);
  }

  ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning));
  RunContext run(components);
  ASSERT_TRUE(SetSpoolerFault(FaultAddMonitorW, 5));
  InstallPortMonitor(run.c);
  std::vector<std::wstring> lines = run.Lines();
  EXPECT_EQ(5u, CountLinesStarting(lines, L"  AddMonitor - failed. Trying to wait and install again"));
  EXPECT_EQ(L"  Error(11): Can`t install a local port monitor'Quillstack:' - (" + SystemText(ERROR_SHARING_VIOLATION) + L")", lines.back());
  EXPECT_FALSE(MonitorRegistered());
}

TEST_F(MonitorDriverObjects, TheDriverIsRegisteredWithItsRecordAndRemovedWithOneRestartAtMost) {
  std::wstring components = StageComponents(2436);
  {
    RunContext run(components);
    InstallPrinterDriver(run.c);
    EXPECT_EQ(L"  OK :)", run.Lines().back()) << run.Log().c_str();
    for (const wchar_t* name : {L"vtxdrv64.dll", L"vtxui64.dll", L"vtxhelp.chm"}) EXPECT_FALSE(FileExists(StagedCopy(run, name))) << name;
    EXPECT_EQ(nullptr, run.c.PendingDeletes);
  }
  EnumerationResult drivers = EnumerateDrivers(L"Windows x64");
  int index = FindPrinterDriver(drivers);
  ASSERT_GE(index, 0);
  const DRIVER_INFO_6W& record = reinterpret_cast<const DRIVER_INFO_6W*>(drivers.Entries)[index];
  wchar_t folder[MAX_PATH];
  ASSERT_TRUE(GetDriverVersionFolder(L"Windows x64", folder, MAX_PATH));
  EXPECT_EQ(3u, record.cVersion);
  EXPECT_STREQ(L"Windows x64", record.pEnvironment);
  EXPECT_EQ(std::wstring(folder) + L"vtxdrv64.dll", record.pDriverPath);
  EXPECT_EQ(std::wstring(folder) + L"vtxdrv64.dll", record.pDataFile);
  EXPECT_EQ(std::wstring(folder) + L"vtxui64.dll", record.pConfigFile);
  EXPECT_EQ(std::wstring(folder) + L"vtxhelp.chm", record.pHelpFile);
  EXPECT_TRUE(record.pDependentFiles == nullptr || record.pDependentFiles[0] == 0);
  EXPECT_TRUE(record.pMonitorName == nullptr || record.pMonitorName[0] == 0);
  EXPECT_STREQ(L"Corvell", record.pszMfgName);
  EXPECT_STREQ(L"Corvell", record.pszProvider);
  EXPECT_STREQ(DriverVendorUrl, record.pszOEMUrl);
  EXPECT_EQ(0u, record.dwlDriverVersion);
  GlobalFree(drivers.Entries);

  for (DWORD refusals : {1u, 2u}) {
    SCOPED_TRACE(refusals);
    RunContext run(components);
    if (refusals == 2) InstallPrinterDriver(run.c);
    run.SetupLines += run.Lines().size();
    ASSERT_TRUE(SetSpoolerFault(FaultDeletePrinterDriverExW, refusals));
    EnumerationResult installed = EnumerateDrivers(L"Windows x64");
    RemovePrinterDriver(run.c, installed);
    GlobalFree(installed.Entries);
    std::vector<std::wstring> lines = run.Lines();
    ASSERT_GE(lines.size(), 6u) << run.Log().c_str();
    EXPECT_EQ(L">DeletePrinterDriver for Windows x64", lines[0]);
    EXPECT_EQ(L"  ------------ 1 existing drivers-----------", lines[1]);
    EXPECT_EQ(L"  1. Quillstack printer", lines[2]);
    EXPECT_EQ(L"  Driver is found. Index=1", lines[4]);
    EXPECT_EQ(L"  Can't delete driver. Trying to restart spooler", lines[5]);
    EXPECT_GE(IndexOf(lines, L"  >Restart Spooler"), 0);
    if (refusals == 1) EXPECT_EQ(L"  OK :)", lines.back());
    else EXPECT_EQ(0u, lines.back().find(L"  Error(14): Can`t remove the printer-driver 'Quillstack printer' - ("));
  }

  // Registration refused, and a machine without the help file and without drivers.
  ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning));
  {
    RunContext run(components);
    ASSERT_TRUE(SetSpoolerFault(FaultAddPrinterDriverExW, 1));
    InstallPrinterDriver(run.c);
    EXPECT_EQ(L"  Error(13): Can`t install a printer driver 'Quillstack printer' - (" + SystemText(ERROR_SHARING_VIOLATION) + L")",
              run.Lines().back());
    for (const wchar_t* name : {L"vtxdrv64.dll", L"vtxui64.dll", L"vtxhelp.chm"}) EXPECT_FALSE(FileExists(StagedCopy(run, name))) << name;
    EnumerationResult none = EnumerateDrivers(L"Windows x64");
    run.SetupLines += run.Lines().size();
    RemovePrinterDriver(run.c, none);
    EXPECT_EQ((std::vector<std::wstring>{L">DeletePrinterDriver for Windows x64", L"  BTW, there is no printer drivers on this system.",
                                         L"  No Quillstack driver was found"}),
              run.Lines());
  }
  RunContext noHelp(StageComponents(2436, false));
  InstallPrinterDriver(noHelp.c);
  std::vector<std::wstring> lines = noHelp.Lines();
  EXPECT_EQ(1u, CountLinesStarting(lines, L"    Error(10): Cant't open source file: vtxhelp.chm"));
  EXPECT_EQ(L"  OK :)", lines.back()) << noHelp.Log().c_str();
  drivers = EnumerateDrivers(L"Windows x64");
  ASSERT_GE(FindPrinterDriver(drivers), 0);
  const wchar_t* help = reinterpret_cast<const DRIVER_INFO_6W*>(drivers.Entries)[FindPrinterDriver(drivers)].pHelpFile;
  EXPECT_TRUE(help == nullptr || help[0] == 0) << help;
  GlobalFree(drivers.Entries);
}
