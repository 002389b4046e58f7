// install.exe against a local user who prepared the machine before an administrator runs it: a
// log folder created, opened to everyone and pointed elsewhere with a link; printers the
// installer can't open or can't remember; another program's deletions of files that share a
// component's name; jobs waiting in a printer's queue; and a tray start without the user's token.
// Each test drives install.exe as a process and reads the machine afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <winspool.h>

#include <string>

#include "install/printers/printer_enumeration.h"
#include "pending_renames_value.h"
#include "shared/quillstack_ids.h"
#include "spooler_objects_support.h"
#include "spooler_testbed.h"
#include "support/install_process.h"
#include "support/product_state.h"
#include "support/staged_product.h"

namespace {

const wchar_t MachineVendorKey[] = L"SOFTWARE\\Corvell";
const wchar_t PrintersKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const wchar_t Victim[] = L"C:\\quill-log-victim";

std::wstring DataFolder(const wchar_t* below) {
  wchar_t data[MAX_PATH] = {};
  ExpandEnvironmentStringsW(L"%ProgramData%", data, MAX_PATH);
  return std::wstring(data) + below;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok && written == bytes.size();
}

std::string LogText() { return ReadFileBytes(DataFolder(L"\\Corvell\\Quillstack\\install.log")); }
// The last run's part of the log file: what follows the last header line.
std::string LastRun() {
  std::string text = LogText();
  size_t header = text.rfind(" ====\r\n");
  return header == std::string::npos ? std::string() : text.substr(header);
}
// The line after `line` (both without their indentation); "" when `line` is not there.
std::string LineAfter(const std::string& text, const std::string& line) {
  size_t at = text.find(line + "\r\n");
  if (at == std::string::npos) return std::string();
  size_t next = text.find_first_not_of(' ', at + line.size() + 2);
  size_t end = next == std::string::npos ? std::string::npos : text.find("\r\n", next);
  return next == std::string::npos || end == std::string::npos ? std::string() : text.substr(next, end - next);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs a program of the Linux side (Wine starts ELF programs too) and waits for it. Its exit code
// does not come through Wine's start of it; callers check the outcome themselves.
DWORD RunUnix(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command = program + L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW((L"Z:" + program).c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFF;
  WaitForSingleObject(process.hProcess, 20000);
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

std::wstring UnixPath(const std::wstring& path) {
  typedef char*(CDECL * UnixNameProc)(const wchar_t*);
  UnixNameProc unixName =
      reinterpret_cast<UnixNameProc>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = unixName != nullptr ? unixName(path.c_str()) : nullptr;
  std::wstring wide;
  for (const char* c = name; c != nullptr && *c; ++c) wide.push_back(static_cast<wchar_t>(*c));
  if (name != nullptr) HeapFree(GetProcessHeap(), 0, name);
  return wide;
}

// A link at `link` to `target`. Windows would be given a junction; Wine 8 refuses
// FSCTL_SET_REPARSE_POINT (ERROR_NOT_SUPPORTED), and its nearest thing is a Unix symbolic link,
// which it reports as FILE_ATTRIBUTE_REPARSE_POINT.
// Wine reports it so for a folder only; a link to a file looks like a plain file there.
bool MakeLink(const std::wstring& link, const std::wstring& target, bool toFolder = true) {
  std::wstring parent = link.substr(0, link.rfind(L'\\'));
  std::wstring unixLink = UnixPath(parent) + L"/" + link.substr(link.rfind(L'\\') + 1);
  RunUnix(L"/bin/ln", L"-sfn " + UnixPath(target) + L" " + unixLink);
  // The Linux program may still run when Wine reports its end: wait (bounded) for the link.
  for (int i = 0; i < 100; ++i) {
    DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (!toFolder || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) return true;
    Sleep(50);
  }
  return false;
}

void RemoveLink(const std::wstring& link) {
  if (GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  RunUnix(L"/bin/rm", L"-f " + UnixPath(link.substr(0, link.rfind(L'\\'))) + L"/" + link.substr(link.rfind(L'\\') + 1));
  for (int i = 0; i < 100 && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
}

bool GiveToEveryone(const std::wstring& folder) {
  PSECURITY_DESCRIPTOR security = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &security, nullptr)) return false;
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  GetSecurityDescriptorDacl(security, &present, &list, &defaulted);
  DWORD status = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                       DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr);
  LocalFree(security);
  return status == ERROR_SUCCESS;
}

// Whether the folder's access list lets Everyone add files or change it.
bool EveryoneMayChange(const std::wstring& folder) {
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR security = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr, &security) !=
      ERROR_SUCCESS)
    return true;
  bool may = list == nullptr;
  PSID everyone = nullptr;
  ConvertStringSidToSidW(L"S-1-1-0", &everyone);
  for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(list, i, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(reinterpret_cast<PSID>(&ace->SidStart), everyone))
      may = may || (ace->Mask & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | WRITE_DAC | WRITE_OWNER | DELETE)) != 0;
  }
  LocalFree(everyone);
  LocalFree(security);
  return may;
}

// How many files the folder holds.
size_t ListedFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  size_t files = 0;
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ++files;
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return files;
}

void RemoveLogFolders() {
  const std::wstring quillstack = DataFolder(L"\\Corvell\\Quillstack");
  DWORD attributes = GetFileAttributesW(quillstack.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) RemoveLink(quillstack);
  for (const wchar_t* file : {L"\\Corvell\\Quillstack\\install.log", L"\\Corvell\\Quillstack\\install.log.old"})
    DeleteFileW(DataFolder(file).c_str());
  RemoveDirectoryW(DataFolder(L"\\Corvell\\Quillstack").c_str());
  RemoveDirectoryW(DataFolder(L"\\Corvell").c_str());
}

// Whether a printer of that name is listed, whatever its security lets this test do with it.
bool Listed(const wchar_t* name) {
  PrinterEnumeration printers = {};
  Refresh(printers);
  bool found = false;
  for (DWORD i = 0; i < printers.count; ++i) found = found || lstrcmpW(printers.entries[i].pPrinterName, name) == 0;
  Release(printers);
  return found;
}

bool DenyAccess(const wchar_t* printer, DWORD rights) {
  std::wstring key = std::wstring(PrintersKey) + printer;
  return RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"TestbedDeniedAccess", REG_DWORD, &rights, sizeof(rights)) == ERROR_SUCCESS;
}

DWORD QueuedJobs(const wchar_t* name) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name), &printer, nullptr)) return 0;
  PrinterInfo2 info = QueryPrinterInfo2(printer);
  DWORD jobs = info.info != nullptr ? info.info->cJobs : 0;
  if (info.info != nullptr) GlobalFree(info.info);
  ClosePrinter(printer);
  return jobs;
}

bool PrintJob(const wchar_t* printerName, const wchar_t* title) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(printerName), &printer, nullptr)) return false;
  DOC_INFO_1W document = {const_cast<wchar_t*>(title), nullptr, const_cast<wchar_t*>(L"RAW")};
  const char data[] = "a job that waits for its dispatcher";
  DWORD written = 0;
  bool ok = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&document)) != 0 &&
            WritePrinter(printer, const_cast<char*>(data), sizeof(data), &written) && EndDocPrinter(printer);
  ClosePrinter(printer);
  return ok;
}

class InstallAttack : public ::testing::Test {
 protected:
  PendingRenamesValueScope pending;
  void SetUp() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, MachineVendorKey);
    ASSERT_TRUE(StartWithStagedProduct());
  }
  void TearDown() override {
    EndTray();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, MachineVendorKey);
    ResetSpooler();
    DeleteSystemMonitorFile();
    DeleteRunValue();
  }
};

}  // namespace

// A standard user made %ProgramData%\Corvell first, opened it to everyone and made Quillstack a
// link to a folder of theirs holding an install.log (past the rotation size) and an
// install.log.old: the elevated runs touch neither, and take the folder back. Then a real but
// open Quillstack folder with an over-size log, and an install.log that is a link: the folder is
// taken back, the log rotated inside it, the linked file never written.
TEST_F(InstallAttack, APreparedLogFolderMovesAndWritesNothingOutsideIt) {
  RemoveLogFolders();
  CreateDirectoryW(Victim, nullptr);
  const std::string bigLog(600 * 1024, 'v'), oldLog = "the user's own old file";
  ASSERT_TRUE(WriteBytes(std::wstring(Victim) + L"\\install.log", bigLog));
  ASSERT_TRUE(WriteBytes(std::wstring(Victim) + L"\\install.log.old", oldLog));
  const std::wstring corvell = DataFolder(L"\\Corvell"), quillstack = DataFolder(L"\\Corvell\\Quillstack");
  ASSERT_TRUE(CreateDirectoryW(corvell.c_str(), nullptr));
  ASSERT_TRUE(GiveToEveryone(corvell));
  ASSERT_TRUE(EveryoneMayChange(corvell));
  ASSERT_TRUE(MakeLink(quillstack, Victim)) << "no link to the user's folder";

  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall /quiet"));
  EXPECT_EQ(bigLog, ReadFileBytes(std::wstring(Victim) + L"\\install.log"));
  EXPECT_EQ(oldLog, ReadFileBytes(std::wstring(Victim) + L"\\install.log.old"));
  EXPECT_FALSE(EveryoneMayChange(corvell)) << "the vendor folder stays open to everyone";
  EXPECT_NE(0u, GetFileAttributesW(quillstack.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) << "the link is refused, not replaced";

  // A real folder, open to everyone, with a log past its bound that is a symbolic link to the
  // user's file, then a second hard link of it.
  RemoveLink(quillstack);
  ASSERT_TRUE(CreateDirectoryW(quillstack.c_str(), nullptr));
  ASSERT_TRUE(GiveToEveryone(quillstack));
  ASSERT_TRUE(MakeLink(quillstack + L"\\install.log", std::wstring(Victim) + L"\\install.log", false));
  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  EXPECT_EQ(bigLog, ReadFileBytes(std::wstring(Victim) + L"\\install.log")) << "written or moved through the link";
  EXPECT_FALSE(EveryoneMayChange(quillstack));
  EXPECT_FALSE(FileExists(quillstack + L"\\install.log.old"));
  RemoveLink(quillstack + L"\\install.log");
  ASSERT_TRUE(CreateHardLinkW((quillstack + L"\\install.log").c_str(), (std::wstring(Victim) + L"\\install.log").c_str(), nullptr));
  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall /quiet"));
  EXPECT_EQ(bigLog, ReadFileBytes(std::wstring(Victim) + L"\\install.log")) << "written through the hard link";
  EXPECT_FALSE(FileExists(quillstack + L"\\install.log.old"));
  EXPECT_EQ(2u, ListedFiles(Victim)) << "a file created in the user's folder";

  DeleteFileW((quillstack + L"\\install.log").c_str());
  ASSERT_TRUE(WriteBytes(quillstack + L"\\install.log", bigLog));
  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall /quiet"));
  EXPECT_EQ(bigLog, ReadFileBytes(quillstack + L"\\install.log.old")) << "not rotated in the verified folder";
  std::string text = LogText();
  EXPECT_TRUE(Contains(text, " install.exe uninstall ====\r\nQuillstack 2436\r\n")) << text.substr(0, 200);
  EXPECT_LT(text.size(), 64u * 1024u);
  EXPECT_EQ(oldLog, ReadFileBytes(std::wstring(Victim) + L"\\install.log.old"));
  RemoveLogFolders();
  for (const wchar_t* file : {L"\\install.log", L"\\install.log.old"}) DeleteFileW((std::wstring(Victim) + file).c_str());
  RemoveDirectoryW(Victim);
}

// Printers a reinstall can't remember are kept, not lost: one whose security gives
// administrators Manage but not Print is opened with the removal's access and comes back with its
// key name; one that can't be opened at all stays untouched; while the saved-printer record
// can't be written no printer is deleted, and the next reinstall with a working registry brings
// them all back. Jobs still waiting in a deleted printer's queue are counted in the log.
TEST_F(InstallAttack, APrinterIsDeletedOnlyOnceItIsSafelyRemembered) {
  ASSERT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  ASSERT_TRUE(GiveKeyName(L"Quillstack", "qs-front"));
  ASSERT_TRUE(AddOurPrinter(L"Quill Managed", L"manage, no print"));
  ASSERT_TRUE(GiveKeyName(L"Quill Managed", "qs-managed"));
  ASSERT_TRUE(DenyAccess(L"Quill Managed", PRINTER_ACCESS_USE));
  ASSERT_TRUE(AddOurPrinter(L"Quill Sealed", L"no access"));
  ASSERT_TRUE(GiveKeyName(L"Quill Sealed", "qs-sealed"));
  ASSERT_TRUE(DenyAccess(L"Quill Sealed", PRINTER_ALL_ACCESS));
  // Two jobs that no dispatcher takes: they wait in the queue of "Quillstack".
  ASSERT_TRUE(PrintJob(L"Quillstack", L"first waiting job"));
  ASSERT_TRUE(PrintJob(L"Quillstack", L"second waiting job"));
  ASSERT_EQ(2u, QueuedJobs(L"Quillstack"));

  EXPECT_EQ(100u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet")) << "error 16 for the sealed printer";
  std::string text = LastRun();
  EXPECT_EQ("Jobs deleted with the printer: 2", LineAfter(text, ">DeletePrinter(Quillstack)")) << text;
  EXPECT_EQ("OK", LineAfter(text, ">DeletePrinter(Quill Managed)")) << text;
  EXPECT_TRUE(Contains(text, "Error(16): Can`t open printer 'Quill Sealed'")) << text;
  EXPECT_TRUE(Contains(text, "Printer 'Quill Sealed' kept: it can't be remembered")) << text;
  EXPECT_FALSE(Contains(text, ">DeletePrinter(Quill Sealed)")) << text;
  EXPECT_TRUE(Listed(L"Quill Sealed"));
  EXPECT_EQ("qs-managed", KeyName(L"Quill Managed")) << "re-created without its key name";
  EXPECT_EQ(L"manage, no print", ReadPrinter(L"Quill Managed").Comment);
  EXPECT_EQ("qs-front", KeyName(L"Quillstack"));
  EXPECT_EQ(0u, QueuedJobs(L"Quillstack"));

  // The record can't be written: a volatile vendor key takes no lasting product key below it.
  ASSERT_TRUE(DenyAccess(L"Quill Sealed", 0));
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, MachineVendorKey);
  HKEY vendor = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, MachineVendorKey, 0, nullptr, REG_OPTION_VOLATILE,
                                           KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &vendor, nullptr));
  RegCloseKey(vendor);
  RunInstallProcessAt(SetupExe(), L"in_notray /quiet");
  text = LastRun();
  EXPECT_TRUE(Contains(text, "Can't save the printers' record")) << text;
  for (const char* name : {"Quillstack", "Quill Managed", "Quill Sealed"}) {
    EXPECT_TRUE(Contains(text, std::string("Printer '") + name + "' kept: its record is not stored")) << name;
    EXPECT_FALSE(Contains(text, std::string(">DeletePrinter(") + name + ")")) << name;
  }
  EXPECT_FALSE(Contains(text, ">AddPrinter(")) << "a printer added beside the kept ones";
  EXPECT_EQ("qs-front", KeyName(L"Quillstack"));
  EXPECT_EQ("qs-managed", KeyName(L"Quill Managed"));
  EXPECT_EQ("qs-sealed", KeyName(L"Quill Sealed"));

  RegDeleteTreeW(HKEY_LOCAL_MACHINE, MachineVendorKey);
  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  text = LastRun();
  EXPECT_EQ("OK", LineAfter(text, ">DeletePrinter(Quill Sealed)")) << text;
  for (const wchar_t* name : {L"Quillstack", L"Quill Managed", L"Quill Sealed"}) EXPECT_TRUE(Listed(name));
  EXPECT_EQ("qs-sealed", KeyName(L"Quill Sealed"));
  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall /quiet"));
}

// Another program's deletions waiting for the restart of files named like the components, in
// its own folder: a reinstall and an uninstall carry none of them out early, and the start-up
// check does not take them for components that wait.
TEST_F(InstallAttack, AnotherProgramsNamesakeFilesWaitForTheRestart) {
  CreateDirectoryW(L"C:\\quill-other", nullptr);
  const wchar_t* const files[] = {L"C:\\quill-other\\vtxui64.dll", L"C:\\quill-other\\vtxmon64.dll", L"C:\\quill-other\\vtxdrv64.dll.old"};
  for (const wchar_t* file : files) ASSERT_TRUE(WriteBytes(file, "another program's file"));
  ASSERT_TRUE(WritePendingRenames({L"\\??\\C:\\quill-other\\vtxui64.dll", L"", L"\\??\\C:\\quill-other\\vtxmon64.dll", L"",
                                   L"C:\\quill-other\\vtxdrv64.dll.old", L""}));
  const std::string before = ReadPendingRenamesBytes();
  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"in_notray /quiet"));
  EXPECT_NE(200u, RunInstallProcessAt(SetupExe(), L"onInit")) << "another program's files taken for components that wait";
  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall /quiet"));
  for (const wchar_t* file : files) EXPECT_TRUE(FileExists(file)) << "another program's file deleted before the restart";
  EXPECT_EQ(before, ReadPendingRenamesBytes());
  for (const wchar_t* file : files) DeleteFileW(file);
}

// The installer is elevated (as Wine runs it): with no desktop shell whose token it could use, the
// tray program is not started with the installer's own token; the Run value is written for the
// next logon and the log says so. With the signed-in user's shell present, it starts as that user.
TEST_F(InstallAttack, TheTrayNeverStartsWithTheInstallersToken) {
  ASSERT_EQ(nullptr, GetShellWindow()) << "a shell window exists already";
  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"install /quiet"));
  EXPECT_EQ(L"\"" + TrayExe() + L"\"", RunValue());
  EXPECT_EQ(nullptr, WaitForTrayWindow(3000)) << "started with the installer's token";
  EXPECT_TRUE(Contains(LastRun(), "Tray program not started: no token of the signed-in user; the Run value starts it at the next logon"));

  DesktopShell shell;
  ASSERT_TRUE(shell.Set);
  EXPECT_EQ(1u, RunInstallProcessAt(SetupExe(), L"install /quiet"));
  HWND tray = WaitForTrayWindow(20000);
  ASSERT_NE(nullptr, tray);
  EXPECT_TRUE(Contains(LastRun(), "Tray program started as the user of the desktop shell")) << LastRun();
  EXPECT_EQ(2u, RunInstallProcessAt(SetupExe(), L"uninstall /quiet"));
  EXPECT_EQ(nullptr, FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr));
}
