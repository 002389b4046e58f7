// Jobs through the stand-in: a RAW job despooled by the service's own thread through the test
// monitor, a job that waits in the queue while its port fails, and the queue operations.
#include <gtest/gtest.h>

#include "spooler_test_support.h"
#include "spooler_testbed.h"

namespace {

// The service tries a failed job again after this pause (job_queue.h).
const DWORD RetryPauseMsForTests = 3000;

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
  // The printer's queue through EnumJobsW (level 1).
  std::vector<JOB_INFO_1W> ListedJobs(std::vector<BYTE>& buffer) {
    DWORD needed = 0, count = 0;
    EnumJobsW(Printer, 0, 100, 1, nullptr, 0, &needed, &count);
    buffer.assign(needed + 1, 0);
    std::vector<JOB_INFO_1W> jobs;
    if (!EnumJobsW(Printer, 0, 100, 1, buffer.data(), needed, &needed, &count)) return jobs;
    const JOB_INFO_1W* records = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
    jobs.assign(records, records + count);
    return jobs;
  }
  DWORD Print(const wchar_t* document, const std::string& data) {
    DWORD job = Start(document);
    DWORD written = 0;
    if (!job || !WritePrinter(Printer, const_cast<char*>(data.data()), static_cast<DWORD>(data.size()), &written) ||
        !EndDocPrinter(Printer))
      return 0;
    return job;
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
  ASSERT_TRUE(WaitForSpoolerJobsDespooled(despooled + 1));
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

// EndDocPrinter returns at once while the port fails; the job stays queued with an error status
// and its port's error text, is tried again every few seconds, keeps the later job of the
// printer behind it, and both come out in order once the port works. A deleted job is dropped.
TEST_F(Jobs, AJobWhosePortFailsWaitsInTheQueueAndIsRetriedUntilItGoesThrough) {
  std::wstring fail = MonitorJobFile(0, L"");
  fail = fail.substr(0, fail.rfind(L'\\')) + L"\\fail-startdoc";
  CreateDirectoryW(fail.substr(0, fail.rfind(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(CloseHandle(CreateFileW(fail.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
  DWORD despooled = SpoolerJobsDespooled();
  DWORD tick = GetTickCount();
  DWORD first = Print(L"first", std::string(5000, 'a'));
  DWORD second = Print(L"second", std::string(7000, 'b'));
  ASSERT_NE(0u, first) << GetLastError();
  ASSERT_NE(0u, second) << GetLastError();
  EXPECT_LT(GetTickCount() - tick, 5000u);
  // Two attempts of the first job, a few seconds apart; the second job waits behind it.
  std::string first2 = "job " + std::to_string(first) + "\n";
  std::string attempts;
  for (int i = 0; i < 200 && attempts != first2 + first2; ++i) {
    Sleep(50);
    attempts = ReadWholeFile(fail);
  }
  EXPECT_EQ(first2 + first2, attempts);
  EXPECT_FALSE(FileExists(MonitorJobFile(second, L".txt")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), LastSpoolerJobError());
  std::vector<BYTE> buffer;
  std::vector<JOB_INFO_1W> jobs = ListedJobs(buffer);
  ASSERT_EQ(2u, jobs.size());
  EXPECT_EQ(first, jobs[0].JobId);
  EXPECT_STREQ(L"first", jobs[0].pDocument);
  EXPECT_STREQ(L"Quill Jobs", jobs[0].pPrinterName);
  EXPECT_TRUE(jobs[0].Status & JOB_STATUS_ERROR) << jobs[0].Status;
  ASSERT_NE(nullptr, jobs[0].pStatus);
  EXPECT_NE(0u, wcslen(jobs[0].pStatus));
  EXPECT_EQ(second, jobs[1].JobId);
  EXPECT_EQ(2u, jobs[1].Position);
  EXPECT_EQ(0u, jobs[1].Status & JOB_STATUS_ERROR);
  EXPECT_EQ(despooled, SpoolerJobsDespooled());
  // The port works again: both arrive whole, the first before the second.
  ASSERT_TRUE(DeleteFileW(fail.c_str()));
  ASSERT_TRUE(WaitForSpoolerJobsDespooled(despooled + 2, 20000));
  EXPECT_EQ(std::string(5000, 'a'), ReadWholeFile(MonitorJobFile(first, L".bin")));
  EXPECT_EQ(std::string(7000, 'b'), ReadWholeFile(MonitorJobFile(second, L".bin")));
  EXPECT_TRUE(ListedJobs(buffer).empty());
  EXPECT_EQ(0u, QueuedJobs());
  // A job deleted while it waits for its retry is dropped, spool file and all.
  ASSERT_TRUE(CloseHandle(CreateFileW(fail.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
  DWORD third = Print(L"third", "ccc");
  ASSERT_NE(0u, third);
  for (int i = 0; i < 200 && LastSpoolerJobError() != ERROR_NOT_READY; ++i) Sleep(50);
  EXPECT_FALSE(SetJobW(Printer, third + 100, 0, nullptr, JOB_CONTROL_DELETE));
  ASSERT_TRUE(SetJobW(Printer, third, 0, nullptr, JOB_CONTROL_DELETE)) << GetLastError();
  // (An attempt under way when the job was deleted ends first.)
  for (int i = 0; i < 40 && !ListedJobs(buffer).empty(); ++i) Sleep(50);
  EXPECT_TRUE(ListedJobs(buffer).empty());
  DeleteFileW(fail.c_str());
  Sleep(2 * RetryPauseMsForTests);
  EXPECT_EQ(despooled + 2, SpoolerJobsDespooled());
  std::string log = ReadWholeFile(MonitorJobFile(third, L".txt"));
  EXPECT_NE(std::string::npos, log.find("StartDocPort failed\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("\nStartDocPort\n")) << log;
  EXPECT_TRUE(DeletePrinter(Printer)) << GetLastError();
}

}  // namespace
