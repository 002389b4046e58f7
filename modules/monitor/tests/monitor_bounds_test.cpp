// The port monitor never holds the spooler without bound, and its data pipe admits only the job's
// owner and SYSTEM: StartDocPort with no dispatcher, or with one that never says Hello, fails
// after about 10 s with ERROR_NOT_READY; WritePort to a dispatcher that stops reading fails after
// about 30 s without progress. A stand-in dispatcher plays the other end.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "modules/monitor/tests/spooler_side.h"
#include "shared/pipe_peer.h"
#include "quilltray/tests/tray_test_support.h"

namespace {

// The server side of the job pipe for one connection, on a thread of its own: it accepts,
// writes the Hello (unless told not to), opens the data pipe, reads the first record and then
// reads nothing more until it is told to stop.
struct StalledDispatcher {
  bool SayHello = true;
  HANDLE Thread = nullptr;
  HANDLE Stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Listening = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::string FirstRecord;
  std::wstring DataPipeSddl;

  static DWORD WINAPI Run(LPVOID self) {
    static_cast<StalledDispatcher*>(self)->Serve();
    return 0;
  }
  void Serve() {
    HANDLE pipe = CreateNamedPipeA(QUILL_JOB_PIPE_NAME, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                   2048, 2048, 0, nullptr);
    SetEvent(Listening);
    if (pipe == INVALID_HANDLE_VALUE) return;
    HANDLE data = INVALID_HANDLE_VALUE;
    if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
      Hello hello = {77, 1};
      DWORD done = 0;
      if (SayHello && WriteFile(pipe, &hello, sizeof(hello), &done, nullptr)) {
        const char name[] = QUILL_JOB_PIPE_NAME ".77";
        for (int i = 0; i < 100 && data == INVALID_HANDLE_VALUE; ++i) {
          data = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
          if (data == INVALID_HANDLE_VALUE) Sleep(50);
        }
      }
    }
    if (data != INVALID_HANDLE_VALUE) {
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      PACL dacl = nullptr;
      LPWSTR text = nullptr;
      if (GetSecurityInfo(data, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                          &descriptor) == ERROR_SUCCESS &&
          ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                               &text, nullptr)) {
        DataPipeSddl = text;
        LocalFree(text);
      }
      if (descriptor) LocalFree(descriptor);
      char record[70000];
      DWORD got = 0;
      if (ReadFile(data, record, sizeof(record), &got, nullptr)) FirstRecord.assign(record, got);
    }
    WaitForSingleObject(Stop, 60000);
    if (data != INVALID_HANDLE_VALUE) CloseHandle(data);
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
  }
  bool Start() {
    Thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    return Thread && WaitForSingleObject(Listening, 5000) == WAIT_OBJECT_0;
  }
  ~StalledDispatcher() {
    SetEvent(Stop);
    if (Thread) WaitForSingleObject(Thread, 10000), CloseHandle(Thread);
    CloseHandle(Stop);
    CloseHandle(Listening);
  }
};

class MonitorBounds : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WaitForJobPipeGone(10000)) << "a dispatcher is listening";
    ASSERT_TRUE(Monitor.Load(BesideTest(L"vtxmon64.dll"))) << GetLastError();
    wchar_t name[] = L"Quillstack:";
    ASSERT_TRUE(Monitor.Calls->pfnOpenPort(Monitor.Monitor, name, &Port)) << GetLastError();
  }
  void TearDown() override {
    if (Port) Monitor.Calls->pfnClosePort(Port);
  }
  // StartDocPort's outcome and how long it took.
  BOOL StartDoc(DWORD* error, DWORD* ms) {
    wchar_t printer[] = L"Quillstack", document[] = L"Bound check.txt", raw[] = L"RAW";
    DOC_INFO_1W info = {document, nullptr, raw};
    DWORD start = GetTickCount();
    SetLastError(0);
    BOOL ok = Monitor.Calls->pfnStartDocPort(Port, printer, 5, 1, reinterpret_cast<BYTE*>(&info));
    *error = GetLastError();
    *ms = GetTickCount() - start;
    return ok;
  }
  MonitorModule Monitor;
  HANDLE Port = nullptr;
};

TEST_F(MonitorBounds, StartDocPortGivesUpAfterAboutTenSecondsWithoutADispatcherOrItsHello) {
  DWORD error = 0, ms = 0;
  EXPECT_FALSE(StartDoc(&error, &ms));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), error);
  EXPECT_GE(ms, 9500u);
  EXPECT_LE(ms, 13000u);
  {
    // A dispatcher that accepts the connection and then says nothing.
    StalledDispatcher mute;
    mute.SayHello = false;
    ASSERT_TRUE(mute.Start());
    EXPECT_FALSE(StartDoc(&error, &ms));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), error);
    EXPECT_GE(ms, 9000u);
    EXPECT_LE(ms, 13000u);
  }
  // The port is usable again afterwards: no half-open job is left in it.
  DWORD written = 0;
  BYTE byte = 0;
  EXPECT_FALSE(Monitor.Calls->pfnWritePort(Port, &byte, 1, &written));
  EXPECT_EQ(0u, written);
}

TEST_F(MonitorBounds, WritePortGivesUpAfterAboutThirtySecondsWithoutProgressAndTheDataPipeIsLocalOnly) {
  StalledDispatcher stalled;
  ASSERT_TRUE(stalled.Start());
  DWORD error = 0, ms = 0;
  ASSERT_TRUE(StartDoc(&error, &ms)) << error;
  // The first record names the document (OpenSpool, title only).
  const wchar_t title[] = L"Bound check.txt";
  std::string expected("\x02\x00", 2);
  expected += std::string("\x20\x00", 2);
  expected[2] = static_cast<char>(2 + (sizeof(title) - 2));
  expected += std::string(2, '\0');
  expected.append(reinterpret_cast<const char*>(title), sizeof(title) - 2);
  for (int i = 0; i < 100 && stalled.FirstRecord.empty(); ++i) Sleep(50);
  EXPECT_EQ(expected, stalled.FirstRecord);
  // Read for the job's owner (the spooler stand-in names none: the user the monitor's caller
  // runs as), full control for SYSTEM, nothing for network logons or anyone else.
  BYTE owner[SECURITY_MAX_SID_SIZE];
  LPWSTR ownerText = nullptr;
  ASSERT_TRUE(ProcessUserSid(owner) && ConvertSidToStringSidW(owner, &ownerText));
  std::wstring sddl = stalled.DataPipeSddl;  // Windows shows generic rights mapped, Wine as given
  for (const wchar_t* mapped : {L";FA;", L";FR;"})
    for (size_t at; (at = sddl.find(mapped)) != std::wstring::npos;) sddl.replace(at + 1, 1, L"G");
  EXPECT_EQ(L"D:P(D;;GA;;;NU)(A;;GR;;;" + std::wstring(ownerText) + L")(A;;GA;;;SY)", sddl);
  LocalFree(ownerText);
  // Writes are taken while the pipe has room; then one waits for progress that never comes.
  std::string chunk(65536, 'q');
  DWORD written = 0, lastGood = GetTickCount(), took = 0;
  BOOL ok = TRUE;
  size_t total = 0;
  while (ok && total < (64u << 20)) {
    DWORD start = GetTickCount();
    ok = Monitor.Calls->pfnWritePort(Port, reinterpret_cast<BYTE*>(&chunk[0]), 65536, &written);
    error = GetLastError();
    took = GetTickCount() - start;
    if (ok) total += written, lastGood = GetTickCount();
  }
  ASSERT_FALSE(ok) << "all of " << total << " bytes taken by a dispatcher that reads nothing";
  EXPECT_EQ(static_cast<DWORD>(ERROR_TIMEOUT), error);
  EXPECT_GE(took, 29000u);
  EXPECT_LE(took, 40000u);
  EXPECT_LE(GetTickCount() - lastGood, 41000u);
  EXPECT_LT(total, 1u << 20);
  // The job is broken: its end reports the failure at once instead of waiting again.
  DWORD start = GetTickCount();
  EXPECT_FALSE(Monitor.Calls->pfnEndDocPort(Port));
  EXPECT_LT(GetTickCount() - start, 2000u);
}

}  // namespace

namespace {

// The spooler may call WritePort and ClosePort on different threads: closing the connection on
// one thread must cancel the write another thread started, not wait for a dispatcher that no
// longer reads.
struct WritingThread {
  TestWriter Writer;
  std::string Record = std::string(65539, 'w');
  HANDLE Pending = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE Closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  static DWORD WINAPI Run(LPVOID self) {
    WritingThread& me = *static_cast<WritingThread*>(self);
    if (!Connect(&me.Writer)) return 1;
    me.Writer.WriteTimeoutMs = 60000;
    for (int i = 0; i < 100 && BeginRawMessage(&me.Writer, &me.Record[0], 65539); ++i) {
      if (!HasOverlappedIoCompleted(&me.Writer.Pending)) {
        SetEvent(me.Pending);
        break;
      }
    }
    // Stays alive: a thread's end would cancel its writes by itself.
    WaitForSingleObject(me.Closed, 60000);
    return 0;
  }
};

TEST_F(MonitorBounds, AWriteStartedOnOneThreadIsCancelledByAClosingOnAnother) {
  StalledDispatcher stalled;
  ASSERT_TRUE(stalled.Start());
  WritingThread writing;
  HANDLE thread = CreateThread(nullptr, 0, WritingThread::Run, &writing, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writing.Pending, 20000)) << "no write waits for the stalled dispatcher";
  DWORD start = GetTickCount();
  CloseJobPipeWriter(&writing.Writer, false);
  EXPECT_LT(GetTickCount() - start, 5000u);
  SetEvent(writing.Closed);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  CloseHandle(writing.Pending);
  CloseHandle(writing.Closed);
}

}  // namespace
