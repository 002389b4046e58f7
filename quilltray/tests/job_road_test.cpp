// The road of a print job through a real quilltray.exe: the Hello, spool files, the hand-off to
// the main-application stand-in, and the program's lifetime.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include <aclapi.h>
#include <sddl.h>

#include "quilltray/pipe_identity.h"
#include "quilltray/tests/tray_test_support.h"
#include "shared/pipe_peer.h"
#include "shared/quillstack_ids.h"

namespace {

class JobRoad : public ::testing::Test {
 protected:
  MainAppScope App;
  TrayProcess Tray;

  void SetUp() override {
    DeleteSpoolFiles();
    ASSERT_TRUE(Tray.Start());
  }
  void TearDown() override {
    Tray.End();
    DeleteSpoolFiles();
  }

  // Waits until the spool folder holds exactly count files (connections end asynchronously).
  std::vector<std::wstring> SettledSpoolFiles(size_t count, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    std::vector<std::wstring> names;
    do {
      names = SpoolFiles();
      if (names.size() == count) return names;
      Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return names;
  }
};

TEST_F(JobRoad, HelloNumbersConnectionsFromOne) {
  for (DWORD expected = 1; expected <= 3; ++expected) {
    TestWriter writer;
    ASSERT_TRUE(OpenJobPipe(&writer, 10000));
    EXPECT_EQ(expected, writer.ConnectionNumber);
    // Never creating the data pipe: the dispatcher gives up after about 5 seconds, on its own.
    CloseJobPipeWriter(&writer, false);
  }
}

TEST_F(JobRoad, FinishedJobIsHandedToTheApplication) {
  std::string data = PatternBytes(65535 * 3 + 1234, 1);
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  EXPECT_EQ(1u, writer.ConnectionNumber);
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"D:\\Docs\\report.txt"));
  ASSERT_TRUE(WriteSpoolData(&writer, data.data(), static_cast<DWORD>(data.size())));
  ASSERT_TRUE(WriteJobDoneOpen(&writer, 3));
  CloseJobPipeWriter(&writer, true);

  std::wstring file = TempFolder() + L"report.txt.Quillstack";
  std::vector<std::wstring> calls = App.Calls(1, 10000);
  ASSERT_EQ(1u, calls.size());
  std::wstring expected = L"\"" + BesideTest(L"mainapp.exe") + L"\" /drv /silent \"" + file + L"\"\t" + std::to_wstring(data.size());
  EXPECT_EQ(expected, calls[0]);
  EXPECT_EQ(std::vector<std::wstring>{L"report.txt.Quillstack"}, SettledSpoolFiles(1));
  EXPECT_TRUE(ReadWholeFile(file) == data) << "the file holds exactly the bytes sent";
}

TEST_F(JobRoad, UnfinishedJobsLeaveNothingBehind) {
  std::string data = PatternBytes(100000, 2);
  struct Ending {
    const char* Name;
    WORD Type;
    WORD PayloadLength;
  } endings[] = {{"JobDone", 6, 0}, {"JobDoneOpen without flags", 5, 0}, {"JobDoneOpen with one byte", 5, 1}, {"CloseSpool", 4, 0}, {"broken connection", 0, 0}};
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.Name);
    TestWriter writer;
    ASSERT_TRUE(Connect(&writer));
    ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"unfinished.txt"));
    ASSERT_TRUE(WriteSpoolData(&writer, data.data(), static_cast<DWORD>(data.size())));
    ASSERT_EQ(std::vector<std::wstring>{L"unfinished.txt.Quillstack"}, SettledSpoolFiles(1)) << "the file exists while the job runs";
    BYTE flags[1] = {3};
    if (ending.Type) {
      ASSERT_TRUE(WriteRecord(&writer, ending.Type, flags, ending.PayloadLength));
    }
    CloseJobPipeWriter(&writer, ending.Type != 0);
    EXPECT_TRUE(SettledSpoolFiles(0).empty());
  }
  EXPECT_TRUE(App.Calls(1, 300).empty()) << "no job was handed off";
}

TEST_F(JobRoad, CloseSpoolThenASecondFileOnTheSameConnection) {
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"first"));
  ASSERT_TRUE(WriteSpoolData(&writer, "one", 3));
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"ignored")) << "a second OpenSpool while a file is open";
  ASSERT_TRUE(WriteRecord(&writer, 4, nullptr, 0));
  ASSERT_TRUE(WriteSpoolData(&writer, "lost", 4)) << "no file open: dropped";
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"second"));
  ASSERT_TRUE(WriteSpoolData(&writer, "two", 3));
  ASSERT_TRUE(WriteRecord(&writer, 6, nullptr, 0));
  CloseJobPipeWriter(&writer, true);
  // The writer's flush returns before the dispatcher has written the bytes: wait for them.
  std::string first;
  for (DWORD waited = 0; waited < 5000 && (first = ReadWholeFile(TempFolder() + L"first.Quillstack")) != "one"; waited += 20) Sleep(20);
  EXPECT_EQ("one", first);
  std::vector<std::wstring> expected = {L"first.Quillstack"};
  EXPECT_EQ(expected, SettledSpoolFiles(1)) << "the first file is no longer the connection's to delete";
}

TEST_F(JobRoad, AJobEndedWithoutHandOffLeavesNothingWhenASecondJobFollows) {
  struct Ending {
    WORD Type;
    WORD PayloadLength;
  } endings[] = {{6, 0}, {5, 0}, {5, 1}};
  for (const Ending& ending : endings) {
    TestWriter writer;
    ASSERT_TRUE(Connect(&writer));
    ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"orphanA1"));
    ASSERT_TRUE(WriteSpoolData(&writer, "first", 5));
    BYTE flags[1] = {3};
    ASSERT_TRUE(WriteRecord(&writer, ending.Type, flags, ending.PayloadLength));
    ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"orphanB1"));
    ASSERT_TRUE(WriteSpoolData(&writer, "second", 6));
    ASSERT_TRUE(WriteRecord(&writer, 6, nullptr, 0));
    if (ending.PayloadLength) {
      ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"orphanC1")) << "and a third file, its job never ended";
    }
    CloseJobPipeWriter(&writer, true);
    EXPECT_TRUE(SettledSpoolFiles(0).empty()) << "ending " << ending.Type << "/" << ending.PayloadLength;
  }
  // The same with a hand-off at the end: only the handed-off file stays.
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"orphanA1"));
  ASSERT_TRUE(WriteRecord(&writer, 6, nullptr, 0));
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"kept"));
  ASSERT_TRUE(WriteSpoolData(&writer, "kept", 4));
  ASSERT_TRUE(WriteJobDoneOpen(&writer, 0));
  CloseJobPipeWriter(&writer, true);
  ASSERT_EQ(1u, App.Calls(1, 10000).size());
  EXPECT_EQ(std::vector<std::wstring>{L"kept.Quillstack"}, SettledSpoolFiles(1));
}

TEST_F(JobRoad, SameTitleTwiceGetsACounter) {
  ASSERT_EQ(L"", SendJob(0, L"twice.txt", "a"));
  ASSERT_EQ(L"", SendJob(3, L"twice.txt", "b")) << "TitleThenTime: differs by its stamp";
  ASSERT_EQ(L"", SendJob(0, L"twice.txt", "c"));
  // The application is started once a file is closed: only then is its content all there.
  EXPECT_EQ(3u, App.Calls(3, 10000).size());
  std::vector<std::wstring> files = SettledSpoolFiles(3);
  ASSERT_EQ(3u, files.size());
  EXPECT_EQ("a", ReadWholeFile(TempFolder() + L"twice.txt.Quillstack"));
  EXPECT_EQ("c", ReadWholeFile(TempFolder() + L"twice.txt(1).Quillstack"));
}

TEST_F(JobRoad, OverlappingConnectionsKeepTheirFilesApart) {
  const int count = 8;
  TestWriter writers[count];
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(Connect(&writers[i]));
    ASSERT_TRUE(WriteOpenSpool(&writers[i], 0, L"parallel"));
  }
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < count; ++i) {
      std::string part = PatternBytes(70000, i * 10 + round);
      ASSERT_TRUE(WriteSpoolData(&writers[i], part.data(), static_cast<DWORD>(part.size())));
    }
  }
  for (int i = 0; i < count; ++i) {
    ASSERT_TRUE(WriteJobDoneOpen(&writers[i], 0));
    CloseJobPipeWriter(&writers[i], true);
  }
  std::vector<std::wstring> calls = App.Calls(count, 15000);
  ASSERT_EQ(static_cast<size_t>(count), calls.size());
  // Which connection got which name depends on timing; each file holds one connection's bytes.
  std::vector<bool> seen(count, false);
  for (const std::wstring& name : SettledSpoolFiles(count)) {
    std::string bytes = ReadWholeFile(TempFolder() + name);
    for (int i = 0; i < count; ++i) {
      std::string expected;
      for (int round = 0; round < 4; ++round) expected += PatternBytes(70000, i * 10 + round);
      if (bytes == expected) seen[i] = true;
    }
  }
  for (int i = 0; i < count; ++i) EXPECT_TRUE(seen[i]) << "connection " << i;
}

TEST_F(JobRoad, ASecondDispatcherInTheSessionEndsWithOne) {
  TrayProcess second;
  ASSERT_TRUE(second.Start(false));
  EXPECT_EQ(1u, second.WaitForExit(10000));
  EXPECT_TRUE(Tray.Running());
  ASSERT_EQ(L"", SendJob(0, L"still served", "x")) << "the first one still serves";
  EXPECT_EQ(1u, App.Calls(1, 10000).size());
}

TEST_F(JobRoad, ExitMessageEndsTheProcess) {
  HWND window = FindTrayWindow();
  ASSERT_NE(nullptr, window);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(QUILL_TRAY_WINDOW_TITLE, title);
  EXPECT_FALSE(IsWindowVisible(window)) << "the window is never shown";
  ASSERT_TRUE(PostMessageW(window, UM_EXIT, 0, 0));
  EXPECT_EQ(0u, Tray.WaitForExit(10000));
}

TEST_F(JobRoad, ExitRecordEndsTheProcessAndLeavesTheRunningJob) {
  TestWriter job;
  ASSERT_TRUE(Connect(&job));
  ASSERT_TRUE(WriteOpenSpool(&job, 0, L"cut off"));
  ASSERT_TRUE(WriteSpoolData(&job, "partial", 7));
  ASSERT_EQ(1u, SettledSpoolFiles(1).size());
  TestWriter control;
  ASSERT_TRUE(Connect(&control));
  ASSERT_TRUE(WriteRecord(&control, 254, nullptr, 0));
  EXPECT_EQ(0u, Tray.WaitForExit(10000));
  CloseJobPipeWriter(&control, false);
  CloseJobPipeWriter(&job, false);
  EXPECT_EQ(std::vector<std::wstring>{L"cut off.Quillstack"}, SpoolFiles()) << "the partly written file stays";
}

TEST_F(JobRoad, ApplicationPathFromTheMachineWhenTheUserHasNone) {
  // An empty value under HKEY_CURRENT_USER, the stand-in under HKEY_LOCAL_MACHINE (32-bit view).
  const wchar_t key[] = L"Software\\Corvell\\Quillstack";
  std::wstring app = BesideTest(L"mainapp.exe");
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key, L"FullPathExe", REG_SZ, L"", sizeof(wchar_t)));
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, L"FullPathExe", REG_SZ, app.c_str(), static_cast<DWORD>((app.size() + 1) * 2)));
  ASSERT_EQ(L"", SendJob(0, L"machine.txt", "m"));
  std::vector<std::wstring> calls = App.Calls(1, 10000);
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, L"FullPathExe");
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(L"\"" + app + L"\" \"" + TempFolder() + L"machine.txt.Quillstack\"\t1", calls[0]);
}

TEST_F(JobRoad, WithoutAnApplicationTheFinishedFileStays) {
  const wchar_t key[] = L"Software\\Corvell\\Quillstack";
  RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"FullPathExe");
  ASSERT_EQ(L"", SendJob(0, L"nobody.txt", "n"));
  EXPECT_EQ(std::vector<std::wstring>{L"nobody.txt.Quillstack"}, SettledSpoolFiles(1));
  EXPECT_TRUE(App.Calls(1, 300).empty());
}

// The job pipe of quilltray's own logon session: served only as its user (a writer that expects
// another server, or a reader other than quilltray's user, gets nothing), open to that user and
// SYSTEM alone, named after the session; a job through it says whether it was stored.
TEST_F(JobRoad, TheSessionPipeServesItsUserAloneAndTellsWhetherAJobWasStored) {
  char name[QUILL_PIPE_NAME_CHARS];
  ASSERT_TRUE(OwnSessionPipeName(name, sizeof(name)));
  BYTE me[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(system);
  ASSERT_TRUE(ProcessUserSid(me) && CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
  TestWriter writer;
  DWORD start = GetTickCount();
  EXPECT_FALSE(OpenJobPipeAt(&writer, QUILL_JOB_PIPE_NAME ".Session4242", me, 5000));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_LT(GetTickCount() - start, 1000u) << "no session pipe is no reason to wait";
  EXPECT_FALSE(OpenJobPipeAt(&writer, name, system, 5000));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << "its server does not run as SYSTEM";
  ASSERT_TRUE(OpenJobPipeAt(&writer, name, me, 5000)) << GetLastError();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  LPWSTR sddl = nullptr, meText = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetSecurityInfo(writer.JobPipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                                               nullptr, nullptr, nullptr, &descriptor));
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr));
  ASSERT_TRUE(ConvertSidToStringSidW(me, &meText));
  std::wstring text = sddl;  // Windows shows the generic right mapped to the pipe's, Wine as given
  for (size_t at; (at = text.find(L";FA;")) != std::wstring::npos;) text.replace(at, 4, L";GA;");
  EXPECT_EQ(L"D:P(D;;GA;;;NU)(A;;GA;;;" + std::wstring(meText) + L")(A;;GA;;;SY)", text);
  LocalFree(meText), LocalFree(sddl), LocalFree(descriptor);
  ASSERT_TRUE(SetDataPipeReader(&writer, system));
  EXPECT_FALSE(CreateDataPipe(&writer, 10000)) << "quilltray is not the reader the job was meant for";
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseJobPipeWriter(&writer, false);

  ASSERT_TRUE(OpenJobPipeAt(&writer, name, me, 5000));
  ASSERT_TRUE(CreateDataPipe(&writer, 10000));
  ASSERT_TRUE(RequestJobResults(&writer)) << "quilltray offers job results";
  std::string data = PatternBytes(200000, 5);
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"Through the session.txt") && WriteSpoolData(&writer, data.data(), static_cast<DWORD>(data.size())) &&
              WriteJobDoneOpen(&writer, 0));
  DWORD result = 99;
  ASSERT_TRUE(WaitForJobResult(&writer, 10000, &result));
  EXPECT_EQ(0u, result);
  CloseJobPipeWriter(&writer, true);
  ASSERT_EQ(1u, App.Calls(1, 10000).size());
  EXPECT_TRUE(data == ReadWholeFile(TempFolder() + L"Through the session.txt.Quillstack"));
}

}  // namespace
