// Hundreds of peers that connect and then say nothing: some serve a data pipe and never write a
// record, others never make a data pipe at all. quilltray holds no more than its bounded number of
// connection threads whatever they do, drops them after its deadline, and a writer's job still
// gets through within the port monitor's connect bound.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <vector>

#include "quilltray/pipe_identity.h"
#include "quilltray/tests/process_figures.h"
#include "quilltray/tests/tray_test_support.h"

namespace {

const int PeerThreads = 6;
const int DataPipePeersPerThread = 50;  // 300 that serve a data pipe and send nothing
const int MutePeersPerThread = 20;      // 120 that read their Hello and make no data pipe
const DWORD MonitorConnectBoundMs = 10000;

struct PeerBatch {
  std::vector<JobPipeWriter> Writers = std::vector<JobPipeWriter>(DataPipePeersPerThread + MutePeersPerThread);
  int Connected = 0;  // peers quilltray accepted and served a Hello
  static DWORD WINAPI Run(LPVOID self) {
    PeerBatch& batch = *static_cast<PeerBatch*>(self);
    for (size_t i = 0; i < batch.Writers.size(); ++i) {
      JobPipeWriter& writer = batch.Writers[i];
      ZeroMemory(&writer, sizeof(writer));
      // An attacker that does not wait for room: a refused connection is simply given up.
      if (!OpenJobPipe(&writer, 100)) continue;
      ++batch.Connected;
      if (i < static_cast<size_t>(DataPipePeersPerThread)) CreateDataPipe(&writer, 2000);
    }
    return 0;
  }
  ~PeerBatch() {
    for (JobPipeWriter& writer : Writers) CloseJobPipeWriter(&writer, false);
  }
};

TEST(SilentPeers, HoldABoundedNumberOfThreadsAreDroppedAfterTheDeadlineAndAJobStillArrives) {
  DeleteSpoolFiles();
  MainAppScope app;
  TrayProcess tray;
  ASSERT_TRUE(tray.Start());
  ProcessFigures fresh = {};
  ASSERT_TRUE(ReadProcessFigures(tray.Info.dwProcessId, &fresh));

  std::vector<PeerBatch> batches(PeerThreads);
  HANDLE threads[PeerThreads];
  for (int i = 0; i < PeerThreads; ++i) threads[i] = CreateThread(nullptr, 0, PeerBatch::Run, &batches[i], 0, nullptr);
  // Once the peers hold every thread they may have, a writer of this version connects as the port
  // monitor does: it asks again while quilltray has no room, within the monitor's bound.
  ULONG most = 0;
  for (DWORD waited = 0; waited < 10000 && most < fresh.Threads + static_cast<ULONG>(ConnectionLimit - SpoolerReserve); waited += 50) {
    ProcessFigures now = {};
    if (ReadProcessFigures(tray.Info.dwProcessId, &now) && now.Threads > most) most = now.Threads;
    Sleep(50);
  }
  TestWriter writer;
  DWORD start = GetTickCount();
  ASSERT_TRUE(ConnectJobPipe(&writer, MonitorConnectBoundMs)) << GetLastError();
  DWORD connectTook = GetTickCount() - start;
  EXPECT_LT(connectTook, MonitorConnectBoundMs);
  ASSERT_TRUE(RequestJobResults(&writer));
  std::string data = PatternBytes(150000, 9);
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"Beside the silent peers.txt") && WriteSpoolData(&writer, data.data(), static_cast<DWORD>(data.size())) &&
              WriteJobDoneOpen(&writer, 0));
  DWORD result = 99;
  ASSERT_TRUE(WaitForJobResult(&writer, 10000, &result));
  EXPECT_EQ(0u, result);
  CloseJobPipeWriter(&writer, true);

  // The figures while the peers hold what they got.
  for (int i = 0; i < 40; ++i) {
    ProcessFigures now = {};
    if (ReadProcessFigures(tray.Info.dwProcessId, &now) && now.Threads > most) most = now.Threads;
    Sleep(100);
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(PeerThreads, threads, TRUE, 120000));
  for (HANDLE thread : threads) CloseHandle(thread);
  int connected = 0;
  for (const PeerBatch& batch : batches) connected += batch.Connected;
  EXPECT_GT(connected, 0);
  printf("%d silent peers got a Hello; quilltray's threads: %lu at the start, at most %lu under the peers; the job connected in %lu ms\n",
         connected, static_cast<unsigned long>(fresh.Threads), static_cast<unsigned long>(most), static_cast<unsigned long>(connectTook));
  EXPECT_LE(most, fresh.Threads + static_cast<ULONG>(ConnectionLimit - SpoolerReserve) + 2)
      << "threads at the start " << fresh.Threads << ", peers that got a Hello " << connected;

  // Past the deadline every silent connection is dropped: the threads are back, the peers' data
  // pipes are broken, and quilltray serves on.
  ProcessFigures settled = {};
  for (int i = 0; i < 100; ++i) {
    if (ReadProcessFigures(tray.Info.dwProcessId, &settled) && settled.Threads <= fresh.Threads) break;
    Sleep(200);
  }
  EXPECT_LE(settled.Threads, fresh.Threads);
  int stillOpen = 0;
  for (PeerBatch& batch : batches)
    for (JobPipeWriter& peer : batch.Writers) {
      DWORD available = 0;
      if (peer.DataPipe && PeekNamedPipe(peer.DataPipe, nullptr, 0, nullptr, &available, nullptr)) ++stillOpen;
    }
  EXPECT_EQ(0, stillOpen) << "data pipes quilltray still holds open";
  EXPECT_TRUE(tray.Running());
  ASSERT_EQ(1u, app.Calls(1, 10000).size());
  EXPECT_TRUE(data == ReadWholeFile(TempFolder() + L"Beside the silent peers.txt.Quillstack"));
  batches.clear();
  EXPECT_EQ(L"", SendJob(0, L"after the silent peers", "s"));
  EXPECT_EQ(2u, app.Calls(2, 10000).size());
  tray.End();
  DeleteSpoolFiles();
}

}  // namespace
