// The installer's printers on the spooler stand-in: the snapshot and its default mark, which
// printers are the product's, creation and removal, and the printers a reinstall brings back.
#include <gtest/gtest.h>

#include "spooler_objects_support.h"
#include "spooler_test_support.h"
#include "spooler_testbed.h"

#include "install/printers/printer_enumeration.h"
#include "install/printers/printer_preservation.h"

namespace {

class PrinterObjects : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning)); }
  void TearDown() override { ResetSpooler(SpoolerLeftRunning); }
};

void CreateAndClose(InstallContext& context, const wchar_t* name) {
  HANDLE printer = CreatePrinter(context, name);
  ASSERT_NE(nullptr, printer) << name;
  ClosePrinter(printer);
}

void SetCommentAndLocation(const wchar_t* name, const wchar_t* comment, const wchar_t* location) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<wchar_t*>(name), &printer, &defaults));
  PrinterInfo2 info = QueryPrinterInfo2(printer);
  ASSERT_NE(nullptr, info.info);
  info.info->pComment = const_cast<wchar_t*>(comment);
  info.info->pLocation = const_cast<wchar_t*>(location);
  EXPECT_TRUE(SetPrinterW(printer, 2, reinterpret_cast<BYTE*>(info.info), 0));
  GlobalFree(info.info);
  ClosePrinter(printer);
}

// "plain" or "DsUser": where the printer's key name is found; "" when it has none.
std::string KeyName(const wchar_t* printerName, bool dsUser) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(printerName), &printer, nullptr)) return "(no printer)";
  char value[128] = {};
  DWORD type = 0, needed = 0;
  DWORD status = dsUser ? GetPrinterDataExA(printer, "DsUser", "SubKey", &type, reinterpret_cast<BYTE*>(value), sizeof(value), &needed)
                        : GetPrinterDataA(printer, const_cast<char*>("SubKey"), &type, reinterpret_cast<BYTE*>(value), sizeof(value), &needed);
  ClosePrinter(printer);
  return status == ERROR_SUCCESS && type == REG_SZ ? value : "";
}

void SetKeyName(const wchar_t* printerName, bool dsUser, const void* data, DWORD bytes) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  ASSERT_TRUE(OpenPrinterW(const_cast<wchar_t*>(printerName), &printer, &defaults));
  BYTE* bytesIn = static_cast<BYTE*>(const_cast<void*>(data));
  DWORD status = dsUser ? SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, bytesIn, bytes)
                        : SetPrinterDataA(printer, const_cast<char*>("SubKey"), REG_SZ, bytesIn, bytes);
  EXPECT_EQ(ERROR_SUCCESS, status);
  ClosePrinter(printer);
}

const char PrinterKeys[] = "Software\\Corvell\\Quillstack\\Quillstacks\\";

bool HasDeletedMark(const char* keyName) {
  std::string path = std::string(PrinterKeys) + keyName;
  return RegGetValueA(HKEY_CURRENT_USER, path.c_str(), "deleted", RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void MarkDeleted(const char* keyName) {
  std::string path = std::string(PrinterKeys) + keyName;
  DWORD one = 1;
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), "deleted", REG_DWORD, &one, sizeof(one)));
}

}  // namespace

TEST_F(PrinterObjects, TheSnapshotMarksTheDefaultAndKnowsOurPrintersByTheirExactDriverName) {
  InstallMonitorAndDriver(StageComponents(2436));
  ASSERT_TRUE(AddForeignPrinter(L"Other Printer"));
  {
    RunContext run;
    CreateAndClose(run.c, L"Quill A");
    CreateAndClose(run.c, L"Quill B");
  }
  ASSERT_TRUE(SetDefaultPrinterName(L"Quill B"));
  PrinterState a = ReadPrinter(L"Quill A");
  EXPECT_EQ(L"Quillstack:", a.Port);
  EXPECT_EQ(L"Quillstack printer", a.Driver);
  EXPECT_EQ(L"", a.Comment);
  EXPECT_EQ(L"WinPrint", a.PrintProcessor);

  // Printers added between the two calls of the enumeration twice: the snapshot is still whole.
  ASSERT_TRUE(SetSpoolerFault(FaultEnumPrintersW, 2));
  RunContext run;
  ASSERT_EQ(3u, run.c.Printers.count);
  std::vector<std::wstring> marked, ours;
  for (DWORD i = 0; i < run.c.Printers.count; ++i) {
    const PRINTER_INFO_2W& printer = run.c.Printers.entries[i];
    if (printer.Attributes & PRINTER_ATTRIBUTE_DEFAULT) marked.push_back(printer.pPrinterName);
    if (IsOurPrinter(printer)) ours.push_back(printer.pPrinterName);
  }
  EXPECT_EQ(std::vector<std::wstring>{L"Quill B"}, marked);
  std::sort(ours.begin(), ours.end());
  EXPECT_EQ((std::vector<std::wstring>{L"Quill A", L"Quill B"}), ours);

  PRINTER_INFO_2W record = {};
  for (const wchar_t* driver : {L"quillstack printer", L"Quillstack printer ", L"Quillstack", L""}) {
    record.pDriverName = const_cast<wchar_t*>(driver);
    EXPECT_FALSE(IsOurPrinter(record)) << driver;
  }
  record.pDriverName = nullptr;
  EXPECT_FALSE(IsOurPrinter(record));

  // A list that keeps changing ends, after a bounded number of tries, as an empty enumeration.
  ASSERT_TRUE(SetSpoolerFault(FaultEnumPrintersW, 100));
  PrinterEnumeration changing = {};
  Refresh(changing);
  EXPECT_EQ(0u, changing.count);
  EXPECT_EQ(nullptr, changing.entries);
  EXPECT_EQ(100u - RefreshAttempts, SpoolerFaultCount(FaultEnumPrintersW));
  SetSpoolerFault(FaultEnumPrintersW, 0);
}

TEST_F(PrinterObjects, CreationAndRemovalLogWhatTheSpoolerDid) {
  ASSERT_TRUE(EmptySpooler(SpoolerLeftRunning));
  {
    RunContext run;
    EXPECT_EQ(nullptr, CreatePrinter(run.c, L"Nowhere"));
    std::vector<std::wstring> lines = run.Lines();
    ASSERT_GE(lines.size(), 5u) << run.Log().c_str();
    EXPECT_EQ(L">AddPrinter(Nowhere)", lines[0]);
    EXPECT_EQ(L"  Let's check our port monitors", lines[1]);
    EXPECT_GE(IndexOf(lines, L"  No Quillstack port monitor was found."), 0);
    EXPECT_GE(IndexOf(lines, L"  BTW, there is no port monitors on this system."), 0);
    EXPECT_EQ(0u, lines.back().find(L"  Error(15): Can`t add printer 'Nowhere' - ("));
    EXPECT_EQ(1, run.c.ErrorCount);
    EXPECT_EQ(0, run.c.LogDepth);
  }
  ASSERT_TRUE(ResetSpooler(SpoolerLeftRunning));
  {
    RunContext run;
    CreatePrinter(run.c, L"No Monitor Yet");
    std::vector<std::wstring> lines = run.Lines();
    int listed = IndexOf(lines, L"  ------- 1 existing monitors ----------");
    ASSERT_GE(listed, 0) << run.Log().c_str();
    EXPECT_EQ(L"  1. Local Port", lines[listed + 1]);
    EXPECT_EQ(L"  ---------------------------------------", lines[listed + 2]);
  }

  InstallMonitorAndDriver(StageComponents(2436));
  RunContext run;
  CreateAndClose(run.c, L"Busy");
  EXPECT_GE(IndexOf(run.Lines(), L"  Port monitor is found"), 0);
  // A job still being written keeps the printer busy until the removal purges it.
  HANDLE user = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<wchar_t*>(L"Busy"), &user, nullptr));
  DOC_INFO_1W doc = {const_cast<wchar_t*>(L"queued"), nullptr, const_cast<wchar_t*>(L"RAW")};
  ASSERT_NE(0u, StartDocPrinterW(user, 1, reinterpret_cast<BYTE*>(&doc)));
  DWORD written = 0;
  ASSERT_TRUE(WritePrinter(user, const_cast<char*>("data"), 4, &written));
  run.SetupLines += run.Lines().size();
  RemovePrinter(run.c, L"Busy");
  RemovePrinter(run.c, L"Gone");
  ASSERT_TRUE(SetSpoolerFault(FaultAddPrinterW, 1));
  EXPECT_EQ(nullptr, CreatePrinter(run.c, L"Refused"));
  std::vector<std::wstring> lines = run.Lines();
  ASSERT_GE(lines.size(), 6u) << run.Log().c_str();
  EXPECT_EQ(L">DeletePrinter(Busy)", lines[0]);
  EXPECT_EQ(L"  Jobs deleted with the printer: 1", lines[1]);  // the log says what the purge took
  EXPECT_EQ(L"  OK", lines[2]);
  EXPECT_EQ(L">DeletePrinter(Gone)", lines[3]);
  EXPECT_EQ(0u, lines[4].find(L"  Error(16): Can`t open printer 'Gone' - ("));
  EXPECT_EQ(L">AddPrinter(Refused)", lines[5]);
  EXPECT_EQ(L"  Error(15): Can`t add printer 'Refused' - (" + SystemText(ERROR_NOT_ENOUGH_MEMORY) + L")", lines.back());
  EXPECT_EQ(L"", ReadPrinter(L"Busy").Name);
  EXPECT_FALSE(EndDocPrinter(user));
  ClosePrinter(user);
}

TEST_F(PrinterObjects, AReinstallBringsBackThePrintersWithKeyNamesAndNothingElse) {
  std::wstring components = StageComponents(2436);
  InstallMonitorAndDriver(components);
  {
    RunContext run;
    for (const wchar_t* name : {L"Quill A", L"Quill B", L"Quill Keyless", L"Quill Unterminated"}) CreateAndClose(run.c, name);
  }
  ASSERT_TRUE(AddForeignPrinter(L"Other Printer"));
  SetKeyName(L"Quill A", false, "KeyA", 5);
  SetKeyName(L"Quill B", true, "KeyB", 5);
  char unterminated[SubKeyBytes];
  memset(unterminated, 'x', sizeof(unterminated));
  SetKeyName(L"Quill Unterminated", false, unterminated, sizeof(unterminated));
  SetCommentAndLocation(L"Quill A", L"first floor", L"room 1");
  SetCommentAndLocation(L"Quill B", L"second floor", L"room 2");
  MarkDeleted("KeyA");
  MarkDeleted("KeyB");
  ASSERT_TRUE(SetDefaultPrinterName(L"Quill A"));

  {
    RunContext run(components);
    DeleteAllPrinters(run.c);
    // Newest first: B was remembered after A; neither the keyless nor the unterminated one is.
    ASSERT_NE(nullptr, run.c.SavedPrinters);
    EXPECT_STREQ("KeyB", run.c.SavedPrinters->subKey);
    ASSERT_NE(nullptr, run.c.SavedPrinters->next);
    EXPECT_STREQ("KeyA", run.c.SavedPrinters->next->subKey);
    EXPECT_EQ(nullptr, run.c.SavedPrinters->next->next);
    for (const wchar_t* gone : {L"Quill A", L"Quill B", L"Quill Keyless", L"Quill Unterminated"}) EXPECT_EQ(L"", ReadPrinter(gone).Name) << gone;
    EXPECT_EQ(L"Other Printer", ReadPrinter(L"Other Printer").Name);

    RestorePrinters(run.c);
    std::vector<std::wstring> lines = run.Lines();
    int b = IndexOf(lines, L">AddPrinter(Quill B)"), a = IndexOf(lines, L">AddPrinter(Quill A)");
    ASSERT_GE(b, 0) << run.Log().c_str();
    EXPECT_LT(b, a);
    EXPECT_EQ(0, run.c.ErrorCount) << run.Log().c_str();
  }
  for (const char* key : {"KeyA", "KeyB"}) EXPECT_FALSE(HasDeletedMark(key)) << key;
  EXPECT_EQ("KeyA", KeyName(L"Quill A", false));
  EXPECT_EQ("KeyA", KeyName(L"Quill A", true));
  EXPECT_EQ("KeyB", KeyName(L"Quill B", false));
  EXPECT_EQ("KeyB", KeyName(L"Quill B", true));
  PrinterState a = ReadPrinter(L"Quill A"), b = ReadPrinter(L"Quill B");
  EXPECT_EQ(L"first floor", a.Comment);
  EXPECT_EQ(L"room 1", a.Location);
  EXPECT_EQ(L"second floor", b.Comment);
  EXPECT_EQ(L"room 2", b.Location);
  EXPECT_EQ(L"Quillstack:", b.Port);
  EXPECT_EQ(L"Quill A", DefaultPrinter());
  EXPECT_EQ(L"", ReadPrinter(L"Quill Keyless").Name);
  EXPECT_EQ(L"", ReadPrinter(L"Quill Unterminated").Name);
  EXPECT_EQ(L"Other Vendor Printer", ReadPrinter(L"Other Printer").Driver);
  EXPECT_EQ(L"", ReadPrinter(L"Quillstack").Name);

  // Nothing remembered: the machine gets the printer "Quillstack".
  RunContext fresh(components);
  RestorePrinters(fresh.c);
  EXPECT_EQ(L"Quillstack printer", ReadPrinter(L"Quillstack").Driver) << fresh.Log().c_str();
  EXPECT_EQ(L"Quill A", DefaultPrinter());
}
