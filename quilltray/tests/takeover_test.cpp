// The take-over in both directions, with this test playing the other dispatcher.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>

#include "quilltray/tests/fake_shell_tray.h"
#include "quilltray/tests/tray_test_support.h"
#include "shared/quillstack_ids.h"

namespace {

class TakeOver : public ::testing::Test {
 protected:
  FakeShellTray Shell;
  MainAppScope App;  // before the dispatcher starts: it passes its environment on
  TrayProcess Tray;
  void SetUp() override { ASSERT_TRUE(Shell.Start()); }
  void TearDown() override {
    Tray.End();
    Shell.Stop();
    DeleteSpoolFiles();
  }
};

// Waits up to timeoutMs for a client on an overlapped pipe instance.
bool WaitForClient(HANDLE pipe, DWORD timeoutMs) {
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool connected = false;
  if (ConnectNamedPipe(pipe, &overlapped) || GetLastError() == ERROR_PIPE_CONNECTED) {
    connected = true;
  } else if (GetLastError() == ERROR_IO_PENDING) {
    DWORD unused = 0;
    if (WaitForSingleObject(overlapped.hEvent, timeoutMs) == WAIT_OBJECT_0) {
      connected = GetOverlappedResult(pipe, &overlapped, &unused, FALSE) != FALSE;
    } else {
      CancelIo(pipe);
      GetOverlappedResult(pipe, &overlapped, &unused, TRUE);
    }
  }
  CloseHandle(overlapped.hEvent);
  return connected;
}

// Writes a Hello on the overlapped instance and waits until it is written.
bool WriteHello(HANDLE pipe, DWORD connectionNumber) {
  Hello hello = {connectionNumber, 1};
  OVERLAPPED overlapped = {};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD written = 0;
  bool ok = WriteFile(pipe, &hello, sizeof(hello), &written, &overlapped) || GetLastError() == ERROR_IO_PENDING;
  ok = ok && WaitForSingleObject(overlapped.hEvent, 5000) == WAIT_OBJECT_0 && GetOverlappedResult(pipe, &overlapped, &written, FALSE);
  CloseHandle(overlapped.hEvent);
  return ok && written == sizeof(hello);
}

TEST_F(TakeOver, StartingTellsTheServingDispatcherToStop) {
  // This test is the dispatcher that serves the job pipe when quilltray starts.
  HANDLE instance = CreateNamedPipeA(QUILL_JOB_PIPE_NAME, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, 2048, 2048, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, instance);
  ASSERT_TRUE(Tray.Start(false));
  bool connected = WaitForClient(instance, 10000);
  ASSERT_TRUE(connected) << "quilltray connects to the serving dispatcher first";
  ASSERT_TRUE(WriteHello(instance, 41));
  char name[128];
  _snprintf(name, sizeof(name), "%s.%d", QUILL_JOB_PIPE_NAME, 41);
  HANDLE data = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 200 && data == INVALID_HANDLE_VALUE; ++attempt) {
    data = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (data == INVALID_HANDLE_VALUE) Sleep(50);
  }
  ASSERT_NE(INVALID_HANDLE_VALUE, data) << "quilltray creates the data pipe named after our Hello";
  RecordHeader header = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(data, &header, sizeof(header), &read, nullptr));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(12, header.RecordType) << "StopListening";
  EXPECT_EQ(0, header.PayloadLength);
  CloseHandle(data);
  CloseHandle(instance);

  // Then it serves the pipe itself, numbering its own connections from 1.
  ASSERT_TRUE(WaitForJobPipe(10000));
  TestWriter writer;
  ASSERT_TRUE(OpenJobPipe(&writer, 10000));
  EXPECT_EQ(1u, writer.ConnectionNumber);
  CloseJobPipeWriter(&writer, false);
}

// Whoever serves the documented pipe when quilltray starts (anyone may add an instance) gets its
// stop request and nothing more: a server that opens the data pipe and never reads can't hold
// quilltray's listener, and the request stays readable after quilltray has gone on. (quilltray
// opens the pipe for identification only; Wine 8 gives the server an impersonation token
// whatever the client asks for, so that part shows only on Windows.)
TEST_F(TakeOver, AServerThatNeverReadsCantHoldTheStart) {
  HANDLE instance = CreateNamedPipeA(QUILL_JOB_PIPE_NAME, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, 2048, 2048, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, instance);
  ASSERT_TRUE(Tray.Start(false));
  ASSERT_TRUE(WaitForClient(instance, 10000));
  ASSERT_TRUE(WriteHello(instance, 43));
  char name[128];
  _snprintf(name, sizeof(name), "%s.%d", QUILL_JOB_PIPE_NAME, 43);
  HANDLE data = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 200 && data == INVALID_HANDLE_VALUE; ++attempt) {
    data = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (data == INVALID_HANDLE_VALUE) Sleep(50);
  }
  ASSERT_NE(INVALID_HANDLE_VALUE, data);
  // We read nothing: quilltray must serve all the same, and soon.
  DWORD start = GetTickCount();
  ASSERT_TRUE(WaitForJobPipe(10000)) << "the start waits for a reader that never reads";
  EXPECT_LT(GetTickCount() - start, 3000u);
  RecordHeader header = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(data, &header, sizeof(header), &read, nullptr));
  EXPECT_EQ(4u, read);
  EXPECT_EQ(RECORD_STOP_LISTENING, header.RecordType);
  CloseHandle(data);
  CloseHandle(instance);
  EXPECT_EQ(L"", SendJob(0, L"after a server that never read", "n"));
  EXPECT_EQ(1u, App.Calls(1, 10000).size());
}

TEST_F(TakeOver, AServingDispatcherThatNeverOpensItsSideIsGivenUp) {
  HANDLE instance = CreateNamedPipeA(QUILL_JOB_PIPE_NAME, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                     PIPE_UNLIMITED_INSTANCES, 2048, 2048, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, instance);
  ASSERT_TRUE(Tray.Start(false));
  ASSERT_TRUE(WaitForClient(instance, 10000));
  ASSERT_TRUE(WriteHello(instance, 5));
  // We never open the data pipe quilltray made for us: it waits about 10 seconds, then serves.
  DWORD start = GetTickCount();
  ASSERT_TRUE(WaitForJobPipe(20000));
  DWORD waited = GetTickCount() - start;
  EXPECT_GE(waited, 8000u);
  EXPECT_LE(waited, 15000u);
  CloseHandle(instance);
  TestWriter writer;
  ASSERT_TRUE(OpenJobPipe(&writer, 10000));
  EXPECT_EQ(1u, writer.ConnectionNumber);
}

TEST_F(TakeOver, AStopRequestEndsListeningAndALeftClickResumes) {
  ASSERT_TRUE(Tray.Start());
  HWND window = FindTrayWindow();
  ASSERT_NE(nullptr, window);
  // This test is the newly started dispatcher: it sends StopListening.
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_TRUE(WriteRecord(&writer, 12, nullptr, 0));
  EXPECT_GE(Shell.WaitFor([](const TrayCall& c) { return c.Message == NIM_MODIFY && c.IconId == 130; }, 5000), 0) << "not listening: icon 130";
  CloseJobPipeWriter(&writer, true);
  EXPECT_TRUE(WaitForJobPipeGone(5000)) << "once our connection is served no instance of the job pipe is left";
  Sleep(300);
  std::vector<TrayCall> calls = Shell.Calls();
  EXPECT_EQ(130, calls.back().IconId) << "a connection closing while not listening keeps 130";
  EXPECT_TRUE(Tray.Running());

  // A session connect is the other way back; here the left click.
  Shell.Clear();
  PostMessageW(window, UM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN);
  ASSERT_TRUE(WaitForJobPipe(10000));
  EXPECT_GE(Shell.WaitFor([](const TrayCall& c) { return c.Message == NIM_MODIFY && c.IconId == 107; }, 5000), 0);
  EXPECT_EQ(L"", SendJob(0, L"after resume", "r"));
  EXPECT_EQ(1u, App.Calls(1, 10000).size());
}

TEST_F(TakeOver, AStopBesideAnotherDispatchersInstanceAndAListenerThatCannotCreateItsPipe) {
  ASSERT_TRUE(Tray.Start());
  HWND window = FindTrayWindow();
  // Another dispatcher's instance waits beside quilltray's, made after it: the next client goes to
  // quilltray's, a connection after that to this one.
  HANDLE other = CreateNamedPipeA(QUILL_JOB_PIPE_NAME, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                  PIPE_UNLIMITED_INSTANCES, 2048, 2048, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  OVERLAPPED otherConnect = {};
  otherConnect.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_FALSE(ConnectNamedPipe(other, &otherConnect));
  ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_NE(WAIT_OBJECT_0, WaitForSingleObject(otherConnect.hEvent, 0)) << "the writer reached quilltray";
  ASSERT_TRUE(WriteRecord(&writer, 12, nullptr, 0));
  EXPECT_GE(Shell.WaitFor([](const TrayCall& c) { return c.Message == NIM_MODIFY && c.IconId == 130; }, 5000), 0) << "the stop reached quilltray";
  EXPECT_NE(WAIT_OBJECT_0, WaitForSingleObject(otherConnect.hEvent, 500)) << "and never the other dispatcher";
  CloseJobPipeWriter(&writer, true);
  CancelIo(other);
  CloseHandle(other);
  EXPECT_TRUE(WaitForJobPipeGone(5000)) << "quilltray has no instance left";

  // Another dispatcher now holds the name with room for one instance only: quilltray's listener,
  // started by a click, can't create its own, gives up, and the icon says so.
  HANDLE single = CreateNamedPipeA(QUILL_JOB_PIPE_NAME, PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 2048,
                                   2048, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, single);
  ConnectNamedPipe(single, &otherConnect);
  Shell.Clear();
  PostMessageW(window, UM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN);
  int listening = Shell.WaitFor([](const TrayCall& c) { return c.Message == NIM_MODIFY && c.IconId == 107; }, 5000);
  EXPECT_GE(listening, 0);
  EXPECT_GT(Shell.WaitFor([](const TrayCall& c) { return c.Message == NIM_MODIFY && c.IconId == 130; }, 15000), listening) << "not listening";
  CancelIo(single);
  CloseHandle(single);
  CloseHandle(otherConnect.hEvent);
  // Now a click starts a listener that serves.
  PostMessageW(window, UM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN);
  ASSERT_TRUE(WaitForJobPipe(10000));
  EXPECT_EQ(L"", SendJob(0, L"after the failed listener", "f"));
  EXPECT_EQ(1u, App.Calls(1, 10000).size());
}

TEST_F(TakeOver, SessionConnectResumesAndOtherChangesDoNot) {
  ASSERT_TRUE(Tray.Start());
  HWND window = FindTrayWindow();
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_TRUE(WriteRecord(&writer, 12, nullptr, 0));
  CloseJobPipeWriter(&writer, true);
  ASSERT_TRUE(WaitForJobPipeGone(5000));
  PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
  Sleep(500);
  EXPECT_TRUE(WaitForJobPipeGone(100)) << "a lock is no reason to listen";
  PostMessageW(window, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, 0);
  EXPECT_TRUE(WaitForJobPipe(10000));
}

}  // namespace
