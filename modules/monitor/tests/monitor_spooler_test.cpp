// The shipped modules inside the spooler stand-in: vtxmon64.dll registered as the monitor
// "Quillstack:", the driver "Quillstack printer" from vtxdrv64.dll, vtxui64.dll and vtxhelp.chm,
// and a printer on the port. An application prints with the winspool calls while no quilltray
// runs: EndDocPrinter returns at once, the job waits in the queue with an error status, and once
// quilltray starts it arrives whole, followed by the next job. A job that quilltray can't store
// waits in the same way and arrives whole, once, when it can. A job deleted half way through
// leaves nothing behind.
#include <gtest/gtest.h>

#include <utility>

#include <windows.h>
#include <shellapi.h>
#include <winspool.h>

#include "quilltray/tests/fake_shell_tray.h"
#include "quilltray/tests/tray_test_support.h"
#include "spooler_testbed.h"

namespace {

std::wstring SystemFile(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  GetSystemDirectoryW(path, MAX_PATH);
  return std::wstring(path) + L"\\" + name;
}

DWORD Print(HANDLE printer, const wchar_t* document, const std::string& data) {
  DOC_INFO_1W info = {const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
  DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&info));
  DWORD written = 0;
  for (size_t offset = 0; job && offset < data.size(); offset += written)
    if (!WritePrinter(printer, const_cast<char*>(data.data()) + offset,
                      static_cast<DWORD>(data.size() - offset < 5000 ? data.size() - offset : 5000), &written))
      return 0;
  return job && EndDocPrinter(printer) ? job : 0;
}

class MonitorInTheSpooler : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSpoolFiles();
    ASSERT_TRUE(WaitForJobPipeGone(10000)) << "a dispatcher is listening";
    ASSERT_TRUE(ResetSpooler()) << GetLastError();
    ASSERT_TRUE(CopyFileW(BesideTest(L"vtxmon64.dll").c_str(), SystemFile(L"vtxmon64.dll").c_str(), FALSE))
        << GetLastError();
    MONITOR_INFO_2W monitor = {const_cast<LPWSTR>(L"Quillstack:"), const_cast<LPWSTR>(L"Windows x64"),
                               const_cast<LPWSTR>(L"vtxmon64.dll")};
    ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&monitor))) << GetLastError();
    std::wstring driver = BesideTest(L"vtxdrv64.dll"), ui = BesideTest(L"vtxui64.dll"), help = BesideTest(L"vtxhelp.chm");
    DRIVER_INFO_6W info = {};
    info.cVersion = 3;
    info.pName = const_cast<LPWSTR>(L"Quillstack printer");
    info.pEnvironment = const_cast<LPWSTR>(L"Windows x64");
    info.pDriverPath = info.pDataFile = &driver[0];
    info.pConfigFile = &ui[0];
    info.pHelpFile = &help[0];
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES)) << GetLastError();
    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<LPWSTR>(L"Quillstack");
    printer.pPortName = const_cast<LPWSTR>(L"Quillstack:");
    printer.pDriverName = const_cast<LPWSTR>(L"Quillstack printer");
    printer.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    Printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&printer));
    ASSERT_NE(nullptr, Printer) << GetLastError();
  }
  void TearDown() override {
    Tray.End();
    if (Printer) ClosePrinter(Printer);
    ResetSpooler(SpoolerLeftStopped);
    DeleteFileW(SystemFile(L"vtxmon64.dll").c_str());
    DeleteSpoolFiles();
  }
  JOB_INFO_1W FirstJob(std::vector<BYTE>& buffer) {
    DWORD needed = 0, count = 0;
    EnumJobsW(Printer, 0, 10, 1, nullptr, 0, &needed, &count);
    buffer.assign(needed + sizeof(JOB_INFO_1W), 0);
    if (!EnumJobsW(Printer, 0, 10, 1, buffer.data(), needed, &needed, &count) || count == 0) return JOB_INFO_1W{};
    return *reinterpret_cast<JOB_INFO_1W*>(buffer.data());
  }
  // The first job once it shows an error status (StartDocPort or EndDocPort failed), within 20 s.
  JOB_INFO_1W WaitForJobError(std::vector<BYTE>& buffer) {
    JOB_INFO_1W queued = {};
    for (int i = 0; i < 400 && !(queued.Status & JOB_STATUS_ERROR); ++i) {
      Sleep(50);
      queued = FirstJob(buffer);
    }
    return queued;
  }
  MainAppScope App;
  TrayProcess Tray;
  HANDLE Printer = nullptr;
};

TEST_F(MonitorInTheSpooler, AJobPrintedWhileNoQuilltrayRunsWaitsAndArrivesWholeOnceItStarts) {
  std::string first = PatternBytes(3 * 1024 * 1024 + 11, 21), second = PatternBytes(77777, 22);
  DWORD start = GetTickCount();
  DWORD job = Print(Printer, L"Waiting report.txt", first);
  ASSERT_NE(0u, job) << GetLastError();
  EXPECT_LT(GetTickCount() - start, 5000u);
  // StartDocPort gives up after about 10 s; the job then shows its error and stays queued.
  std::vector<BYTE> buffer;
  JOB_INFO_1W queued = WaitForJobError(buffer);
  EXPECT_EQ(job, queued.JobId);
  EXPECT_TRUE(queued.Status & JOB_STATUS_ERROR) << queued.Status;
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), LastSpoolerJobError());
  EXPECT_TRUE(SpoolFiles().empty());
  // The next job queues behind it; quilltray comes; both arrive, each whole.
  ASSERT_NE(0u, Print(Printer, L"Next.txt", second)) << GetLastError();
  ASSERT_TRUE(Tray.Start());
  ASSERT_TRUE(WaitForSpoolerJobsDespooled(2, 40000));
  std::vector<std::wstring> calls = App.Calls(2, 10000);
  ASSERT_EQ(2u, calls.size());
  // Each main application records its call when it runs: the two may finish in either order.
  if (calls[0].find(L"Next.txt") != std::wstring::npos) std::swap(calls[0], calls[1]);
  EXPECT_NE(std::wstring::npos, calls[0].find(L"Waiting report.txt.Quillstack\"\t3145739")) << calls[0];
  EXPECT_NE(std::wstring::npos, calls[1].find(L"Next.txt.Quillstack\"\t77777")) << calls[1];
  EXPECT_TRUE(first == ReadWholeFile(TempFolder() + L"Waiting report.txt.Quillstack"));
  EXPECT_TRUE(second == ReadWholeFile(TempFolder() + L"Next.txt.Quillstack"));
  EXPECT_EQ(0u, FirstJob(buffer).JobId);
}

// quilltray can't store the job (its temporary folder can't be made): EndDocPort fails with its
// error, so the job stays queued with an error status, no main application starts, no file is
// left, and each attempt shows an error balloon that no "Jobs printed" replaces or counts. A
// writer of the documented format gets the same treatment. Once a quilltray that can store the
// job serves, it arrives whole, once.
TEST_F(MonitorInTheSpooler, AJobQuilltrayCannotStoreStaysQueuedAndArrivesWholeOnceItCan) {
  FakeShellTray shell;
  ASSERT_TRUE(shell.Start());
  {
    TempFolderScope unusable(BesideTest(L"vtxmon64.dll\\temp\\"));
    ASSERT_TRUE(Tray.Start());
  }
  std::string data = PatternBytes(2 * 1024 * 1024 + 3, 24);
  DWORD job = Print(Printer, L"Kept report.txt", data);
  ASSERT_NE(0u, job) << GetLastError();
  std::vector<BYTE> buffer;
  JOB_INFO_1W queued = WaitForJobError(buffer);
  EXPECT_EQ(job, queued.JobId);
  EXPECT_TRUE(queued.Status & JOB_STATUS_ERROR) << queued.Status;
  DWORD error = LastSpoolerJobError();
  EXPECT_NE(0u, error);
  EXPECT_NE(static_cast<DWORD>(ERROR_NOT_READY), error) << "quilltray was there; its own error is shown";
  EXPECT_EQ(L"", SendJob(0, L"Documented format.txt", "d"));
  EXPECT_TRUE(App.Calls(1, 3500).empty()) << "not opened, also not on the retries";
  EXPECT_TRUE(SpoolFiles().empty());
  EXPECT_EQ(0u, SpoolerJobsDespooled());
  TestWriter counter;  // whatever failed was not counted
  ASSERT_TRUE(Connect(&counter) && WriteRecord(&counter, RECORD_SHOW_JOB_COUNT, nullptr, 0));
  CloseJobPipeWriter(&counter, true);
  ASSERT_GE(shell.WaitFor([](const TrayCall& c) { return c.Info.compare(0, 13, L"Jobs printed:") == 0; }, 5000), 0);
  int failures = 0;
  for (const TrayCall& call : shell.Calls()) {
    if (!(call.Flags & NIF_INFO)) continue;
    if (call.Info.compare(0, 13, L"Jobs printed:") == 0) {
      EXPECT_EQ(L"Jobs printed: 0", call.Info);
    } else {
      ++failures;
      EXPECT_EQ(static_cast<DWORD>(NIIF_ERROR), call.InfoFlags);
      EXPECT_EQ(0u, call.Info.find(L"A print job could not be stored and was not opened: ")) << testing::PrintToString(call.Info);
    }
  }
  EXPECT_GE(failures, 3) << "the first attempt, a retry and the documented writer's job";
  Tray.End();
  ASSERT_TRUE(Tray.Start());
  ASSERT_TRUE(WaitForSpoolerJobsDespooled(1, 40000));
  std::vector<std::wstring> calls = App.Calls(2, 3000);
  ASSERT_EQ(1u, calls.size()) << "once";
  EXPECT_NE(std::wstring::npos, calls[0].find(L"Kept report.txt.Quillstack\"\t2097155")) << calls[0];
  EXPECT_TRUE(data == ReadWholeFile(TempFolder() + L"Kept report.txt.Quillstack"));
  EXPECT_EQ(0u, FirstJob(buffer).JobId);
}

// The spooler stops a deleted job's WritePort calls and ends it; the monitor sees the job deleted
// and breaks the connection off, so quilltray deletes the half file and starts nothing.
TEST_F(MonitorInTheSpooler, AJobDeletedHalfWayLeavesNothingBehind) {
  ASSERT_TRUE(Tray.Start());
  DOC_INFO_1W info = {const_cast<LPWSTR>(L"Cancelled.txt"), nullptr, const_cast<LPWSTR>(L"RAW")};
  DWORD job = StartDocPrinterW(Printer, 1, reinterpret_cast<BYTE*>(&info));
  ASSERT_NE(0u, job) << GetLastError();
  std::string block = PatternBytes(1 << 20, 23);
  DWORD written = 0;
  for (int i = 0; i < 100; ++i)
    ASSERT_TRUE(WritePrinter(Printer, &block[0], 1 << 20, &written)) << GetLastError();
  ASSERT_TRUE(EndDocPrinter(Printer)) << GetLastError();
  std::wstring file = TempFolder() + L"Cancelled.txt.Quillstack";
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  for (int i = 0; i < 2000 && !(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0);
       ++i)
    Sleep(5);
  ASSERT_GT(data.nFileSizeLow, 0u) << "the job never started to arrive";
  ASSERT_TRUE(SetJobW(Printer, job, 0, nullptr, JOB_CONTROL_DELETE)) << GetLastError();
  std::vector<BYTE> buffer;
  for (int i = 0; i < 200 && FirstJob(buffer).JobId; ++i) Sleep(50);
  EXPECT_EQ(0u, FirstJob(buffer).JobId);
  for (int i = 0; i < 100 && !SpoolFiles().empty(); ++i) Sleep(50);
  EXPECT_TRUE(SpoolFiles().empty());
  EXPECT_TRUE(App.Calls(1, 2000).empty());
  EXPECT_EQ(0u, SpoolerJobsDespooled());
}

}  // namespace
