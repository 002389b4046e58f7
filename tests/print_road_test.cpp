// The road of a print job on a machine where the product's own installer put everything in place:
// a product folder staged as it is shipped (quilltray.exe, setup\install.exe with the modules and
// the spooler stand-in's winspool.drv), "install.exe install" run as a process, then an
// application that prints with the winspool calls. Each job must arrive as
// "<document>.Quillstack" in the temporary folder with exactly the bytes printed and open in the
// main application's stand-in, also back to back, at 100 MiB, and when no quilltray ran while it
// was printed (it then waits in the queue with an error status until the Run value's program
// starts). "install.exe uninstall" ends every test.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>

#include "quilltray/tests/tray_test_support.h"
#include "shared/quillstack_ids.h"
#include "spooler_testbed.h"
#include "support/dialog_probe.h"
#include "support/product_state.h"

namespace {

std::wstring ProductFolder() { return BesideTest(L"product\\"); }

// The product as it is shipped, from the files the build put beside this test. Staged anew for
// every test: an uninstall deletes the tray program.
bool StageProduct() {
  std::wstring product = ProductFolder(), setup = product + L"setup\\";
  CreateDirectoryW(product.c_str(), nullptr);
  CreateDirectoryW(setup.c_str(), nullptr);
  bool staged = CopyFileW(BesideTest(L"quilltray.exe").c_str(), (product + L"quilltray.exe").c_str(), FALSE) != 0;
  for (const wchar_t* name : {L"install.exe", L"vtxmon64.dll", L"vtxdrv64.dll", L"vtxui64.dll", L"vtxhelp.chm",
                              L"winspool.drv"})
    staged = staged && CopyFileW(BesideTest(name).c_str(), (setup + name).c_str(), FALSE);
  return staged;
}

// The staged install.exe run with one word, as calling programs run it: its exit code, or
// 0xFFFFFFFF after two minutes. A log dialog (an error was logged) is read into `dialogText`
// and closed, so that the test can say what went wrong instead of hanging.
DWORD RunStagedInstaller(const wchar_t* word, std::wstring* dialogText) {
  std::wstring exe = ProductFolder() + L"setup\\install.exe";
  std::wstring command = L"\"" + exe + L"\" " + word;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  for (int i = 0; i < 600 && WaitForSingleObject(process.hProcess, 200) == WAIT_TIMEOUT; ++i) {
    if (HWND dialog = FindProcessDialog(process.dwProcessId)) {
      if (dialogText) *dialogText += ReadWindowText(GetDlgItem(dialog, 1001));
      CloseDialog(dialog, DialogClose::CloseButton);
    }
  }
  if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 0xFFFFFFFF);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// Asks every running quilltray to exit, as logging off would end it.
bool EndRunningTrays() {
  StartDesktopQuietly();
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, QUILL_TRAY_WINDOW_CLASS, nullptr)) != nullptr;)
    PostMessageW(window, UM_EXIT, 0, 0);
  return WaitForJobPipeGone(10000);
}

// One job as an application prints it: WritePrinter in pieces of `piece` bytes. The job id, or 0.
DWORD Print(HANDLE printer, const wchar_t* document, const std::string& data, size_t piece) {
  DOC_INFO_1W info = {const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
  DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&info));
  DWORD written = 0;
  for (size_t offset = 0; job && offset < data.size(); offset += written) {
    DWORD take = static_cast<DWORD>(data.size() - offset < piece ? data.size() - offset : piece);
    if (!WritePrinter(printer, const_cast<char*>(data.data()) + offset, take, &written) || written == 0) return 0;
  }
  return job && EndDocPrinter(printer) ? job : 0;
}

// gdiplay.exe (beside the test, with the driver and the stand-in's winspool.drv) run with `args`:
// its exit code, or 0xFFFFFFFF when it did not end within two minutes.
DWORD RunGdiplay(const std::wstring& args) {
  std::wstring exe = BesideTest(L"gdiplay.exe"), command = L"\"" + exe + L"\" " + args;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// A page drawn by an application into an EMF: a frame, a filled circle and a line of text.
std::wstring RecordPage(const wchar_t* name, COLORREF colour) {
  std::wstring path = BesideTest(name);
  RECT frame = {0, 0, 21000, 29700};
  HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), &frame, nullptr);
  HBRUSH brush = CreateSolidBrush(colour);
  Rectangle(dc, 50, 50, 700, 1000);
  HGDIOBJ old = SelectObject(dc, brush);
  Ellipse(dc, 150, 150, 600, 600);
  SelectObject(dc, old);
  DeleteObject(brush);
  TextOutW(dc, 100, 700, L"Site plan", 9);
  DeleteEnhMetaFile(CloseEnhMetaFile(dc));
  return path;
}

JOB_INFO_1W FirstJob(HANDLE printer, std::vector<BYTE>& buffer) {
  DWORD needed = 0, count = 0;
  EnumJobsW(printer, 0, 10, 1, nullptr, 0, &needed, &count);
  buffer.assign(needed + sizeof(JOB_INFO_1W), 0);
  if (!EnumJobsW(printer, 0, 10, 1, buffer.data(), needed, &needed, &count) || count == 0) return JOB_INFO_1W{};
  return *reinterpret_cast<JOB_INFO_1W*>(buffer.data());
}

class InstalledPrintRoad : public ::testing::Test {
 protected:
  DesktopShell Shell;  // the signed-in user's shell: the installer starts quilltray with its token
  void SetUp() override {
    ASSERT_TRUE(Shell.Set);
    DeleteSpoolFiles();
    ASSERT_TRUE(EndRunningTrays()) << "a dispatcher is still listening";
    ASSERT_TRUE(ResetSpooler()) << GetLastError();
    ASSERT_TRUE(StageProduct()) << GetLastError();
    std::wstring dialog;
    ASSERT_EQ(1u, RunStagedInstaller(L"install", &dialog)) << "log dialog: " << std::string(dialog.begin(), dialog.end());
    EXPECT_EQ(L"\"" + ProductFolder() + L"quilltray.exe\"", RunValue());
    ASSERT_TRUE(WaitForJobPipe(10000)) << "the installer started no quilltray";
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Quillstack"), &Printer, nullptr)) << GetLastError();
  }
  void TearDown() override {
    if (Printer) ClosePrinter(Printer);
    std::wstring dialog;
    EXPECT_EQ(2u, RunStagedInstaller(L"uninstall", &dialog)) << "log dialog: " << std::string(dialog.begin(), dialog.end());
    EXPECT_TRUE(WaitForJobPipeGone(10000)) << "uninstall left quilltray running";
    EndRunningTrays();
    ResetSpooler(SpoolerLeftStopped);
    DeleteSystemMonitorFile();
    DeleteRunValue();
    DeleteSpoolFiles();
  }
  // The main application's line for a file: its whole command line and the file's size.
  std::wstring ExpectedCall(const wchar_t* document, size_t size) {
    return L"\"" + BesideTest(L"mainapp.exe") + L"\" /drv /silent \"" + TempFolder() + document + L".Quillstack\"\t" +
           std::to_wstring(size);
  }
  MainAppScope App;  // before the installer runs: the tray it starts inherits the record's name
  HANDLE Printer = nullptr;
};

TEST_F(InstalledPrintRoad, JobsArriveWholeOneByOneBackToBackAndAt100MiB) {
  // One job; the main application is started on its file.
  std::string report = PatternBytes(1000003, 31);
  ASSERT_NE(0u, Print(Printer, L"Quarterly report.txt", report, 4096)) << GetLastError();
  std::vector<std::wstring> calls = App.Calls(1, 30000);
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(ExpectedCall(L"Quarterly report.txt", report.size()), calls[0]);
  EXPECT_TRUE(report == ReadWholeFile(TempFolder() + L"Quarterly report.txt.Quillstack"));

  // Two jobs back to back, the second queued while the first is on its way.
  std::string second = PatternBytes(3 * 65535 + 17, 32), third = PatternBytes(77777, 33);
  ASSERT_NE(0u, Print(Printer, L"Second.pdf", second, 65536)) << GetLastError();
  ASSERT_NE(0u, Print(Printer, L"Third.ps", third, 7)) << GetLastError();
  // Each file's application starts on its own, so their lines may come in either order.
  calls = App.Calls(3, 30000);
  ASSERT_EQ(3u, calls.size());
  EXPECT_EQ(1, std::count(calls.begin() + 1, calls.end(), ExpectedCall(L"Second.pdf", second.size())));
  EXPECT_EQ(1, std::count(calls.begin() + 1, calls.end(), ExpectedCall(L"Third.ps", third.size())));
  EXPECT_TRUE(second == ReadWholeFile(TempFolder() + L"Second.pdf.Quillstack"));
  EXPECT_TRUE(third == ReadWholeFile(TempFolder() + L"Third.ps.Quillstack"));

  // 100 MiB in 1 MiB WritePrinter calls.
  std::string large = PatternBytes(100u << 20, 34);
  ASSERT_NE(0u, Print(Printer, L"Large scan.tif", large, 1 << 20)) << GetLastError();
  calls = App.Calls(4, 120000);
  ASSERT_EQ(4u, calls.size());
  EXPECT_EQ(ExpectedCall(L"Large scan.tif", large.size()), calls[3]);
  EXPECT_TRUE(large == ReadWholeFile(TempFolder() + L"Large scan.tif.Quillstack"));
  EXPECT_EQ(4u, SpoolerJobsDespooled());
  std::vector<BYTE> buffer;
  EXPECT_EQ(0u, FirstJob(Printer, buffer).JobId);
}

// quilltray ended (as at log-off); a job printed meanwhile must not hang the application, waits
// in the queue with an error status, and arrives whole once the Run value's program starts.
TEST_F(InstalledPrintRoad, AJobPrintedWhileNoQuilltrayRunsArrivesOnceTheRunValueStartsIt) {
  ASSERT_TRUE(EndRunningTrays());
  std::string data = PatternBytes(2 * 1024 * 1024 + 5, 35);
  DWORD start = GetTickCount();
  DWORD job = Print(Printer, L"While away.txt", data, 5000);
  ASSERT_NE(0u, job) << GetLastError();
  EXPECT_LT(GetTickCount() - start, 5000u) << "EndDocPrinter waited for the dispatcher";
  std::vector<BYTE> buffer;
  JOB_INFO_1W queued = {};
  for (int i = 0; i < 400 && !(queued.Status & JOB_STATUS_ERROR); ++i) {
    Sleep(50);
    queued = FirstJob(Printer, buffer);
  }
  EXPECT_EQ(job, queued.JobId);
  EXPECT_TRUE(queued.Status & JOB_STATUS_ERROR) << queued.Status;
  EXPECT_TRUE(SpoolFiles().empty());
  EXPECT_TRUE(App.Calls(1, 0).empty());

  // Logon starts what the Run value names.
  std::wstring command = RunValue();
  ASSERT_NE(L"<none>", command);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION tray = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &tray))
      << GetLastError();
  CloseHandle(tray.hThread);
  CloseHandle(tray.hProcess);
  std::vector<std::wstring> calls = App.Calls(1, 40000);
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(ExpectedCall(L"While away.txt", data.size()), calls[0]);
  EXPECT_TRUE(data == ReadWholeFile(TempFolder() + L"While away.txt.Quillstack"));
  for (int i = 0; i < 100 && FirstJob(Printer, buffer).JobId; ++i) Sleep(50);
  EXPECT_EQ(0u, FirstJob(Printer, buffer).JobId);
}

}  // namespace

namespace {

// An application that draws through GDI: gdiplay plays GDI's part for the installed driver and
// sends the driver's bytes to "Quillstack" with the winspool calls. A PDF arrives as
// "<document>.Quillstack", the main application is started on it, and its bytes are the ones the
// driver makes for the same pages written to a file.
TEST_F(InstalledPrintRoad, APrintedDrawingArrivesAsThePdfTheDriverMade) {
  std::wstring pages = L"\"" + RecordPage(L"plan-1.emf", RGB(200, 30, 30)) + L"\" \"" +
                       RecordPage(L"plan-2.emf", RGB(30, 30, 200)) + L"\"";
  std::wstring options = L"--paper A4 --dpi 150 --title \"Site plan\" ";
  ASSERT_EQ(0u, RunGdiplay(options + L"--printer Quillstack " + pages));
  std::wstring reference = BesideTest(L"site-plan.pdf");
  ASSERT_EQ(0u, RunGdiplay(options + L"--out \"" + reference + L"\" " + pages));
  std::string expected = ReadWholeFile(reference);
  ASSERT_EQ(0u, expected.find("%PDF-1.4\n"));
  std::vector<std::wstring> calls = App.Calls(1, 30000);
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(ExpectedCall(L"Site plan", expected.size()), calls[0]);
  EXPECT_TRUE(expected == ReadWholeFile(TempFolder() + L"Site plan.Quillstack"));
  EXPECT_EQ(1u, SpoolerJobsDespooled());
}

}  // namespace
