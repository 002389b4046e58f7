// Jobs through the stand-in: a RAW job despooled by the service through the test monitor, and
// the queue operations around it.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

namespace {

class Jobs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ResetSpooler()) << GetLastError();
    ASSERT_TRUE(AddTestMonitor()) << GetLastError();
    ASSERT_TRUE(AddTestDriver(TEST_DRIVER, L"qt")) << GetLastError();
    Printer = AddTestPrinter(L"Quill Jobs", TEST_PORT, TEST_DRIVER);
    ASSERT_NE(nullptr, Printer) << GetLastError();
  }
  void TearDown() override {
    if (Printer) ClosePrinter(Printer);
    ResetSpooler(SpoolerLeftStopped);
  }
  DWORD Start(const wchar_t* document) {
    DOC_INFO_1W info = {const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
    return StartDocPrinterW(Printer, 1, reinterpret_cast<BYTE*>(&info));
  }
  DWORD QueuedJobs() {
    DWORD needed = 0;
    GetPrinterW(Printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(Printer, 2, buffer.data(), needed, &needed)) return 999;
    return reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())->cJobs;
  }
  HANDLE Printer = nullptr;
};

TEST_F(Jobs, RawJobReachesTheMonitorWithItsNameAndExactlyItsBytes) {
  std::string data;
  for (int i = 0; i < 10007; ++i) data.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
  DWORD despooled = SpoolerJobsDespooled();
  DWORD job = Start(L"Quarterly report.pdf");
  ASSERT_NE(0u, job) << GetLastError();
  EXPECT_EQ(1u, QueuedJobs());
  ASSERT_TRUE(StartPagePrinter(Printer));
  DWORD written = 0, offset = 0;
  // Written in pieces of odd sizes, as applications do.
  for (DWORD piece : {1u, 3000u, 5000u, 2006u}) {
    ASSERT_TRUE(WritePrinter(Printer, const_cast<char*>(data.data()) + offset, piece, &written)) << GetLastError();
    EXPECT_EQ(piece, written);
    offset += piece;
  }
  ASSERT_EQ(data.size(), offset);
  ASSERT_TRUE(EndPagePrinter(Printer));
  ASSERT_TRUE(EndDocPrinter(Printer)) << GetLastError();
  EXPECT_EQ(despooled + 1, SpoolerJobsDespooled());
  EXPECT_EQ(0u, LastSpoolerJobError());
  EXPECT_EQ(0u, QueuedJobs());
  EXPECT_EQ(data, ReadWholeFile(MonitorJobFile(job, L".bin")));
  std::string log = ReadWholeFile(MonitorJobFile(job, L".txt"));
  EXPECT_NE(std::string::npos, log.find("document=Quarterly report.pdf\n")) << log;
  EXPECT_NE(std::string::npos, log.find("printer=Quill Jobs\n")) << log;
  EXPECT_NE(std::string::npos, log.find("datatype=RAW\n")) << log;
  // 10007 bytes in 4096-byte chunks, at most 1000 taken a call: 12 writes (5, 5 and 2), then the ending.
  size_t writes = 0;
  for (size_t at = log.find("WritePort"); at != std::string::npos; at = log.find("WritePort", at + 1)) ++writes;
  EXPECT_EQ(12u, writes);
  EXPECT_LT(log.find("StartDocPort"), log.find("WritePort"));
  EXPECT_LT(log.rfind("WritePort"), log.find("EndDocPort"));
  EXPECT_LT(log.find("EndDocPort"), log.find("ClosePort"));
}

TEST_F(Jobs, DocumentCallsOutsideADocumentFail) {
  DWORD written = 0;
  char byte = 'x';
  EXPECT_FALSE(WritePrinter(Printer, &byte, 1, &written));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SPL_NO_STARTDOC), GetLastError());
  EXPECT_FALSE(EndDocPrinter(Printer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SPL_NO_STARTDOC), GetLastError());
  EXPECT_FALSE(AbortPrinter(Printer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SPL_NO_STARTDOC), GetLastError());
  DOC_INFO_1W emf = {const_cast<LPWSTR>(L"doc"), nullptr, const_cast<LPWSTR>(L"NT EMF 1.008")};
  EXPECT_EQ(0u, StartDocPrinterW(Printer, 1, reinterpret_cast<BYTE*>(&emf)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATATYPE), GetLastError());
}

TEST_F(Jobs, PurgeAndAbortDropJobsAndAQueuedJobKeepsThePrinter) {
  DWORD despooled = SpoolerJobsDespooled();
  ASSERT_NE(0u, Start(L"aborted"));
  ASSERT_TRUE(AbortPrinter(Printer)) << GetLastError();
  EXPECT_EQ(0u, QueuedJobs());
  ASSERT_NE(0u, Start(L"purged"));
  EXPECT_EQ(1u, QueuedJobs());
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> listing(needed);
  ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, listing.data(), needed, &needed, &count));
  ASSERT_EQ(1u, count);
  EXPECT_EQ(1u, reinterpret_cast<PRINTER_INFO_2W*>(listing.data())->cJobs);
  EXPECT_FALSE(DeletePrinter(Printer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINTER_HAS_JOBS_QUEUED), GetLastError());
  ASSERT_TRUE(SetPrinterW(Printer, 0, nullptr, PRINTER_CONTROL_PURGE)) << GetLastError();
  EXPECT_EQ(0u, QueuedJobs());
  EXPECT_FALSE(EndDocPrinter(Printer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_CANCELLED), GetLastError());
  EXPECT_EQ(despooled, SpoolerJobsDespooled());
  EXPECT_TRUE(DeletePrinter(Printer)) << GetLastError();
}

}  // namespace
