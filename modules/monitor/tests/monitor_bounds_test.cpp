// The port monitor never holds the spooler without bound, and its data pipe admits only the job's
// owner and SYSTEM: StartDocPort with no dispatcher, or with one that never says Hello, fails
// after about 10 s with ERROR_NOT_READY; WritePort to a dispatcher that stops reading fails after
// about 30 s without progress. A stand-in dispatcher plays the other end.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include "modules/monitor/monitor_job.h"
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
  HANDLE Drain = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // set: read everything from now on
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
    HANDLE either[2] = {Stop, Drain};
    if (WaitForMultipleObjects(2, either, FALSE, 60000) == WAIT_OBJECT_0 + 1 && data != INVALID_HANDLE_VALUE) {
      static char sink[65536];
      DWORD got = 0;
      while (ReadFile(data, sink, sizeof(sink), &got, nullptr) || GetLastError() == ERROR_MORE_DATA) {
      }
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
    CloseHandle(Drain);
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

namespace {

// The spooler's thread that writes the job: WritePort until a call has to wait for the stalled
// dispatcher, which then ends it by the ClosePort of another thread.
struct SpoolerWriter {
  MonitorModule* Monitor = nullptr;
  HANDLE Port = nullptr;
  std::string Chunk = std::string(65536, 'p');
  volatile LONG CallStarted = 0;  // tick count at the start of the call in progress, 0 between calls
  BOOL LastResult = TRUE;
  DWORD LastError = 0;
  DWORD ReturnTick = 0;  // when the failing call returned
  HANDLE Returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // the failing call has returned
  static DWORD WINAPI Run(LPVOID self) {
    SpoolerWriter& me = *static_cast<SpoolerWriter*>(self);
    for (int i = 0; i < 1000 && me.LastResult; ++i) {
      DWORD written = 0;
      InterlockedExchange(&me.CallStarted, static_cast<LONG>(GetTickCount() | 1));
      me.LastResult = me.Monitor->Calls->pfnWritePort(me.Port, reinterpret_cast<BYTE*>(&me.Chunk[0]), 65536, &written);
      me.LastError = GetLastError();
      me.ReturnTick = GetTickCount();
      InterlockedExchange(&me.CallStarted, 0);
    }
    SetEvent(me.Returned);
    return 0;
  }
  // Whether a call has been waiting for at least ms.
  bool Waiting(DWORD ms) const {
    LONG started = CallStarted;
    return started != 0 && GetTickCount() - static_cast<DWORD>(started) >= ms;
  }
};

// Blocks of a port's size and of a record's size, as the heap hands them out after a port was
// freed, each filled with a pattern; any change means someone wrote into freed memory.
struct GuardBlocks {
  std::vector<BYTE*> Blocks;
  std::vector<SIZE_T> Sizes;
  void Take(SIZE_T size, int count) {
    for (int i = 0; i < count; ++i) {
      BYTE* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size));
      if (!block) continue;
      memset(block, 0xA5, size);
      Blocks.push_back(block);
      Sizes.push_back(size);
    }
  }
  size_t Changed() const {
    size_t changed = 0;
    for (size_t i = 0; i < Blocks.size(); ++i)
      for (SIZE_T at = 0; at < Sizes[i]; ++at)
        if (Blocks[i][at] != 0xA5) {
          ++changed;
          break;
        }
    return changed;
  }
  ~GuardBlocks() {
    for (BYTE* block : Blocks) LocalFree(block);
  }
};

// ClosePort on one thread while WritePort waits on another: the close ends the wait at once and
// returns only after the waiting call has, and nothing writes into the freed port afterwards, not
// even when the dispatcher finally reads everything. A StartDocPort waiting for a dispatcher is
// ended the same way.
TEST_F(MonitorBounds, ClosePortEndsTheCallsOfOtherThreadsFirstAndNothingTouchesTheFreedPort) {
  StalledDispatcher stalled;
  ASSERT_TRUE(stalled.Start());
  DWORD error = 0, ms = 0;
  ASSERT_TRUE(StartDoc(&error, &ms)) << error;
  SpoolerWriter writer;
  writer.Monitor = &Monitor;
  writer.Port = Port;
  HANDLE thread = CreateThread(nullptr, 0, SpoolerWriter::Run, &writer, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  DWORD start = GetTickCount();
  while (!writer.Waiting(1000) && WaitForSingleObject(writer.Returned, 0) != WAIT_OBJECT_0 && GetTickCount() - start < 20000) Sleep(20);
  ASSERT_TRUE(writer.Waiting(1000)) << "no WritePort waits for the stalled dispatcher";
  start = GetTickCount();
  EXPECT_TRUE(Monitor.Calls->pfnClosePort(Port));
  DWORD closed = GetTickCount(), closeTook = closed - start;
  Port = nullptr;
  GuardBlocks guards;
  // Sizes about a port's, whatever its exact layout, as the heap hands out blocks of a size class.
  for (SIZE_T size = sizeof(MonitorPort) - 64; size <= sizeof(MonitorPort) + 64; size += 8) guards.Take(size, 8);
  guards.Take(sizeof(RecordHeader) + QUILL_MAX_PAYLOAD, 8);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer.Returned, 5000));
  // The call leaves the port just before it returns; its thread may be scheduled a little later.
  EXPECT_LE(static_cast<LONG>(writer.ReturnTick - closed), 100) << "WritePort went on long after the close";
  EXPECT_LT(closeTook, 5000u) << "the close waited for the stalled dispatcher";
  EXPECT_FALSE(writer.LastResult);
  EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), writer.LastError);
  // The dispatcher now takes whatever is in the pipe: a write still under way would complete now.
  SetEvent(stalled.Drain);
  Sleep(1500);
  EXPECT_EQ(0u, guards.Changed()) << "of " << guards.Blocks.size() << " blocks handed out after the port was freed";
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);

  // A StartDocPort that waits for a dispatcher (none listens any more) ends with the close too.
  SetEvent(stalled.Stop);
  ASSERT_TRUE(WaitForJobPipeGone(10000));
  wchar_t name[] = L"Quillstack:";
  ASSERT_TRUE(Monitor.Calls->pfnOpenPort(Monitor.Monitor, name, &Port));
  struct Starter {
    MonitorModule* Monitor;
    HANDLE Port;
    BOOL Result = TRUE;
    DWORD Took = 0, ReturnTick = 0;
    static DWORD WINAPI Run(LPVOID self) {
      Starter& me = *static_cast<Starter*>(self);
      wchar_t printer[] = L"Quillstack", document[] = L"Closed while starting.txt", raw[] = L"RAW";
      DOC_INFO_1W info = {document, nullptr, raw};
      DWORD start = GetTickCount();
      me.Result = me.Monitor->Calls->pfnStartDocPort(me.Port, printer, 6, 1, reinterpret_cast<BYTE*>(&info));
      me.ReturnTick = GetTickCount();
      me.Took = me.ReturnTick - start;
      return 0;
    }
  } starter;
  starter.Monitor = &Monitor;
  starter.Port = Port;
  thread = CreateThread(nullptr, 0, Starter::Run, &starter, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  Sleep(2000);
  start = GetTickCount();
  EXPECT_TRUE(Monitor.Calls->pfnClosePort(Port));
  closed = GetTickCount();
  closeTook = closed - start;
  Port = nullptr;
  GuardBlocks moreGuards;
  for (SIZE_T size = sizeof(MonitorPort) - 64; size <= sizeof(MonitorPort) + 64; size += 8) moreGuards.Take(size, 8);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
  EXPECT_LE(static_cast<LONG>(starter.ReturnTick - closed), 100) << "StartDocPort went on long after the close";
  EXPECT_LT(closeTook, 3000u);
  EXPECT_FALSE(starter.Result);
  EXPECT_LT(starter.Took, 6000u) << "StartDocPort waited out its whole connect time";
  Sleep(500);
  EXPECT_EQ(0u, moreGuards.Changed());
  CloseHandle(thread);
}

}  // namespace
