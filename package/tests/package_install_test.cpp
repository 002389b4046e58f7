// The Windows Installer package under Wine's msiexec, in a prefix of its own with the spooler
// stand-in (whose winspool.drv the test bed puts in the setup folder beforehand): install,
// upgrade over the user's printers, downgrade, repair, removal, a failing install and installs
// and removals that need a restart.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <string>

#include "package_support.h"
#include "pending_renames_value.h"
#include "spooler_objects_support.h"
#include "spooler_testbed.h"
#include "support/product_state.h"

namespace {

const wchar_t OlderVersion[] = L"7.0.2436";
const wchar_t NewerVersion[] = L"7.1.2436";

std::wstring OlderFile() { return FromBuild(QUILL_PACKAGE_MSI); }
std::wstring NewerFile() { return FromBuild(QUILL_NEWER_MSI); }
std::wstring OlderPackage() { return L"\"" + OlderFile() + L"\""; }
std::wstring NewerPackage() { return L"\"" + NewerFile() + L"\""; }

std::string Narrow(const std::wstring& text) {
  std::string s;
  for (wchar_t c : text) s += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
  return s;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

const wchar_t ViewerFolder[] = L"C:\\windows\\temp\\quill-package-viewer\\";

// Prints one RAW job to "Quillstack" as an application does and returns the line the main
// application's stand-in (FullPathExe) recorded for it: its command line, a tab and the size of
// the file it was given; "" when none came within 30 s.
std::string PrintToMainApplication(const wchar_t* document, const std::string& data) {
  CreateDirectoryW(ViewerFolder, nullptr);
  std::wstring viewer = std::wstring(ViewerFolder) + L"mainapp.exe", record = std::wstring(ViewerFolder) + L"mainapp-calls.txt";
  DeleteFileW(record.c_str());
  if (!CopyFileW(FromBuild(QUILL_MAINAPP).c_str(), viewer.c_str(), FALSE)) return "<no main application>";
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Corvell\\Quillstack", L"FullPathExe", REG_SZ, viewer.c_str(),
                  static_cast<DWORD>((viewer.size() + 1) * sizeof(wchar_t)));
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(L"Quillstack"), &printer, nullptr)) return "<no printer>";
  DOC_INFO_1W info = {const_cast<wchar_t*>(document), nullptr, const_cast<wchar_t*>(L"RAW")};
  DWORD written = 0;
  bool printed = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&info)) != 0 &&
                 WritePrinter(printer, const_cast<char*>(data.data()), static_cast<DWORD>(data.size()), &written) &&
                 EndDocPrinter(printer);
  ClosePrinter(printer);
  if (!printed) return "<not printed>";
  std::string line;
  for (int waited = 0; line.empty() && waited < 300; ++waited) {
    HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[2048] = {};
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer) - 1, &got, nullptr)) line.assign(buffer, got);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (line.empty()) Sleep(100);
  }
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Corvell\\Quillstack", L"FullPathExe");
  return line;
}

std::string Narrow8(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class Package : public ::testing::Test {
 protected:
  PendingRenamesValueScope pending;
  // The signed-in user's shell: Wine runs msiexec's actions elevated, not as LocalSystem, so
  // install.exe starts quilltray with the desktop shell's token, and Wine headless has no shell.
  DesktopShell Shell;
  std::wstring OlderCode = ProductCodeOf(OlderFile());
  std::wstring NewerCode = ProductCodeOf(NewerFile());
  void SetUp() override {
    ASSERT_FALSE(OlderCode.empty());
    ASSERT_FALSE(NewerCode.empty());
    ASSERT_NE(OlderCode, NewerCode);
    RemoveInstalledProducts({OlderFile(), NewerFile()});
    EndTray();
    ASSERT_TRUE(ResetSpooler());
    ASSERT_TRUE(DeleteSystemMonitorFile());
    DeleteRunValue();
    ASSERT_TRUE(InstalledProducts().empty());
  }
  void TearDown() override {
    RemoveInstalledProducts({OlderFile(), NewerFile()});
    EndTray();
    ResetSpooler();
    DeleteSystemMonitorFile();
    DeleteRunValue();
  }

  // The product as the package leaves it: one Quillstack of `version` with its Apps and Features
  // entry, its files, and what install.exe install registered and started.
  static void ExpectInstalled(const std::wstring& code, const wchar_t* version) {
    ASSERT_TRUE(ProductInstalled(code));
    EXPECT_EQ(version, ProductVersion(code));
    EXPECT_EQ(L"Quillstack", UninstallValue(code, L"DisplayName"));
    EXPECT_EQ(L"Corvell", UninstallValue(code, L"Publisher"));
    EXPECT_EQ(version, UninstallValue(code, L"DisplayVersion"));
    EXPECT_EQ(ProductFolder, UninstallValue(code, L"InstallLocation"));
    EXPECT_EQ(L"MsiExec.exe /X" + code, UninstallValue(code, L"UninstallString"));
    for (const wchar_t* file : PackageFiles) EXPECT_TRUE(FileExists(ProductFolder + std::wstring(file))) << Narrow(file);
    EXPECT_EQ(L"vtxmon64.dll", MonitorDll());
    EXPECT_NE(L"<none>", DriverPath());
    PrinterState printer = ReadPrinter(L"Quillstack");
    EXPECT_EQ(L"Quillstack:", printer.Port);
    EXPECT_EQ(L"Quillstack printer", printer.Driver);
    EXPECT_NE(std::wstring::npos, RunValue().find(std::wstring(ProductFolder) + L"quilltray.exe")) << Narrow(RunValue());
    EXPECT_NE(nullptr, WaitForTrayWindow(15000)) << "no quilltray running";
  }
  // Neither Windows Installer nor the spooler knows Quillstack any more, and its files are gone.
  static void ExpectRemoved(const std::wstring& productCode) {
    EXPECT_FALSE(ProductInstalled(productCode));
    EXPECT_TRUE(InstalledProducts().empty());
    EXPECT_EQ(L"<none>", UninstallValue(productCode, L"DisplayName"));
    for (const wchar_t* file : PackageFiles) EXPECT_FALSE(FileExists(ProductFolder + std::wstring(file))) << Narrow(file);
    EXPECT_EQ(L"<none>", MonitorDll());
    EXPECT_EQ(L"<none>", DriverPath());
    EXPECT_EQ(L"", ReadPrinter(L"Quillstack").Name);
    EXPECT_EQ(L"<none>", RunValue());
    EXPECT_EQ(nullptr, WaitForTrayWindow(0));
  }
};

TEST_F(Package, InstallUpgradeRepairRemove) {
  ASSERT_EQ(0u, RunMsiexec(L"/i " + OlderPackage() + L" /qn", L"quill-package-install"));
  ExpectInstalled(OlderCode, OlderVersion);
  EXPECT_EQ(std::vector<std::wstring>{OlderCode}, InstalledProducts());
  std::string log = ReadMsiLog(L"quill-package-install");
  EXPECT_TRUE(Contains(log, "install.exe install ended with exit code 1\r\n") || Contains(log, "install.exe install ended with exit code 1\n"));
  EXPECT_FALSE(Contains(log, "setup\\install.exe uninstall"));

  // A job printed to the installed printer reaches the main application whole.
  std::string job(20000, 'q');
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ("\"" + Narrow8(ViewerFolder) + "mainapp.exe\" /drv /silent \"" + Narrow8(temp) + "Package check.txt.Quillstack\"\t20000\r\n",
            PrintToMainApplication(L"Package check.txt", job));

  // The user adds a printer and both get key names; a newer package replaces the older one.
  ASSERT_TRUE(AddOurPrinter(L"Quillstack Team", L"Second floor"));
  ASSERT_TRUE(GiveKeyName(L"Quillstack", "alpha"));
  ASSERT_TRUE(GiveKeyName(L"Quillstack Team", "beta"));
  int installs = InstallLogRuns("install");
  int uninstalls = InstallLogRuns("uninstall");
  ASSERT_EQ(0u, RunMsiexec(L"/i " + NewerPackage() + L" /qn", L"quill-package-upgrade"));
  ExpectInstalled(NewerCode, NewerVersion);
  EXPECT_FALSE(ProductInstalled(OlderCode)) << "the older package is still installed";
  EXPECT_EQ(L"<none>", UninstallValue(OlderCode, L"DisplayName"));
  EXPECT_EQ(installs + 1, InstallLogRuns("install"));
  EXPECT_EQ(uninstalls, InstallLogRuns("uninstall")) << "the older package's removal ran install.exe uninstall";
  EXPECT_EQ("alpha", KeyName(L"Quillstack"));
  EXPECT_EQ("beta", KeyName(L"Quillstack Team"));
  EXPECT_EQ(L"Second floor", ReadPrinter(L"Quillstack Team").Comment);

  // The installed package run again repairs nothing and leaves install.exe alone.
  ASSERT_EQ(0u, RunMsiexec(L"/i " + NewerPackage() + L" /qn", L"quill-package-again"));
  EXPECT_EQ(installs + 1, InstallLogRuns("install"));
  ExpectInstalled(NewerCode, NewerVersion);

  // A repair (Wine's msiexec has no /f: REINSTALL=ALL does it) brings a lost file back and runs
  // install.exe install again, which keeps the printers.
  ASSERT_TRUE(DeleteFileW((std::wstring(ProductFolder) + L"setup\\vtxui64.dll").c_str()));
  ASSERT_EQ(0u, RunMsiexec(L"/i " + NewerPackage() + L" REINSTALL=ALL REINSTALLMODE=amus /qn", L"quill-package-repair"));
  ExpectInstalled(NewerCode, NewerVersion);
  EXPECT_EQ(installs + 2, InstallLogRuns("install"));
  EXPECT_EQ("alpha", KeyName(L"Quillstack"));
  EXPECT_EQ("beta", KeyName(L"Quillstack Team"));

  ASSERT_EQ(0u, RunMsiexec(L"/x " + NewerPackage() + L" /qn", L"quill-package-remove"));
  EXPECT_EQ(uninstalls + 1, InstallLogRuns("uninstall"));
  ExpectRemoved(NewerCode);
  EXPECT_EQ(L"", ReadPrinter(L"Quillstack Team").Name);
  EXPECT_FALSE(FileExists(SystemFile(L"vtxmon64.dll")));
}

// install.exe ends with 100 (the spooler refuses the port monitor): msiexec fails, the log says
// why in install.exe's own words, and the install is taken back.
TEST_F(Package, FailedInstallLeavesNothingBehind) {
  ASSERT_TRUE(SetSpoolerFault(FaultAddMonitorW, 5));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_FAILURE), RunMsiexec(L"/i " + OlderPackage() + L" /qn", L"quill-package-failed"));
  std::string log = ReadMsiLog(L"quill-package-failed");
  EXPECT_TRUE(Contains(log, "install.exe install ended with exit code 100")) << log;
  EXPECT_TRUE(Contains(log, "install.exe: Error(11): Can`t install a local port monitor'Quillstack:'")) << log;
  EXPECT_TRUE(Contains(log, "the whole run is in C:\\ProgramData\\Corvell\\Quillstack\\install.log"));
  EXPECT_TRUE(Contains(log, "install.exe uninstall ended with exit code 2")) << "the install was not taken back";
  ExpectRemoved(OlderCode);
  EXPECT_FALSE(FileExists(SystemFile(L"vtxmon64.dll"))) << "the monitor file copied before AddMonitor failed";

  // Nothing in the way of the next attempt.
  ASSERT_EQ(0u, SpoolerFaultCount(FaultAddMonitorW));
  ASSERT_EQ(0u, RunMsiexec(L"/i " + OlderPackage() + L" /qn", L"quill-package-after-failed"));
  ExpectInstalled(OlderCode, OlderVersion);
}

// install.exe ends with 101 (an older monitor that a process holds loaded waits for the next
// restart): msiexec succeeds with ERROR_SUCCESS_REBOOT_REQUIRED. An older package is refused over
// it, and a removal whose monitor file is held open needs a restart as well.
TEST_F(Package, RestartNeededGives3010AndDowngradeIsRefused) {
  const std::wstring monitor = SystemFile(L"vtxmon64.dll");
  ASSERT_TRUE(CopyFileW(FromBuild(QUILL_OLD_MONITOR).c_str(), monitor.c_str(), FALSE));
  MONITOR_INFO_2W old = {const_cast<wchar_t*>(L"Quillstack:"), const_cast<wchar_t*>(L"Windows x64"), const_cast<wchar_t*>(L"vtxmon64.dll")};
  ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&old)));
  HMODULE loaded = LoadLibraryExW(monitor.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(nullptr, loaded);
  DWORD code = RunMsiexec(L"/i " + NewerPackage() + L" /qn", L"quill-package-restart");
  FreeLibrary(loaded);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED), code);
  std::string log = ReadMsiLog(L"quill-package-restart");
  EXPECT_TRUE(Contains(log, "install.exe install ended with exit code 101")) << log;
  EXPECT_TRUE(Contains(log, "a restart is needed to finish"));
  ExpectInstalled(NewerCode, NewerVersion);
  EXPECT_NE(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvell\\Quillstack", L"PackageRestartNeeded", RRF_RT_ANY,
                                        nullptr, nullptr, nullptr))
      << "the restart mark outlived the install";
  EXPECT_TRUE(DeleteFileW((monitor + L".old").c_str()));

  // The older package is refused by its launch condition and changes nothing. (Wine's msiexec
  // logs no text of a failed launch condition under /qn; the message is checked in the tables.)
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSTALL_FAILURE), RunMsiexec(L"/i " + OlderPackage() + L" /qn", L"quill-package-downgrade"));
  log = ReadMsiLog(L"quill-package-downgrade");
  std::string found = "NEWERFOUND = ";
  for (wchar_t c : NewerCode) found.push_back(static_cast<char>(c));
  EXPECT_TRUE(Contains(log, found.c_str())) << log;
  EXPECT_TRUE(Contains(log, "LaunchConditions. Return value 0.")) << log;
  EXPECT_FALSE(Contains(log, "InstallFiles"));
  EXPECT_FALSE(ProductInstalled(OlderCode));
  ExpectInstalled(NewerCode, NewerVersion);

  // Removed while another program holds the monitor file open: it waits for the restart.
  HANDLE held = CreateFileW(monitor.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  code = RunMsiexec(L"/x " + NewerPackage() + L" /qn", L"quill-package-restart-remove");
  CloseHandle(held);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED), code);
  EXPECT_TRUE(Contains(ReadMsiLog(L"quill-package-restart-remove"), "install.exe uninstall ended with exit code 101"));
  ExpectRemoved(NewerCode);
}

}  // namespace
