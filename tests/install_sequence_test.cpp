// The install and uninstall sequences as a calling program runs them: install.exe as a process
// from a product folder staged as users have it, on the spooler stand-in, with the real tray
// program; the machine's state read back afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "install/control/deferred_files.h"
#include "install/printers/printer_enumeration.h"
#include "install/spooler/component_files.h"
#include "shared/quillstack_ids.h"
#include "pending_renames_value.h"
#include "spooler_objects_support.h"
#include "spooler_test_support.h"
#include "spooler_testbed.h"
#include "support/install_process.h"
#include "support/product_state.h"
#include "support/staged_product.h"

namespace {

const wchar_t* const DriverFiles[] = {L"vtxdrv64.dll", L"vtxui64.dll", L"vtxhelp.chm"};

std::string Narrow(const std::wstring& text) {
  std::string s;
  for (wchar_t c : text) s += (c >= 32 && c < 127) ? static_cast<char>(c) : (c == L'\n' ? '\n' : '?');
  return s;
}

std::wstring VersionFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetDriverVersionFolder(L"Windows x64", folder, MAX_PATH);
  return folder;
}

// The driver directory where the installer stages the driver's files before registering them.
std::wstring StagingFolder() {
  wchar_t folder[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(L"Windows x64"), 1, reinterpret_cast<BYTE*>(folder), sizeof(folder),
                                  &needed) || folder[0] == 0)
    return L"<unknown>\\";
  return std::wstring(folder) + L"\\";
}

// Sources of the pending deletions in "PendingFileRenameOperations", as the value names them.
std::vector<std::wstring> PendingDeletions() {
  PendingRenames record;
  ReadPendingRenames(record);
  std::vector<std::wstring> sources;
  for (INT32 k = 0; k < record.PairCount; ++k)
    if (record.Names[2 * k] != nullptr && record.Names[2 * k + 1] == nullptr) sources.push_back(record.Names[2 * k]);
  ReleasePendingRenames(record);
  return sources;
}

bool ListsForDeletion(const std::wstring& path) {
  for (const std::wstring& source : PendingDeletions())
    if (CompareStringOrdinal(FileSystemPath(source.c_str()), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

// A file held open as another program holds it: readable and writable, never deletable.
struct HeldFile {
  HANDLE Handle;
  explicit HeldFile(const std::wstring& path)
      : Handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldFile() {
    if (Handle != INVALID_HANDLE_VALUE) CloseHandle(Handle);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
};

// The log's lines without their indentation.
std::vector<std::wstring> TrimmedLines(const std::wstring& log) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (size_t end; (end = log.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    size_t first = log.find_first_not_of(L' ', start);
    lines.push_back(first < end ? log.substr(first, end - first) : L"");
  }
  return lines;
}

// Whether `expected` occur among the lines in this order (other lines may come between).
bool InOrder(const std::vector<std::wstring>& lines, const std::vector<std::wstring>& expected) {
  size_t next = 0;
  for (const std::wstring& line : lines)
    if (next < expected.size() && line == expected[next]) ++next;
  return next == expected.size();
}

class InstallSequence : public ::testing::Test {
 protected:
  PendingRenamesValueScope pending;
  void SetUp() override {
    ASSERT_TRUE(StartWithStagedProduct());
  }
  void TearDown() override {
    EndTray();
    ResetSpooler();
    DeleteSystemMonitorFile();
    DeleteRunValue();
  }

  // The product's monitor, driver and printer "Quillstack" as an install leaves them.
  static void ExpectInstalled() {
    EXPECT_EQ(L"vtxmon64.dll", MonitorDll());
    EXPECT_EQ(BuildNumber, GetFileBuildNumber(SystemFile(L"vtxmon64.dll").c_str()));
    EXPECT_EQ(VersionFolder() + L"vtxdrv64.dll", DriverPath());
    ASSERT_NE(L"<unknown>\\", StagingFolder());
    for (const wchar_t* file : DriverFiles) {
      EXPECT_TRUE(FileExists(VersionFolder() + file)) << Narrow(file);
      EXPECT_FALSE(FileExists(StagingFolder() + file)) << "staged copy left: " << Narrow(file);
    }
    PrinterState printer = ReadPrinter(L"Quillstack");
    EXPECT_EQ(L"Quillstack", printer.Name);
    EXPECT_EQ(L"Quillstack:", printer.Port);
    EXPECT_EQ(L"Quillstack printer", printer.Driver);
    EXPECT_EQ(L"WinPrint", printer.PrintProcessor);
  }
  static void ExpectNothingInstalled() {
    EXPECT_EQ(L"<none>", MonitorDll());
    EXPECT_FALSE(FileExists(SystemFile(L"vtxmon64.dll")));
    EXPECT_EQ(L"<none>", DriverPath());
    for (const wchar_t* file : DriverFiles) EXPECT_FALSE(FileExists(VersionFolder() + file)) << Narrow(file);
    EXPECT_EQ(L"", ReadPrinter(L"Quillstack").Name);
    EXPECT_EQ(L"<none>", RunValue());
    EXPECT_EQ(nullptr, FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr));
  }
};

}  // namespace

// A clean machine with another vendor's printer: install, a reinstall without the tray over two
// printers with key names, install again, uninstall.
TEST_F(InstallSequence, InstallReinstallOverKeyedPrintersAndUninstall) {
  ASSERT_TRUE(AddForeignPrinter(L"Another Printer"));
  DesktopShell shell;  // the signed-in user's shell, whose token the tray program gets
  ASSERT_TRUE(shell.Set);

  ASSERT_EQ(1u, RunInstallProcessAt(SetupExe(), L"install"));
  ExpectInstalled();
  // Quoted: unquoted, "C:\Program Files\..." would let a "C:\Program.exe" start first at logon.
  EXPECT_EQ(L"\"" + TrayExe() + L"\"", RunValue());
  EXPECT_NE(nullptr, WaitForTrayWindow(20000)) << "the tray program does not run";

  ASSERT_TRUE(GiveKeyName(L"Quillstack", "qs-one"));
  ASSERT_TRUE(AddOurPrinter(L"Quillstack Two", L"second printer"));
  ASSERT_TRUE(GiveKeyName(L"Quillstack Two", "qs-two"));
  ASSERT_TRUE(SetDefaultPrinterName(L"Quillstack Two"));

  DialogRun run = RunWithLogDialog(SetupExe(), L"in_notray", DialogClose::CloseButton);
  ASSERT_TRUE(run.Shown);
  EXPECT_EQ(1u, run.ExitCode);
  EXPECT_EQ(std::wstring::npos, run.Text.find(L"Error(")) << Narrow(run.Text);
  EXPECT_EQ(std::wstring::npos, run.Text.find(L">>0020")) << Narrow(run.Text);
  EXPECT_TRUE(InOrder(TrimmedLines(run.Text),
                      {L"Quillstack 2436", L">>0010", L">ReInstall", L">UnInstall", L"EnumMonitors", L">DeleteAllPrinters",
                       L">DeletePrinter(Quillstack)", L">DeletePrinter(Quillstack Two)", L">DeletePrinterDriver for Windows x64",
                       L">DeleteMonitor", L"Version (2436) is compatible, proceed without uninstall", L">Add Printer Driver",
                       L">AddPrinter(Quillstack Two)", L">AddPrinter(Quillstack)"}))
      << Narrow(run.Text);
  ExpectInstalled();
  EXPECT_EQ(L"Quillstack:", ReadPrinter(L"Quillstack Two").Port);
  EXPECT_EQ(L"second printer", ReadPrinter(L"Quillstack Two").Comment);
  EXPECT_EQ("qs-one", KeyName(L"Quillstack"));
  EXPECT_EQ("qs-two", KeyName(L"Quillstack Two"));
  EXPECT_FALSE(MarkedDeleted("qs-one"));
  EXPECT_FALSE(MarkedDeleted("qs-two"));
  EXPECT_EQ(L"Quillstack Two", DefaultPrinter());
  // The tray program was ended and not started again; its file stays for the next install.
  EXPECT_EQ(nullptr, FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr));
  EXPECT_EQ(L"<none>", RunValue());
  EXPECT_TRUE(FileExists(TrayExe()));

  ASSERT_EQ(1u, RunInstallProcessAt(SetupExe(), L"install"));
  EXPECT_NE(nullptr, WaitForTrayWindow(20000)) << "the tray program does not run";

  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall"));
  ExpectNothingInstalled();
  EXPECT_EQ(L"", ReadPrinter(L"Quillstack Two").Name);
  EXPECT_FALSE(FileExists(TrayExe()));
  EXPECT_EQ(L"Another Printer", ReadPrinter(L"Another Printer").Name);
  EXPECT_TRUE(PendingDeletions().empty());
}

// Nothing installed: the uninstall finds nothing and says so; an install without the tray
// program installs everything but that.
TEST_F(InstallSequence, UninstallOnACleanMachineThenInstallWithoutTray) {
  DialogRun run = RunWithLogDialog(SetupExe(), L"uninstall", DialogClose::CloseBox);
  ASSERT_TRUE(run.Shown);
  EXPECT_EQ(2u, run.ExitCode);
  EXPECT_EQ(std::wstring::npos, run.Text.find(L"Error(")) << Narrow(run.Text);
  EXPECT_EQ(std::wstring::npos, run.Text.find(L">>0010")) << Narrow(run.Text);
  EXPECT_TRUE(InOrder(TrimmedLines(run.Text),
                      {L">UnInstall", L"EnumMonitors", L"1 Monitors found.", L"EnumPrinterDrivers for Windows x64", L"0 drivers found",
                       L">DeleteAllPrinters", L"No Quillstack driver was found", L"No Quillstack port monitor was found."}))
      << Narrow(run.Text);
  EXPECT_TRUE(FileExists(TrayExe())) << "no Run value names it";

  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray"));
  ExpectInstalled();
  EXPECT_EQ(L"<none>", RunValue());
  EXPECT_EQ(nullptr, WaitForTrayWindow(2000));
}

// Component files that another program holds open, readable and writable but not deletable.
TEST_F(InstallSequence, LockedComponentFiles) {
  // An earlier version's monitor that a process keeps loaded while an install removes it: its
  // deletion is retried with the spooler stopped and then forgotten; the new file's copy can't
  // replace it (Windows neither overwrites nor deletes a loaded module) and moves it aside
  // instead, where it waits for the next restart.
  const std::wstring monitor = SystemFile(L"vtxmon64.dll");
  ASSERT_TRUE(CopyFileW((ProgramDirectory() + L"fixture_monitor_2415.dll").c_str(), monitor.c_str(), FALSE));
  MONITOR_INFO_2W old = {const_cast<wchar_t*>(L"Quillstack:"), const_cast<wchar_t*>(L"Windows x64"), const_cast<wchar_t*>(L"vtxmon64.dll")};
  ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&old)));
  {
    HMODULE loaded = LoadLibraryExW(monitor.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, loaded);
    DialogRun run = RunWithLogDialog(SetupExe(), L"in_notray", DialogClose::EnterKey);
    FreeLibrary(loaded);
    ASSERT_TRUE(run.Shown);
    EXPECT_EQ(101u, run.ExitCode);
    EXPECT_TRUE(InOrder(TrimmedLines(run.Text),
                        {L">UnInstall", L"Version (2415) is not supported, proceed with reinstall", L"Monitor was removed :)",
                         L"DeleteFile-try", L">Restart Spooler", L"DeleteFile-try", L">AddMonitor", L"Copy monitor file",
                         L"Locked file moved aside: " + monitor + L".old", L"Copy Succeeded :)", L"AddMonitor - OK :)",
                         L"DeleteFile-try", L">Restart Spooler", L"DeleteFile-try"}))
        << Narrow(run.Text);
  }
  ExpectInstalled();
  EXPECT_TRUE(ListsForDeletion(monitor + L".old"));
  EXPECT_FALSE(ListsForDeletion(monitor));
  EXPECT_TRUE(DeleteFileW((monitor + L".old").c_str()));

  // Held through the whole uninstall: marked for deletion at the next restart, beside what
  // others left there.
  const std::vector<std::wstring> others = {L"\\??\\C:\\quill-none\\a.txt", L"\\??\\C:\\quill-none\\b.txt",
                                            L"\\??\\C:\\quill-none\\c.txt", L""};
  ASSERT_TRUE(WritePendingRenames(others));
  {
    HeldFile held(monitor);
    ASSERT_NE(INVALID_HANDLE_VALUE, held.Handle);
    EXPECT_EQ(101u, RunInstallProcessAt(SetupExe(), L"uninstall"));
  }
  EXPECT_TRUE(ListsForDeletion(monitor));
  EXPECT_EQ(L"<none>", MonitorDll());
  EXPECT_EQ(L"<none>", DriverPath());

  // Installed again before the restart: the monitor file is the install's again, and no longer
  // waits for deletion (the restart would take the installed monitor away); the rest stays.
  ASSERT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray"));
  ExpectInstalled();
  EXPECT_FALSE(ListsForDeletion(monitor));
  std::wstring units;
  for (const std::wstring& text : others) units += text + L'\0';
  units += L'\0';
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t)), ReadPendingRenamesBytes());

  // An uninstall that also fails to remove the driver logs the error, which outweighs the restart.
  {
    HeldFile held(monitor);
    ASSERT_NE(INVALID_HANDLE_VALUE, held.Handle);
    ASSERT_TRUE(SetSpoolerFault(FaultDeletePrinterDriverExW, 2));
    DialogRun run = RunWithLogDialog(SetupExe(), L"uninstall", DialogClose::CloseButton, false);
    ASSERT_TRUE(run.Shown) << "an error opens the dialog without Shift";
    EXPECT_NE(std::wstring::npos, run.Text.find(L"Error(14): Can`t remove the printer-driver 'Quillstack printer'")) << Narrow(run.Text);
    EXPECT_EQ(100u, run.ExitCode);
  }
  EXPECT_TRUE(ListsForDeletion(monitor));
  // A restart (Wine's simulated one) carries the deletion out.
  EXPECT_EQ(0u, RunInstallProcessAt(L"C:\\windows\\system32\\wineboot.exe", L"-r"));
  EXPECT_FALSE(FileExists(monitor));
  EXPECT_FALSE(ListsForDeletion(monitor));
}
