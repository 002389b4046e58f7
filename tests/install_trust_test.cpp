// install.exe on a machine it must not hurt: runs killed half way, a service that depends on the
// spooler, other programs' deletions waiting for the restart, printer connections, and runs that
// nobody watches. Each test drives install.exe as a process and reads the machine afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <functional>
#include <string>

#include "install/printers/printer_enumeration.h"
#include "pending_renames_value.h"
#include "spooler_objects_support.h"
#include "spooler_testbed.h"
#include "support/install_process.h"
#include "support/product_state.h"
#include "support/staged_product.h"

namespace {

const wchar_t MachineProductKey[] = L"SOFTWARE\\Corvell\\Quillstack";
const wchar_t DependentService[] = L"QuillSpoolerDependent";
const wchar_t DependentTrace[] = L"C:\\windows\\temp\\quilldepsvc.log";

bool SavedRecordExists() {
  return RegGetValueW(HKEY_LOCAL_MACHINE, MachineProductKey, L"SavedPrinters", RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool SetCommentAndLocation(const wchar_t* name, const wchar_t* comment, const wchar_t* location) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name), &printer, &defaults)) return false;
  PrinterInfo2 info = QueryPrinterInfo2(printer);
  bool ok = info.info != nullptr;
  if (ok) {
    info.info->pComment = const_cast<wchar_t*>(comment);
    info.info->pLocation = const_cast<wchar_t*>(location);
    ok = SetPrinterW(printer, 2, reinterpret_cast<BYTE*>(info.info), 0) != FALSE;
    GlobalFree(info.info);
  }
  ClosePrinter(printer);
  return ok;
}

// Starts or stops a service and waits (at most 20 s) for the state.
bool DriveService(const wchar_t* name, bool start) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager != nullptr ? OpenServiceW(manager, name, SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
  SERVICE_STATUS status = {};
  if (service != nullptr) {
    if (start) StartServiceW(service, 0, nullptr);
    else ControlService(service, SERVICE_CONTROL_STOP, &status);
  }
  DWORD wanted = start ? SERVICE_RUNNING : SERVICE_STOPPED;
  for (int i = 0; service != nullptr && i < 400 && QueryServiceStatus(service, &status) && status.dwCurrentState != wanted; ++i) Sleep(50);
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
  return status.dwCurrentState == wanted;
}

class InstallTrust : public ::testing::Test {
 protected:
  PendingRenamesValueScope pending;
  void SetUp() override {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, MachineProductKey, L"SavedPrinters");
    ASSERT_TRUE(StartWithStagedProduct());
  }
  void TearDown() override {
    EndTray();
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, MachineProductKey, L"SavedPrinters");
    ResetSpooler();
    DeleteSystemMonitorFile();
    DeleteRunValue();
  }
};

// Two printers with key names, comments, a location and the default.
void PrepareKeyedPrinters() {
  ASSERT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  ASSERT_TRUE(GiveKeyName(L"Quillstack", "qs-front"));
  ASSERT_TRUE(SetCommentAndLocation(L"Quillstack", L"first floor", L"room 1"));
  ASSERT_TRUE(AddOurPrinter(L"Quill Back", L"second floor"));
  ASSERT_TRUE(GiveKeyName(L"Quill Back", "qs-back"));
  ASSERT_TRUE(SetDefaultPrinterName(L"Quill Back"));
}

void ExpectKeyedPrintersBack(const std::string& when) {
  PrinterState front = ReadPrinter(L"Quillstack"), back = ReadPrinter(L"Quill Back");
  EXPECT_EQ(L"Quillstack", front.Name) << when;
  EXPECT_EQ(L"first floor", front.Comment) << when;
  EXPECT_EQ(L"room 1", front.Location) << when;
  EXPECT_EQ(L"Quill Back", back.Name) << when;
  EXPECT_EQ(L"second floor", back.Comment) << when;
  EXPECT_EQ(L"Quillstack:", back.Port) << when;
  EXPECT_EQ("qs-front", KeyName(L"Quillstack")) << when;
  EXPECT_EQ("qs-back", KeyName(L"Quill Back")) << when;
  EXPECT_FALSE(MarkedDeleted("qs-front")) << when;
  EXPECT_FALSE(MarkedDeleted("qs-back")) << when;
  EXPECT_EQ(L"Quill Back", DefaultPrinter()) << when;
  EXPECT_FALSE(SavedRecordExists()) << when;
}

// Starts a reinstall and kills it the moment `point` holds (or when it ends first).
void KillReinstallAt(const std::function<bool(DWORD elapsedMs)>& point) {
  InstallProcess run(SetupExe(), L"in_notray /quiet");
  ASSERT_TRUE(run.Started);
  DWORD start = GetTickCount();
  while (WaitForSingleObject(run.Info.hProcess, 0) == WAIT_TIMEOUT && !point(GetTickCount() - start)) Sleep(1);
  TerminateProcess(run.Info.hProcess, 0xDEAD);
  WaitForSingleObject(run.Info.hProcess, 10000);
}

bool Gone(const wchar_t* printer) { return ReadPrinter(printer).Name.empty(); }

}  // namespace

// A reinstall killed at many points, and one whose driver registration fails: the next install
// brings every printer back with its key name, comment, location and default status, and leaves
// the printer connection alone.
TEST_F(InstallTrust, PrintersSurviveAReinstallThatDoesNotFinish) {
  PrepareKeyedPrinters();
  bool bothGone = false;
  struct Point {
    const char* name;
    std::function<bool(DWORD)> holds;
  } points[] = {
      {"at once", [](DWORD) { return true; }},
      {"record written", [](DWORD) { return SavedRecordExists(); }},
      {"first printer deleted", [](DWORD) { return Gone(L"Quillstack") || Gone(L"Quill Back"); }},
      {"both printers deleted", [](DWORD) { return Gone(L"Quillstack") && Gone(L"Quill Back"); }},
      {"one printer back", [&bothGone](DWORD) { return (bothGone = bothGone || (Gone(L"Quillstack") && Gone(L"Quill Back"))) &&
                                                       !(Gone(L"Quillstack") && Gone(L"Quill Back")); }},
      {"after 200 ms", [](DWORD ms) { return ms >= 200; }},
      {"after 400 ms", [](DWORD ms) { return ms >= 400; }},
      {"after 700 ms", [](DWORD ms) { return ms >= 700; }},
  };
  for (Point& point : points) {
    bothGone = false;
    KillReinstallAt(point.holds);
    if (std::string(point.name) == "both printers deleted") KillReinstallAt([](DWORD ms) { return ms >= 300; });  // killed twice
    EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet")) << point.name;
    ExpectKeyedPrintersBack(point.name);
  }

  // The driver can't be registered: no printer can be created, the record stays for the next run.
  ASSERT_TRUE(SetSpoolerFault(FaultAddPrinterDriverExW, 1));
  EXPECT_EQ(100u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  EXPECT_TRUE(Gone(L"Quillstack"));
  EXPECT_TRUE(SavedRecordExists());
  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  ExpectKeyedPrintersBack("after a failed driver registration");

  // An uninstall takes the printers for good.
  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall /quiet"));
  EXPECT_TRUE(Gone(L"Quillstack"));
  EXPECT_TRUE(Gone(L"Quill Back"));
  EXPECT_FALSE(SavedRecordExists());

  // A printer connection of the product's driver is neither removed nor moved by a reinstall or
  // an uninstall. (It keeps the driver in use, so the driver's removal reports error 14.)
  ASSERT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  ASSERT_TRUE(AddOurPrinter(L"Quill Shared (server)", nullptr, PRINTER_ATTRIBUTE_NETWORK));
  RunInstallProcessAt(SetupExe(), L"in_notray /quiet");
  EXPECT_EQ(L"Quillstack:", ReadPrinter(L"Quill Shared (server)").Port);
  EXPECT_FALSE(Gone(L"Quillstack"));
  RunInstallProcessAt(SetupExe(), L"uninstall /quiet");
  EXPECT_EQ(L"Quillstack:", ReadPrinter(L"Quill Shared (server)").Port);
  EXPECT_TRUE(Gone(L"Quillstack"));
}

// Neighbours on the machine: a running service that depends on the spooler is stopped before
// each spooler restart and started after it, and other programs' deletions and renames waiting
// for the restart stay byte for byte, their files untouched.
TEST_F(InstallTrust, ADependentServiceAndOtherProgramsPendingOperationsSurviveEverySequence) {
  CreateDirectoryW(L"C:\\quill-neighbour", nullptr);
  for (const wchar_t* file : {L"C:\\quill-neighbour\\a.tmp", L"C:\\quill-neighbour\\b.tmp", L"C:\\quill-neighbour\\vtxmon64.dll.bak"}) {
    HANDLE handle = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    CloseHandle(handle);
  }
  ASSERT_TRUE(WritePendingRenames({L"\\??\\C:\\quill-neighbour\\a.tmp", L"", L"\\??\\C:\\quill-neighbour\\b.tmp",
                                   L"\\??\\C:\\quill-neighbour\\c.tmp", L"C:\\quill-neighbour\\vtxmon64.dll.bak", L""}));
  const std::string others = ReadPendingRenamesBytes();
  ASSERT_TRUE(DriveService(DependentService, true)) << "the prefix set-up registers QuillSpoolerDependent";
  const size_t traceStart = ReadFileBytes(DependentTrace).size();

  // A printer that was used keeps its driver loaded: the reinstall and the uninstall restart the
  // spooler to remove it.
  struct Step {
    const wchar_t* arguments;
    DWORD code;
  } steps[] = {{L"in_notray", 1}, {L"in_notray", 1}, {L"uninstall", 2}};
  for (const Step& step : steps) {
    EXPECT_EQ(step.code, RunInstallProcessAt(SetupExe(), std::wstring(step.arguments) + L" /quiet", 60000)) << "no error 5 or 3 from a refused stop";
    EXPECT_EQ(others, ReadPendingRenamesBytes());
    for (const wchar_t* file : {L"C:\\quill-neighbour\\a.tmp", L"C:\\quill-neighbour\\b.tmp", L"C:\\quill-neighbour\\vtxmon64.dll.bak"})
      EXPECT_TRUE(FileExists(file));
    HANDLE printer = nullptr;
    if (OpenPrinterW(const_cast<wchar_t*>(L"Quillstack"), &printer, nullptr)) ClosePrinter(printer);
  }
  std::string trace = ReadFileBytes(DependentTrace).substr(traceStart);
  EXPECT_EQ(0u, Count(trace, "spooler stopped while running")) << trace;
  EXPECT_EQ(2u, Count(trace, "] stopped")) << trace;
  EXPECT_EQ(2u, Count(trace, "] running")) << trace;
  EXPECT_TRUE(DriveService(DependentService, false));
}

// Unattended: "/quiet" after the command word keeps the dialog away even after an error; the
// process ends with its exit code, and every run leaves its log in the common data folder, which
// stays bounded.
TEST_F(InstallTrust, QuietRunsAfterAnErrorEndWithTheirCodeAndLeaveTheLogFile) {
  ASSERT_EQ(0, GetAsyncKeyState(VK_SHIFT) & 0x8000) << "Shift is held on this desktop";
  wchar_t data[MAX_PATH] = {};
  ASSERT_NE(0u, ExpandEnvironmentStringsW(L"%ProgramData%\\Corvell", data, MAX_PATH));
  CreateDirectoryW(data, nullptr);
  const std::wstring folder = std::wstring(data) + L"\\Quillstack\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring log = folder + L"install.log";
  DeleteFileW((log + L".old").c_str());
  {
    // A log that has reached its bound is kept as install.log.old and started afresh.
    HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string filler(600 * 1024, 'x');
    DWORD written = 0;
    WriteFile(file, filler.data(), static_cast<DWORD>(filler.size()), &written, nullptr);
    CloseHandle(file);
  }

  struct Case {
    const wchar_t* arguments;
    SpoolerFault fault;
    DWORD faults;
    const char* error;
  } cases[] = {{L"install /quiet", FaultAddMonitorW, 5, "Error(11): Can`t install a local port monitor'Quillstack:'"},
               {L"UnInstall /QUIET", FaultDeletePrinterDriverExW, 2, "Error(14): Can`t remove the printer-driver 'Quillstack printer'"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(SetSpoolerFault(c.fault, c.faults));
    InstallProcess run(SetupExe(), c.arguments);
    ASSERT_TRUE(run.Started);
    bool dialogSeen = false;
    while (WaitForSingleObject(run.Info.hProcess, 20) == WAIT_TIMEOUT && !dialogSeen)
      dialogSeen = FindProcessDialog(run.Info.dwProcessId) != nullptr;
    EXPECT_FALSE(dialogSeen) << c.error;
    EXPECT_EQ(100u, run.Finish(30000)) << c.error;
    std::string text = ReadFileBytes(log);
    EXPECT_EQ(1u, Count(text, c.error)) << text;
  }
  std::string text = ReadFileBytes(log);
  EXPECT_LT(text.size(), 512u * 1024u);
  EXPECT_EQ(0u, Count(text, "xxxx"));
  EXPECT_EQ(600u * 1024u, ReadFileBytes(log + L".old").size());
  EXPECT_EQ(1u, Count(text, " install.exe install ====\r\nQuillstack 2436\r\n>Check Spooler\r\n")) << text;
  EXPECT_EQ(1u, Count(text, " install.exe UnInstall ====\r\nQuillstack 2436\r\n")) << text;

  // A window station no user sees (a service's, as a deployment tool running as LocalSystem has):
  // no dialog either, without "/quiet".
  HWINSTA hidden = CreateWindowStationW(L"QuillUnattended", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(nullptr, hidden);
  HWINSTA own = GetProcessWindowStation();
  ASSERT_TRUE(SetProcessWindowStation(hidden));
  HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(own);
  ASSERT_NE(nullptr, desktop);
  ASSERT_TRUE(SetSpoolerFault(FaultAddMonitorW, 5));
  std::wstring command = L"\"" + SetupExe() + L"\" install";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.lpDesktop = const_cast<wchar_t*>(L"QuillUnattended\\Default");
  PROCESS_INFORMATION unattended = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &unattended));
  bool ended = WaitForSingleObject(unattended.hProcess, 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(unattended.hProcess, 0xFFFFFFFF);
  DWORD code = 0;
  GetExitCodeProcess(unattended.hProcess, &code);
  CloseHandle(unattended.hThread);
  CloseHandle(unattended.hProcess);
  CloseDesktop(desktop);
  CloseWindowStation(hidden);
  EXPECT_TRUE(ended) << "the dialog waited in a window station nobody sees";
  EXPECT_EQ(100u, code);
  EXPECT_EQ(2u, Count(ReadFileBytes(log), "Error(11)"));

  // Without "/quiet" the same error still opens the dialog where a user sees it.
  ASSERT_TRUE(SetSpoolerFault(FaultAddMonitorW, 5));
  DialogRun shown = RunWithLogDialog(SetupExe(), L"install", DialogClose::CloseButton, false);
  EXPECT_TRUE(shown.Shown);
  EXPECT_EQ(100u, shown.ExitCode);
}
