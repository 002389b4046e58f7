// Printers and printer data in the stand-in: AddPrinterW, OpenPrinterW, GetPrinterW, SetPrinterW,
// EnumPrintersW, DeletePrinter, Get/SetPrinterData(Ex)A/W.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

namespace {

class Printers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetSpooler()) << GetLastError();
    ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
  }
  void TearDown() override { ResetSpooler(SpoolerLeftStopped); }
};

std::vector<BYTE> QueryLevel2(HANDLE printer) {
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<BYTE> buffer(needed);
  EXPECT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed)) << GetLastError();
  return buffer;
}

TEST_F(Printers, NullDatatypeGivesAPrinterThatOpensAndDescribesItself) {
  HANDLE added = AddTestPrinter(L"Quill A", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, added) << GetLastError();
  ClosePrinter(added);
  HANDLE printer = nullptr;
  wchar_t name[] = L"Quill A";
  ASSERT_TRUE(OpenPrinterW(name, &printer, nullptr)) << GetLastError();
  std::vector<BYTE> buffer = QueryLevel2(printer);
  const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  EXPECT_STREQ(L"Quill A", info->pPrinterName);
  EXPECT_STREQ(L"LPT1:", info->pPortName);
  EXPECT_STREQ(TEST_DRIVER, info->pDriverName);
  EXPECT_STREQ(L"WinPrint", info->pPrintProcessor);
  EXPECT_STREQ(L"RAW", info->pDatatype);
  EXPECT_STREQ(L"", info->pComment);
  EXPECT_EQ(0u, info->cJobs);
  EXPECT_FALSE(info->Attributes & PRINTER_ATTRIBUTE_DEFAULT);
  ClosePrinter(printer);
}

TEST_F(Printers, AddPrinterRefusesWithTheWindowsErrors) {
  HANDLE first = AddTestPrinter(L"Quill A", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, first);
  ClosePrinter(first);
  EXPECT_EQ(nullptr, AddTestPrinter(L"quill a", L"LPT1:", TEST_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ(nullptr, AddTestPrinter(L"Quill B", L"LPT1:", L"No such driver"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTER_DRIVER), GetLastError());
  EXPECT_EQ(nullptr, AddTestPrinter(L"Quill B", L"Nowhere:", TEST_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError());
  EXPECT_EQ(nullptr, AddTestPrinter(L"Bad\\name", L"LPT1:", TEST_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
  PRINTER_INFO_2W info = {};
  wchar_t name[] = L"Quill B", port[] = L"LPT1:", driver[] = TEST_DRIVER, processor[] = L"NoSuchProc";
  info.pPrinterName = name;
  info.pPortName = port;
  info.pDriverName = driver;
  info.pPrintProcessor = processor;
  EXPECT_EQ(nullptr, AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PRINTPROCESSOR), GetLastError());
  EXPECT_EQ(nullptr, AddPrinterW(nullptr, 1, reinterpret_cast<BYTE*>(&info)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  ASSERT_TRUE(SetSpoolerFault(FaultAddPrinterW, 1));
  EXPECT_EQ(nullptr, AddTestPrinter(L"Quill B", L"LPT1:", TEST_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  HANDLE second = AddTestPrinter(L"Quill B", L"LPT1:", TEST_DRIVER);
  EXPECT_NE(nullptr, second) << GetLastError();
  ClosePrinter(second);
  HANDLE missing = nullptr;
  wchar_t unknown[] = L"Nobody";
  EXPECT_FALSE(OpenPrinterW(unknown, &missing, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
}

TEST_F(Printers, EnumPrintersPacksEveryPrinterAndTheSecondCallFaultFailsOnce) {
  DWORD needed = 5, count = 5;
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(0u, count);
  for (const wchar_t* name : {L"Quill A", L"Quill B", L"Quill C"}) {
    HANDLE printer = AddTestPrinter(name, L"FILE:", TEST_DRIVER);
    ASSERT_NE(nullptr, printer);
    ClosePrinter(printer);
  }
  ASSERT_TRUE(SetSpoolerFault(FaultEnumPrintersW, 1));
  EXPECT_FALSE(EnumPrintersW(6, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<BYTE> buffer(needed);
  DWORD second = 0;
  EXPECT_FALSE(EnumPrintersW(6, nullptr, 2, buffer.data(), needed, &second, &count));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_GT(second, needed);
  EXPECT_EQ(0u, count);
  ASSERT_TRUE(EnumPrintersW(6, nullptr, 2, buffer.data(), needed, &second, &count)) << GetLastError();
  EXPECT_EQ(needed, second);
  ASSERT_EQ(3u, count);
  const PRINTER_INFO_2W* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    EXPECT_STREQ(L"FILE:", records[i].pPortName);
    EXPECT_GE(reinterpret_cast<const BYTE*>(records[i].pDriverName), buffer.data() + 3 * sizeof(PRINTER_INFO_2W));
    EXPECT_LT(reinterpret_cast<const BYTE*>(records[i].pDriverName), buffer.data() + buffer.size());
  }
}

TEST_F(Printers, SetPrinterChangesThePortAndRefusesUnknownOnes) {
  HANDLE printer = AddTestPrinter(L"Quill A", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, printer);
  std::vector<BYTE> buffer = QueryLevel2(printer);
  PRINTER_INFO_2W* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
  wchar_t file[] = L"file:", nowhere[] = L"Nowhere:", comment[] = L"kept";
  info->pPortName = nowhere;
  EXPECT_FALSE(SetPrinterW(printer, 2, buffer.data(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError());
  info->pPortName = file;
  info->pComment = comment;
  ASSERT_TRUE(SetPrinterW(printer, 2, buffer.data(), 0)) << GetLastError();
  std::vector<BYTE> after = QueryLevel2(printer);
  EXPECT_STREQ(L"file:", reinterpret_cast<PRINTER_INFO_2W*>(after.data())->pPortName);
  EXPECT_STREQ(L"kept", reinterpret_cast<PRINTER_INFO_2W*>(after.data())->pComment);
  // Purging an empty queue succeeds; a handle opened only for use may not change the printer.
  EXPECT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE)) << GetLastError();
  HANDLE user = nullptr;
  wchar_t name[] = L"Quill A";
  ASSERT_TRUE(OpenPrinterW(name, &user, nullptr));
  EXPECT_FALSE(SetPrinterW(user, 0, nullptr, PRINTER_CONTROL_PURGE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(DeletePrinter(user));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  ClosePrinter(user);
  ClosePrinter(printer);
}

TEST_F(Printers, RemovalWithDeleteAndAdministerAccess) {
  HANDLE added = AddTestPrinter(L"Quill A", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, added);
  ClosePrinter(added);
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, DELETE | PRINTER_ACCESS_ADMINISTER};
  HANDLE printer = nullptr;
  wchar_t name[] = L"Quill A";
  ASSERT_TRUE(OpenPrinterW(name, &printer, &defaults)) << GetLastError();
  EXPECT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE));
  EXPECT_TRUE(DeletePrinter(printer)) << GetLastError();
  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_FALSE(OpenPrinterW(name, &printer, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
}

TEST_F(Printers, HandlesDoNotSurviveAServiceRestartAndStoppedMeans1722) {
  HANDLE printer = AddTestPrinter(L"Quill A", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, printer);
  ASSERT_TRUE(StopSpoolerService());
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPrintersW(6, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  HANDLE other = nullptr;
  wchar_t name[] = L"Quill A";
  EXPECT_FALSE(OpenPrinterW(name, &other, nullptr));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  EXPECT_EQ(nullptr, AddTestPrinter(L"Quill B", L"LPT1:", TEST_DRIVER));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  ASSERT_TRUE(StartSpoolerService());
  // State survives the restart; the old handle does not.
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_TRUE(OpenPrinterW(name, &other, nullptr)) << GetLastError();
  ClosePrinter(other);
}

TEST_F(Printers, PrinterDataRoundTripsInBothCharacterSets) {
  HANDLE printer = AddTestPrinter(L"Quill A", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, printer);
  char subKey[] = "SubKey", value[] = "printer-7";
  EXPECT_EQ(0u, SetPrinterDataA(printer, subKey, REG_SZ, reinterpret_cast<BYTE*>(value), sizeof(value)));
  EXPECT_EQ(0u, SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, reinterpret_cast<BYTE*>(value), sizeof(value)));
  char read[64] = {};
  DWORD type = 0, needed = 0;
  EXPECT_EQ(0u, GetPrinterDataA(printer, subKey, &type, reinterpret_cast<BYTE*>(read), sizeof(read), &needed));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_STREQ("printer-7", read);
  EXPECT_EQ(sizeof(value), needed);
  ZeroMemory(read, sizeof(read));
  EXPECT_EQ(0u, GetPrinterDataExA(printer, "DsUser", "SubKey", &type, reinterpret_cast<BYTE*>(read), sizeof(read), &needed));
  EXPECT_STREQ("printer-7", read);
  // The wide view of the same value.
  wchar_t wide[64] = {};
  wchar_t wideName[] = L"SubKey";
  EXPECT_EQ(0u, GetPrinterDataW(printer, wideName, &type, reinterpret_cast<BYTE*>(wide), sizeof(wide), &needed));
  EXPECT_STREQ(L"printer-7", wide);
  EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA),
            GetPrinterDataW(printer, wideName, &type, reinterpret_cast<BYTE*>(wide), 4, &needed));
  EXPECT_EQ(sizeof(L"printer-7"), needed);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
            GetPrinterDataExA(printer, "NoKey", "SubKey", &type, reinterpret_cast<BYTE*>(read), sizeof(read), &needed));
  char otherValue[] = "Missing";
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
            GetPrinterDataA(printer, otherValue, &type, reinterpret_cast<BYTE*>(read), sizeof(read), &needed));
  // Reading needs use access only; writing needs administration.
  HANDLE user = nullptr;
  wchar_t name[] = L"Quill A";
  ASSERT_TRUE(OpenPrinterW(name, &user, nullptr));
  EXPECT_EQ(0u, GetPrinterDataA(user, subKey, &type, reinterpret_cast<BYTE*>(read), sizeof(read), &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
            SetPrinterDataA(user, subKey, REG_SZ, reinterpret_cast<BYTE*>(value), sizeof(value)));
  ClosePrinter(user);
  ClosePrinter(printer);
}

}  // namespace

namespace {

DWORD WINAPI OpenAndCloseMany(LPVOID failures) {
  wchar_t name[] = L"Quill A";
  for (int i = 0; i < 25; ++i) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(name, &printer, nullptr)) {
      InterlockedIncrement(static_cast<LONG*>(failures));
      continue;
    }
    ClosePrinter(printer);
  }
  return 0;
}

// While the service answers one client the others wait for the pipe; none may take the busy
// pipe for a stopped spooler.
TEST_F(Printers, ClientsCallingAtOnceAreAllServed) {
  HANDLE added = AddTestPrinter(L"Quill A", L"LPT1:", TEST_DRIVER);
  ASSERT_NE(nullptr, added);
  ClosePrinter(added);
  LONG failures = 0;
  HANDLE threads[4];
  for (HANDLE& thread : threads) {
    thread = CreateThread(nullptr, 0, OpenAndCloseMany, &failures, 0, nullptr);
    ASSERT_NE(nullptr, thread);
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(4, threads, TRUE, 120000));
  for (HANDLE thread : threads) CloseHandle(thread);
  EXPECT_EQ(0, failures);
}

}  // namespace
