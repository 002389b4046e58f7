// Records a writer gets wrong, titles that try to escape, and a dispatcher that goes on serving.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "quilltray/tests/tray_test_support.h"

namespace {

class BadInput : public ::testing::Test {
 protected:
  MainAppScope App;
  TrayProcess Tray;

  void SetUp() override {
    DeleteSpoolFiles();
    ASSERT_TRUE(Tray.Start());
  }
  void TearDown() override {
    // Whatever came before, the next connection is served as usual.
    if (!HasFatalFailure()) {
      EXPECT_TRUE(Tray.Running());
      size_t before = App.Calls(0, 0).size();
      EXPECT_EQ(L"", SendJob(0, L"next.txt", "next"));
      EXPECT_EQ(before + 1, App.Calls(before + 1, 10000).size());
      EXPECT_EQ("next", ReadWholeFile(TempFolder() + L"next.txt.Quillstack"));
    }
    Tray.End();
    DeleteSpoolFiles();
  }

  // For a job whose file is made and then deleted when its connection ends: the dispatcher may
  // not have made the file yet when the writer is done, so see it come first, then go.
  static void WaitForSpoolFileToComeAndGo() {
    for (int i = 0; i < 250 && SpoolFiles().empty(); ++i) Sleep(20);
    for (int i = 0; i < 250 && !SpoolFiles().empty(); ++i) Sleep(20);
  }
};

TEST_F(BadInput, UnknownRecordTypesAreConsumedAndDropped) {
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  std::string junk = PatternBytes(5000, 9);
  for (WORD type : {0, 1, 3, 8, 9, 11, 13, 100, 253, 255, 65535}) ASSERT_TRUE(WriteRecord(&writer, type, junk.data(), static_cast<WORD>(junk.size())));
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"after junk"));
  ASSERT_TRUE(WriteRecord(&writer, 77, nullptr, 0));
  ASSERT_TRUE(WriteSpoolData(&writer, "kept", 4));
  ASSERT_TRUE(WriteJobDoneOpen(&writer, 0));
  CloseJobPipeWriter(&writer, true);
  ASSERT_EQ(1u, App.Calls(1, 10000).size());
  EXPECT_EQ("kept", ReadWholeFile(TempFolder() + L"after junk.Quillstack"));
  DeleteSpoolFiles();
}

TEST_F(BadInput, PayloadLongerThanWhatIsSentBreaksOnlyThatConnection) {
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"short payload"));
  for (int i = 0; i < 250 && SpoolFiles().empty(); ++i) Sleep(20);
  ASSERT_EQ(1u, SpoolFiles().size()) << "the job's file exists before the broken record";
  BYTE record[4 + 10] = {10, 0, 0xE8, 0x03};  // SpoolData claiming 1000 bytes, carrying 10
  ASSERT_TRUE(WriteRawMessage(&writer, record, sizeof(record)));
  CloseJobPipeWriter(&writer, false);
  WaitForSpoolFileToComeAndGo();
  EXPECT_TRUE(SpoolFiles().empty());
  EXPECT_TRUE(App.Calls(1, 200).empty());
}

TEST_F(BadInput, OpenSpoolWithoutANameModeAsTheFirstRecord) {
  for (WORD length : {0, 1}) {
    TestWriter writer;
    ASSERT_TRUE(Connect(&writer));
    BYTE payload[1] = {0};
    ASSERT_TRUE(WriteRecord(&writer, 2, payload, length));
    ASSERT_TRUE(WriteSpoolData(&writer, "data", 4));
    ASSERT_TRUE(WriteJobDoneOpen(&writer, 3));
    CloseJobPipeWriter(&writer, true);
  }
  Sleep(300);
  EXPECT_TRUE(SpoolFiles().empty()) << "no name mode: no file";
  EXPECT_TRUE(App.Calls(1, 200).empty()) << "nothing made, nothing handed off";
}

TEST_F(BadInput, TitleThatFillsThePayloadBufferIsTerminated) {
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  // A one-byte record first gives the buffer a capacity of 1 + 256 bytes; the OpenSpool payload
  // then fills all 257, so its two terminating zeros would land behind the buffer. Its title is
  // 127 units and one odd byte, which the first terminating zero completes to a 128th unit.
  ASSERT_TRUE(WriteRecord(&writer, 99, "j", 1));
  std::vector<BYTE> payload(257, 0);
  payload[0] = 2;  // TimeThenTitle: the whole title shows in the name
  for (size_t i = 2; i + 1 < payload.size(); i += 2) payload[i] = 'T';
  payload[256] = 'Z';
  ASSERT_TRUE(WriteRecord(&writer, 2, payload.data(), static_cast<WORD>(payload.size())));
  for (int i = 0; i < 250 && SpoolFiles().empty(); ++i) Sleep(20);
  std::vector<std::wstring> files = SpoolFiles();
  ASSERT_EQ(1u, files.size());
  std::wstring end = std::wstring(127, L'T') + L"Z.Quillstack";
  EXPECT_EQ(end, files[0].substr(files[0].find(L')') + 1));
  ASSERT_TRUE(WriteRecord(&writer, 6, nullptr, 0));
  CloseJobPipeWriter(&writer, true);
  WaitForSpoolFileToComeAndGo();
  EXPECT_TRUE(SpoolFiles().empty());
}

TEST_F(BadInput, OddLengthTitleEndsWithItsHalfUnit) {
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  // An earlier, longer record leaves its bytes in the payload buffer behind the title.
  std::string junk(5000, 'j');
  ASSERT_TRUE(WriteRecord(&writer, 99, junk.data(), static_cast<WORD>(junk.size())));
  const BYTE title[] = {0, 0, 'a', 0, 'b', 0, 'Z'};  // TitleOnly, "ab" and half a unit
  ASSERT_TRUE(WriteRecord(&writer, 2, title, sizeof(title)));
  ASSERT_TRUE(WriteSpoolData(&writer, "x", 1));
  ASSERT_TRUE(WriteJobDoneOpen(&writer, 0));
  CloseJobPipeWriter(&writer, true);
  ASSERT_EQ(1u, App.Calls(1, 10000).size());
  EXPECT_EQ("x", ReadWholeFile(TempFolder() + L"abZ.Quillstack"));
  EXPECT_EQ(std::vector<std::wstring>{L"abZ.Quillstack"}, SpoolFiles());
  DeleteSpoolFiles();
}

TEST_F(BadInput, HostileTitlesStayInTheTemporaryFolder) {
  const wchar_t* titles[] = {L"CON", L"nul.txt", L"Lpt1", L"COM3.doc", L"C:\\x\\AUX", L"prn ", L"..\\..\\..\\windows\\system.ini",
                             L"\\\\?\\C:\\windows\\escape", L"\\\\.\\pipe\\x", L"a:b:c", L"<>:\"/\\|?*\x01\x1f"};
  std::wstring parent = TempFolder();
  parent = parent.substr(0, parent.find_last_of(L'\\', parent.size() - 2) + 1);
  for (const wchar_t* title : titles) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(title)));
    TestWriter writer;
    ASSERT_TRUE(Connect(&writer));
    ASSERT_TRUE(WriteOpenSpool(&writer, 0, title));
    ASSERT_TRUE(WriteSpoolData(&writer, "hostile", 7));
    ASSERT_TRUE(WriteJobDoneOpen(&writer, 0));
    CloseJobPipeWriter(&writer, true);
  }
  std::vector<std::wstring> calls = App.Calls(sizeof(titles) / sizeof(titles[0]), 15000);
  ASSERT_EQ(sizeof(titles) / sizeof(titles[0]), calls.size());
  for (const std::wstring& call : calls) {
    SCOPED_TRACE(testing::PrintToString(call));
    size_t open = call.find(L"\" \"");
    ASSERT_NE(std::wstring::npos, open);
    std::wstring file = call.substr(open + 3, call.rfind(L'"') - open - 3);
    EXPECT_EQ(0u, file.find(TempFolder()));
    EXPECT_EQ(std::wstring::npos, file.find(L'\\', TempFolder().size())) << "no sub-folder";
    EXPECT_EQ(L"\t7", call.substr(call.rfind(L'\t'))) << "a real file with the job's bytes";
  }
  EXPECT_EQ(sizeof(titles) / sizeof(titles[0]), SpoolFiles().size());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((parent + L"windows").c_str()));
  DeleteSpoolFiles();
}

TEST_F(BadInput, VeryLongAndFullyMappedTitles) {
  std::wstring longTitle(4000, L'L');
  std::wstring mapped(300, L'?');
  mapped += std::wstring(300, L':') + std::wstring(300, L'/');
  for (WORD mode : {0, 1, 2, 3}) {
    ASSERT_EQ(L"", SendJob(mode, longTitle, "long"));
    ASSERT_EQ(L"", SendJob(mode, mapped, "mapped"));
  }
  std::vector<std::wstring> calls = App.Calls(8, 15000);
  ASSERT_EQ(8u, calls.size());
  for (const std::wstring& call : calls) EXPECT_NE(L"\t-1", call.substr(call.rfind(L'\t'))) << testing::PrintToString(call);
  EXPECT_EQ(8u, SpoolFiles().size());
  DeleteSpoolFiles();
}

TEST_F(BadInput, AClientThatNeverReadsItsHelloDoesNotStallTheWindow) {
  HANDLE silent = CreateFileA(QUILL_JOB_PIPE_NAME, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, silent);
  // The dispatcher gives the connection up after about 5 seconds and releases it on its window
  // thread, while this client still holds the pipe and has read nothing.
  Sleep(6500);
  DWORD_PTR result = 0;
  EXPECT_NE(0, SendMessageTimeoutW(FindTrayWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &result)) << "the window still answers";
  CloseHandle(silent);
}

}  // namespace
