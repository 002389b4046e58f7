// Clients that connect and hang up at once, from several threads, beside jobs that ask for the
// balloon: the dispatcher keeps serving, its handles return to where they were, and the balloons
// together count every job.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <limits.h>

#include "quilltray/tests/fake_shell_tray.h"
#include "quilltray/tests/process_figures.h"
#include "quilltray/tests/tray_test_support.h"

namespace {

const int HangUpThreads = 4;
const int HangUpsPerThread = 600;
const int JobThreads = 2;
const int JobsPerThread = 25;

DWORD WINAPI HangUps(LPVOID) {
  for (int i = 0; i < HangUpsPerThread; ++i) {
    HANDLE pipe = CreateFileA(QUILL_JOB_PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
      CloseHandle(pipe);
    } else if (!WaitNamedPipeA(QUILL_JOB_PIPE_NAME, 100)) {
      Sleep(1);
    }
  }
  return 0;
}

// Jobs ended by JobDone, each followed by ShowJobCount; the number of jobs sent.
DWORD WINAPI CountedJobs(LPVOID) {
  DWORD sent = 0;
  for (int i = 0; i < JobsPerThread; ++i) {
    TestWriter writer;
    if (!Connect(&writer)) continue;
    if (WriteOpenSpool(&writer, 0, L"counted") && WriteSpoolData(&writer, "c", 1) && WriteRecord(&writer, 6, nullptr, 0) &&
        WriteRecord(&writer, 7, nullptr, 0)) {
      ++sent;
    }
    CloseJobPipeWriter(&writer, true);
  }
  return sent;
}

// Sum of the numbers of every "Jobs printed: %d" balloon so far.
int BalloonSum(FakeShellTray* shell) {
  int sum = 0;
  for (const TrayCall& call : shell->Calls()) {
    if (call.Info.compare(0, 14, L"Jobs printed: ") == 0) sum += _wtoi(call.Info.c_str() + 14);
  }
  return sum;
}

// Waits until the dispatcher's connection threads have ended and its handle count is at most
// handles; the figures read last.
ProcessFigures Settled(DWORD processId, ULONG threads, ULONG handles) {
  ProcessFigures figures = {};
  for (int i = 0; i < 120; ++i) {
    if (ReadProcessFigures(processId, &figures) && figures.Threads <= threads && figures.Handles <= handles) break;
    Sleep(250);
  }
  return figures;
}

// One storm: the hang-up threads beside the job threads; the number of jobs served.
DWORD Storm() {
  HANDLE threads[HangUpThreads + JobThreads];
  for (int i = 0; i < HangUpThreads + JobThreads; ++i) threads[i] = CreateThread(nullptr, 0, i < HangUpThreads ? HangUps : CountedJobs, nullptr, 0, nullptr);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(HangUpThreads + JobThreads, threads, TRUE, 240000));
  DWORD jobs = 0;
  for (HANDLE thread : threads) {
    DWORD sent = 0;  // 0 from the hang-up threads
    GetExitCodeThread(thread, &sent);
    jobs += sent;
    CloseHandle(thread);
  }
  return jobs;
}

const ULONG HandleTableStep = 128;

TEST(ClientStorm, HangUpsFromSeveralThreadsLeaveTheHandleCountFlatAndEveryJobCounted) {
  FakeShellTray shell;
  ASSERT_TRUE(shell.Start());
  MainAppScope app;
  TrayProcess tray;
  ASSERT_TRUE(tray.Start());
  ProcessFigures fresh = {};
  ASSERT_TRUE(ReadProcessFigures(tray.Info.dwProcessId, &fresh));
  // Warm-up: a whole storm, so that what is loaded on first use is loaded and the handle table
  // has grown to what this many concurrent connections need.
  DWORD jobs = Storm();
  ProcessFigures before = Settled(tray.Info.dwProcessId, fresh.Threads, ULONG_MAX);
  ASSERT_LE(before.Threads, fresh.Threads) << "the warm-up's connections have ended";
  jobs += Storm();
  EXPECT_EQ(static_cast<DWORD>(2 * JobsPerThread * JobThreads), jobs) << "every job was served";

  // Wine reports the size of the handle table, which grows in steps of 128 and follows the peak
  // of concurrent connections: one step of room. A leak of a handle per hang-up is far beyond.
  ProcessFigures after = Settled(tray.Info.dwProcessId, before.Threads, before.Handles + HandleTableStep);
  EXPECT_TRUE(tray.Running());
  EXPECT_LE(after.Handles, before.Handles + HandleTableStep) << "handles before " << before.Handles;
  EXPECT_LE(after.Threads, before.Threads);
  // The last job's count may still be on its way: ask until every job has been shown once.
  for (int i = 0; i < 20 && BalloonSum(&shell) < static_cast<int>(jobs); ++i) {
    TestWriter writer;
    ASSERT_TRUE(Connect(&writer));
    ASSERT_TRUE(WriteRecord(&writer, 7, nullptr, 0));
    CloseJobPipeWriter(&writer, true);
    Sleep(100);
  }
  EXPECT_EQ(static_cast<int>(jobs), BalloonSum(&shell)) << "no job lost between showing and resetting the count";
  EXPECT_EQ(L"", SendJob(0, L"after the storm", "a"));
  EXPECT_EQ(1u, app.Calls(1, 10000).size());
  tray.End();
  shell.Stop();
  DeleteSpoolFiles();
}

}  // namespace
