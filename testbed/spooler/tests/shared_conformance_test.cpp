// GetPrinterDriverDirectoryW and the default-printer ordinals 203/204: run against the stand-in
// and (QUILL_AGAINST_WINE) against Wine's winspool.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

namespace {

typedef BOOL(WINAPI* GetDefaultFunction)(LPWSTR, LPDWORD);
typedef BOOL(WINAPI* SetDefaultFunction)(LPCWSTR);

class Shared : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetSpooler()) << GetLastError();
    HMODULE spooler = GetModuleHandleW(L"winspool.drv");
    ASSERT_NE(nullptr, spooler);
    GetDefault = reinterpret_cast<GetDefaultFunction>(reinterpret_cast<void*>(GetProcAddress(spooler, MAKEINTRESOURCEA(203))));
    SetDefault = reinterpret_cast<SetDefaultFunction>(reinterpret_cast<void*>(GetProcAddress(spooler, MAKEINTRESOURCEA(204))));
    ASSERT_NE(nullptr, GetDefault);
    ASSERT_NE(nullptr, SetDefault);
  }
  void TearDown() override { ResetSpooler(SpoolerLeftStopped); }
  GetDefaultFunction GetDefault = nullptr;
  SetDefaultFunction SetDefault = nullptr;
};

TEST_F(Shared, TheProgramLoadsTheSpoolerItIsMeantToTest) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"winspool.drv"), path, MAX_PATH);
  std::wstring loaded = path;
#ifdef QUILL_AGAINST_WINE
  EXPECT_EQ(0, _wcsicmp(loaded.c_str(), SystemFile(L"winspool.drv").c_str())) << loaded;
#else
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder = self;
  folder = folder.substr(0, folder.find_last_of(L'\\'));
  EXPECT_EQ(0, _wcsicmp(loaded.c_str(), (folder + L"\\winspool.drv").c_str())) << loaded;
#endif
}

TEST_F(Shared, DriverDirectoryFollowsTheTwoCallProtocol) {
  DWORD needed = 0;
  wchar_t environment[] = L"Windows x64";
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, environment, 1, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::wstring expected = SystemFile(L"spool\\drivers\\x64");
  EXPECT_EQ((expected.size() + 1) * sizeof(wchar_t), needed);
  std::vector<wchar_t> buffer(MAX_PATH, 0);
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, environment, 1, reinterpret_cast<BYTE*>(buffer.data()), needed,
                                         &needed))
      << GetLastError();
  EXPECT_EQ(0, _wcsicmp(expected.c_str(), buffer.data())) << buffer.data();
  wchar_t x86[] = L"Windows NT x86";
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, x86, 1, reinterpret_cast<BYTE*>(buffer.data()),
                                         static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed));
  EXPECT_EQ(0, _wcsicmp(SystemFile(L"spool\\drivers\\w32x86").c_str(), buffer.data())) << buffer.data();
  wchar_t unknown[] = L"Windows 4.0 Itanium";
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, unknown, 1, reinterpret_cast<BYTE*>(buffer.data()),
                                          static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT), GetLastError());
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, environment, 2, reinterpret_cast<BYTE*>(buffer.data()),
                                          static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
}

TEST_F(Shared, NoDefaultPrinterOnAPlainMachine) {
  wchar_t name[260] = {};
  DWORD chars = 260;
  EXPECT_FALSE(GetDefault(name, &chars));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(SetDefault(L"No such printer"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
}

#ifndef QUILL_AGAINST_WINE

TEST_F(Shared, DefaultPrinterIsSetReadBackAndForgottenWithThePrinter) {
  ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt"));
  HANDLE first = AddTestPrinter(L"First printer", L"LPT1:", TEST_DRIVER);
  HANDLE second = AddTestPrinter(L"Second printer", L"FILE:", TEST_DRIVER);
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  EXPECT_TRUE(SetDefault(L"second PRINTER")) << GetLastError();
  DWORD chars = 3;
  wchar_t small[3] = {};
  EXPECT_FALSE(GetDefault(small, &chars));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(wcslen(L"Second printer") + 1, chars);
  wchar_t name[260] = {};
  chars = 260;
  ASSERT_TRUE(GetDefault(name, &chars));
  EXPECT_STREQ(L"Second printer", name);
  EXPECT_EQ(wcslen(L"Second printer") + 1, chars);
  ASSERT_TRUE(DeletePrinter(second)) << GetLastError();
  chars = 260;
  EXPECT_FALSE(GetDefault(name, &chars));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  ClosePrinter(second);
  ClosePrinter(first);
}

TEST_F(Shared, DefaultPrinterCallsFailWhileTheServiceIsStopped) {
  ASSERT_TRUE(StopSpoolerService());
  wchar_t name[260] = {};
  DWORD chars = 260, needed = 0;
  EXPECT_FALSE(GetDefault(name, &chars));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  EXPECT_FALSE(SetDefault(L"First printer"));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
  EXPECT_FALSE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE), GetLastError());
}

#endif

}  // namespace
