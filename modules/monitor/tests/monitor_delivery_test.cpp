// vtxmon64.dll loaded the way the spooler loads it, printing into a running quilltray: each job
// becomes "<document>.Quillstack" in the temporary folder with exactly the bytes given to
// WritePort, however the spooler chunks them, and the main application is started on it.
#include <gtest/gtest.h>

#include <algorithm>

#include "modules/monitor/tests/spooler_side.h"
#include "quilltray/tests/tray_test_support.h"

namespace {

struct Job {
  const wchar_t* Document;
  std::string Data;
  size_t Piece;  // bytes per WritePort call
};

class MonitorDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSpoolFiles();
    ASSERT_TRUE(Tray.Start());
    ASSERT_TRUE(Monitor.Load(BesideTest(L"vtxmon64.dll"))) << GetLastError();
  }
  void TearDown() override {
    Tray.End();
    DeleteSpoolFiles();
  }
  MainAppScope App;
  TrayProcess Tray;
  MonitorModule Monitor;
};

TEST_F(MonitorDelivery, PortAnswersForItsOneFixedPort) {
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(Monitor.Calls->pfnEnumPorts(Monitor.Monitor, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(Monitor.Calls->pfnEnumPorts(Monitor.Monitor, nullptr, 2, buffer.data(), needed, &needed, &count));
  ASSERT_EQ(1u, count);
  const PORT_INFO_2W* port = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  EXPECT_STREQ(L"Quillstack:", port->pPortName);
  EXPECT_STREQ(L"Quillstack:", port->pMonitorName);
  EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), port->fPortType);
  ASSERT_TRUE(Monitor.Calls->pfnEnumPorts(Monitor.Monitor, nullptr, 1, buffer.data(), needed, &needed, &count));
  EXPECT_STREQ(L"Quillstack:", reinterpret_cast<const PORT_INFO_1W*>(buffer.data())->pName);
  EXPECT_FALSE(Monitor.Calls->pfnEnumPorts(Monitor.Monitor, nullptr, 3, buffer.data(), needed, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  HANDLE other = nullptr;
  wchar_t wrong[] = L"LPT1:", name[] = L"Quillstack:";
  EXPECT_FALSE(Monitor.Calls->pfnOpenPort(Monitor.Monitor, wrong, &other));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError());
  EXPECT_TRUE(Monitor.Calls->pfnConfigurePort(Monitor.Monitor, nullptr, nullptr, name));
  EXPECT_FALSE(Monitor.Calls->pfnAddPort(Monitor.Monitor, nullptr, nullptr, name));
  EXPECT_FALSE(Monitor.Calls->pfnDeletePort(Monitor.Monitor, nullptr, nullptr, name));
}

// Jobs back to back through one port handle, as the spooler keeps its port open: odd sizes in
// 4 KiB pieces, 64 KiB pieces, many 7-byte writes, a byte at a time, and an empty job.
TEST_F(MonitorDelivery, JobsBackToBackArriveWholeWhateverTheWriteSizes) {
  std::vector<Job> jobs = {
      {L"Quarterly report.txt", PatternBytes(1000003, 1), 4096},
      {L"Second.pdf", PatternBytes(3 * 65535 + 17, 2), 65536},
      {L"Many small writes.ps", PatternBytes(300001, 3), 7},
      {L"Tiny.txt", PatternBytes(100, 4), 1},
      {L"Empty.txt", std::string(), 4096},
  };
  wchar_t name[] = L"Quillstack:";
  HANDLE port = nullptr;
  ASSERT_TRUE(Monitor.Calls->pfnOpenPort(Monitor.Monitor, name, &port)) << GetLastError();
  DWORD id = 1;
  for (const Job& job : jobs)
    EXPECT_EQ(0u, PrintJob(Monitor, port, job.Document, job.Data.data(), job.Data.size(), job.Piece, id++))
        << "job " << id - 1;
  EXPECT_TRUE(Monitor.Calls->pfnClosePort(port));
  std::vector<std::wstring> calls = App.Calls(jobs.size(), 20000);
  ASSERT_EQ(jobs.size(), calls.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    std::wstring file = TempFolder() + jobs[i].Document + L".Quillstack";
    EXPECT_TRUE(jobs[i].Data == ReadWholeFile(file)) << "job " << i << " differs";
    // The application is started once on each file, with " /drv /silent" (the application
    // processes start side by side, so their lines may come in any order).
    std::wstring expected = L" /drv /silent \"" + file + L"\"\t" + std::to_wstring(jobs[i].Data.size());
    EXPECT_EQ(1, std::count_if(calls.begin(), calls.end(), [&](const std::wstring& call) {
                return call.size() >= expected.size() && call.compare(call.size() - expected.size(), expected.size(), expected) == 0;
              }))
        << i;
  }
}

// A job that the spooler breaks off (ClosePort without EndDocPort) leaves no file behind, and the
// next job through a new port handle arrives whole.
TEST_F(MonitorDelivery, AJobBrokenOffLeavesNothingAndTheNextOneArrives) {
  wchar_t name[] = L"Quillstack:", printer[] = L"Quillstack", document[] = L"Broken off.txt", raw[] = L"RAW";
  HANDLE port = nullptr;
  ASSERT_TRUE(Monitor.Calls->pfnOpenPort(Monitor.Monitor, name, &port));
  DOC_INFO_1W info = {document, nullptr, raw};
  ASSERT_TRUE(Monitor.Calls->pfnStartDocPort(port, printer, 9, 1, reinterpret_cast<BYTE*>(&info))) << GetLastError();
  std::string half = PatternBytes(200000, 9);
  DWORD written = 0;
  ASSERT_TRUE(Monitor.Calls->pfnWritePort(port, reinterpret_cast<BYTE*>(&half[0]), 200000, &written));
  EXPECT_EQ(200000u, written);
  EXPECT_TRUE(Monitor.Calls->pfnClosePort(port));
  ASSERT_TRUE(Monitor.Calls->pfnOpenPort(Monitor.Monitor, name, &port));
  std::string next = PatternBytes(70000, 10);
  EXPECT_EQ(0u, PrintJob(Monitor, port, L"After.txt", next.data(), next.size(), 4096));
  Monitor.Calls->pfnClosePort(port);
  std::vector<std::wstring> calls = App.Calls(1, 20000);
  ASSERT_EQ(1u, calls.size());
  EXPECT_NE(std::wstring::npos, calls[0].find(L"After.txt.Quillstack"));
  EXPECT_EQ(next, ReadWholeFile(TempFolder() + L"After.txt.Quillstack"));
  for (int i = 0; i < 40 && SpoolFiles().size() > 1; ++i) Sleep(50);
  EXPECT_EQ(std::vector<std::wstring>{L"After.txt.Quillstack"}, SpoolFiles());
}

// What the installer finds beside itself in the staged product: both sets of modules, build 2436
// in their version resources (the installer keeps monitors of builds 2416 to 2436), and a help
// file that is a compiled HTML Help file.
TEST(ShippedModules, AreStagedBesideTheInstallerWithBuild2436) {
  wchar_t programs[MAX_PATH];
  ASSERT_NE(0u, ExpandEnvironmentStringsW(L"%ProgramFiles%\\Corvell\\Quillstack\\setup\\", programs, MAX_PATH));
  for (const wchar_t* name : {L"vtxmon64.dll", L"vtxdrv64.dll", L"vtxui64.dll", L"vtxmon32.dll", L"vtxdrv32.dll",
                              L"vtxui32.dll"}) {
    std::wstring path = std::wstring(programs) + name;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_NE(0u, size) << "no version resource in " << std::string(path.begin(), path.end());
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(2436u, LOWORD(info->dwProductVersionLS)) << std::string(path.begin(), path.end());
  }
  std::string help = ReadWholeFile(std::wstring(programs) + L"vtxhelp.chm");
  EXPECT_EQ("ITSF", help.substr(0, 4));
  EXPECT_NE(std::string::npos, help.find("Quillstack Help"));
}

}  // namespace
