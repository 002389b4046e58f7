// A local attacker who takes the road's pipe names before quilltray starts: the pipes of two of
// the owner's sessions (kept busy) and the documented data pipe names of the first connections
// (served with a job, a stop request and an exit request of the attacker's own). The monitor's
// jobs still arrive within its connect bound, quilltray acts on none of the attacker's words, and
// once the attacker lets its session pipe go, quilltray serves it.
#include <gtest/gtest.h>

#include <stdio.h>

#include "modules/monitor/monitor_job.h"
#include "modules/monitor/owner_session.h"
#include "modules/monitor/tests/spooler_side.h"
#include "quilltray/tests/tray_test_support.h"
#include "shared/pipe_peer.h"

namespace {

// The squatter process with its names, ended by the scope.
struct Squatter {
  PROCESS_INFORMATION Info = {};
  HANDLE Ready = nullptr;
  HANDLE Stop = nullptr;
  bool Start(const std::vector<std::string>& items) {
    wchar_t ready[64], stop[64];
    _snwprintf(ready, 64, L"QuillSquatterReady%lu", GetCurrentProcessId());
    _snwprintf(stop, 64, L"QuillSquatterStop%lu", GetCurrentProcessId());
    Ready = CreateEventW(nullptr, TRUE, FALSE, ready);
    Stop = CreateEventW(nullptr, TRUE, FALSE, stop);
    std::wstring command = L"\"" + BesideTest(L"pipe_squatter.exe") + L"\" " + ready + L" " + stop;
    for (const std::string& item : items) command += L" " + std::wstring(item.begin(), item.end());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &Info)) return false;
    HANDLE either[2] = {Ready, Info.hProcess};
    return WaitForMultipleObjects(2, either, FALSE, 20000) == WAIT_OBJECT_0;
  }
  // Ends the squatter; its exit code (how often its served names were opened).
  DWORD End() {
    DWORD code = STILL_ACTIVE;
    if (!Info.hProcess) return code;
    SetEvent(Stop);
    if (WaitForSingleObject(Info.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(Info.hProcess, 255);
    GetExitCodeProcess(Info.hProcess, &code);
    CloseHandle(Info.hProcess);
    CloseHandle(Info.hThread);
    Info = {};
    return code;
  }
  ~Squatter() {
    End();
    if (Ready) CloseHandle(Ready);
    if (Stop) CloseHandle(Stop);
  }
};

// A whole job through a connected writer that asks for its result; the result, or 99 when the
// writing failed and ~0 when no result came.
DWORD SendResultJob(JobPipeWriter* writer, const wchar_t* title, const std::string& data) {
  if (!RequestJobResults(writer)) return 98;
  if (!WriteOpenSpool(writer, 0, title) || !WriteSpoolData(writer, data.data(), static_cast<DWORD>(data.size())) ||
      !WriteJobDoneOpen(writer, 0))
    return 99;
  DWORD result = ~0u;
  if (!WaitForJobResult(writer, 10000, &result)) result = ~0u;
  CloseJobPipeWriter(writer, true);
  return result;
}

TEST(RoadUnderAttack, NamesTakenBeforeQuilltrayStartsStopNoJobAndNoneOfTheSquattersWordsIsActedOn) {
  DeleteSpoolFiles();
  ASSERT_TRUE(WaitForJobPipeGone(10000)) << "a dispatcher is listening";
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  char ownPipe[QUILL_PIPE_NAME_CHARS], otherPipe[QUILL_PIPE_NAME_CHARS];
  SessionPipeName(session, ownPipe, sizeof(ownPipe));
  SessionPipeName(session + 7, otherPipe, sizeof(otherPipe));
  std::vector<std::string> items = {std::string("busy:") + otherPipe, std::string("busy:") + ownPipe};
  for (int number = 1; number <= 40; ++number) items.push_back("serve:" QUILL_JOB_PIPE_NAME "." + std::to_string(number));
  Squatter squatter;
  ASSERT_TRUE(squatter.Start(items)) << "the squatter took its names";
  MainAppScope app;
  TrayProcess tray;
  ASSERT_TRUE(tray.Start());
  BYTE me[SECURITY_MAX_SID_SIZE];
  ASSERT_TRUE(ProcessUserSid(me));

  // Both of the owner's session pipes are held busy: each gets its bounded share of the connect
  // time, and the documented pipe the rest. Its first data pipe names are taken as well.
  DWORD sessions[2] = {session + 7, session};
  TestWriter writer;
  DWORD start = GetTickCount();
  ASSERT_TRUE(ConnectToOwnerIn(&writer, me, sessions, 2, ConnectTimeoutMs)) << GetLastError();
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 2 * SessionPipeLimitMs - 300) << "both busy session pipes were tried";
  EXPECT_LT(took, ConnectTimeoutMs);
  printf("connected past two busy session pipes in %lu ms\n", static_cast<unsigned long>(took));
  EXPECT_STREQ(QUILL_JOB_PIPE_NAME, writer.PipeName);
  EXPECT_EQ(1u, writer.ConnectionNumber) << "a connection whose documented data pipe name the squatter holds";
  EXPECT_TRUE(writer.KeyedDataPipe);
  std::string first = PatternBytes(300000, 11);
  EXPECT_EQ(0u, SendResultJob(&writer, L"Past the squatter.txt", first));

  // The monitor itself, as the spooler drives it: its next connection's name is taken too.
  MonitorModule monitor;
  ASSERT_TRUE(monitor.Load(BesideTest(L"vtxmon64.dll"))) << GetLastError();
  HANDLE port = nullptr;
  wchar_t portName[] = L"Quillstack:";
  ASSERT_TRUE(monitor.Calls->pfnOpenPort(monitor.Monitor, portName, &port));
  std::string second = PatternBytes(200000, 12);
  start = GetTickCount();
  EXPECT_EQ(0u, PrintJob(monitor, port, L"Printed past the squatter.txt", second.data(), second.size(), 4096));
  EXPECT_LT(GetTickCount() - start, ConnectTimeoutMs);
  monitor.Calls->pfnClosePort(port);
  ASSERT_EQ(2u, app.Calls(2, 10000).size());
  EXPECT_TRUE(first == ReadWholeFile(TempFolder() + L"Past the squatter.txt.Quillstack"));
  EXPECT_TRUE(second == ReadWholeFile(TempFolder() + L"Printed past the squatter.txt.Quillstack"));

  // Nothing of the squatter's was acted on: no file of its job, no start of the application for
  // it, quilltray still runs and still listens.
  Sleep(1000);
  EXPECT_EQ((std::vector<std::wstring>{L"Past the squatter.txt.Quillstack", L"Printed past the squatter.txt.Quillstack"}), SpoolFiles());
  EXPECT_EQ(2u, app.Calls(3, 500).size());
  EXPECT_TRUE(tray.Running());
  EXPECT_TRUE(WaitForJobPipe(2000));

  // The squatter lets its names go: quilltray, which has kept trying, now serves its session pipe.
  DWORD opened = squatter.End();
  EXPECT_LE(opened, 200u) << "the squatter could not keep its names";
  printf("quilltray opened the squatter's data pipes %lu times and read none of them\n", static_cast<unsigned long>(opened));
  TestWriter through;
  bool served = false;
  start = GetTickCount();
  while (!served && GetTickCount() - start < 5000) {
    served = OpenJobPipeAt(&through, ownPipe, me, 500);
    if (!served) Sleep(100);
  }
  ASSERT_TRUE(served) << "quilltray took its session pipe after the squatter";
  CloseJobPipeWriter(&through, false);
  ASSERT_TRUE(ConnectToOwnerIn(&through, me, &session, 1, ConnectTimeoutMs));
  EXPECT_STREQ(ownPipe, through.PipeName);
  EXPECT_EQ(0u, SendResultJob(&through, L"Through the freed session pipe.txt", first));
  EXPECT_EQ(3u, app.Calls(3, 10000).size());
  tray.End();
  DeleteSpoolFiles();
}

}  // namespace
