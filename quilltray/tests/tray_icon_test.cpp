// What quilltray asks of the shell: the icon for each state, the busy animation, the balloon,
// the icon added again for a new taskbar, and removed at the end.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <set>

#include "quilltray/tests/fake_shell_tray.h"
#include "quilltray/tests/tray_test_support.h"
#include "shared/quillstack_ids.h"

namespace {

class TrayIcon : public ::testing::Test {
 protected:
  FakeShellTray Shell;
  MainAppScope App;
  TrayProcess Tray;
  HWND Window = nullptr;

  void SetUp() override {
    DeleteSpoolFiles();
    ASSERT_TRUE(Shell.Start()) << "the fake shell and the dispatcher's icons";
    ASSERT_TRUE(Tray.Start());
    Window = FindTrayWindow();
    ASSERT_NE(nullptr, Window);
    ASSERT_GE(Shell.WaitFor([](const TrayCall& c) { return c.Message == NIM_ADD; }, 5000), 0);
  }
  void TearDown() override {
    Tray.End();
    Shell.Stop();
    DeleteSpoolFiles();
  }

  static auto Icon(DWORD message, int id) {
    return [message, id](const TrayCall& c) { return c.Message == message && c.IconId == id; };
  }
};

TEST_F(TrayIcon, AddedIdleWithItsTipAndCallback) {
  std::vector<TrayCall> calls = Shell.Calls();
  ASSERT_FALSE(calls.empty());
  const TrayCall& add = calls[0];
  EXPECT_EQ(static_cast<DWORD>(NIM_ADD), add.Message);
  EXPECT_EQ(107, add.IconId);
  EXPECT_EQ(1u, add.Id);
  EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), add.Flags);
  EXPECT_EQ(static_cast<UINT>(UM_TRAY_NOTIFY), add.CallbackMessage);
  EXPECT_EQ(L"Quillstack 6.4.0.2425", add.Tip);
  EXPECT_EQ(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(Window)), add.WindowHandle);
}

TEST_F(TrayIcon, AnimatesWhileAConnectionIsLiveThenRestsAt107) {
  Shell.Clear();
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_TRUE(WriteOpenSpool(&writer, 0, L"animated"));
  Sleep(1000);
  std::vector<TrayCall> busy = Shell.Calls();
  std::set<int> frames;
  for (const TrayCall& call : busy) {
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), call.Message);
    frames.insert(call.IconId);
  }
  EXPECT_EQ((std::set<int>{107, 131, 132, 133}), frames) << "four frames, 200 ms each, in one second";
  EXPECT_GE(busy.size(), 15u) << "refreshed every 25 ms";
  // The frames follow each other in order.
  const int order[] = {107, 131, 132, 133};
  for (size_t i = 1; i < busy.size(); ++i) {
    if (busy[i].IconId == busy[i - 1].IconId) continue;
    int previous = 0;
    while (order[previous] != busy[i - 1].IconId) ++previous;
    EXPECT_EQ(order[(previous + 1) % 4], busy[i].IconId);
  }

  CloseJobPipeWriter(&writer, true);
  ASSERT_GE(Shell.WaitFor([&](const TrayCall& c) { return c.Tick > busy.back().Tick && c.IconId == 107; }, 5000), 0);
  Sleep(200);
  Shell.Clear();
  Sleep(300);
  EXPECT_TRUE(Shell.Calls().empty()) << "the timer is killed once no connection is live";
}

TEST_F(TrayIcon, BalloonCountsFinishedJobs) {
  ASSERT_EQ(L"", SendJob(0, L"one", "1"));
  ASSERT_EQ(L"", SendJob(0, L"two", "2"));
  TestWriter writer;
  ASSERT_TRUE(Connect(&writer));
  ASSERT_TRUE(WriteRecord(&writer, 6, nullptr, 0)) << "a JobDone without a file counts too";
  ASSERT_TRUE(WriteRecord(&writer, 7, nullptr, 0));
  ASSERT_TRUE(WriteRecord(&writer, 7, nullptr, 0));
  CloseJobPipeWriter(&writer, true);
  auto balloon = [](const TrayCall& c) { return c.Message == NIM_MODIFY && (c.Flags & NIF_INFO); };
  ASSERT_GE(Shell.WaitFor(balloon, 5000), 0);
  Sleep(300);
  std::vector<TrayCall> balloons;
  for (const TrayCall& call : Shell.Calls()) {
    if (balloon(call)) balloons.push_back(call);
  }
  ASSERT_EQ(2u, balloons.size());
  EXPECT_EQ(L"Quillstack", balloons[0].InfoTitle);
  EXPECT_EQ(L"Jobs printed: 3", balloons[0].Info);
  EXPECT_EQ(static_cast<DWORD>(NIIF_INFO), balloons[0].InfoFlags);
  EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO | NIF_SHOWTIP), balloons[0].Flags);
  EXPECT_EQ(L"Jobs printed: 0", balloons[1].Info) << "counted afresh after each balloon";
}

TEST_F(TrayIcon, AddedAgainForANewTaskbar) {
  Shell.Clear();
  PostMessageW(Window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_GE(Shell.WaitFor(Icon(NIM_ADD, 107), 5000), 0);
}

TEST_F(TrayIcon, RemovedWhenTheProgramEnds) {
  Shell.Clear();
  PostMessageW(Window, UM_EXIT, 0, 0);
  EXPECT_EQ(0u, Tray.WaitForExit(10000));
  std::vector<TrayCall> calls = Shell.Calls();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), calls[0].Message);
  EXPECT_EQ(1u, calls[0].Id);
}

TEST_F(TrayIcon, DoubleClickOpensTheApplication) {
  PostMessageW(Window, UM_TRAY_NOTIFY, 1, WM_LBUTTONDOWN);
  PostMessageW(Window, UM_TRAY_NOTIFY, 1, WM_LBUTTONDBLCLK);
  std::vector<std::wstring> calls = App.Calls(1, 10000);
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(L"\"" + BesideTest(L"mainapp.exe") + L"\"\t-1", calls[0]);
  EXPECT_TRUE(WaitForJobPipe(1000)) << "a left click while listening changes nothing";
}

}  // namespace

namespace {

TEST(TrayResources, MenuOffersOpenAndEveryIconHasBothSizes) {
  StartDesktopQuietly();
  HMODULE module = LoadLibraryExW(BesideTest(L"quilltray.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module);
  HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(109));
  ASSERT_NE(nullptr, menu);
  HMENU popup = GetSubMenu(menu, 0);
  ASSERT_NE(nullptr, popup);
  EXPECT_EQ(1, GetMenuItemCount(popup));
  EXPECT_EQ(32771u, GetMenuItemID(popup, 0));
  wchar_t text[32] = {};
  GetMenuStringW(popup, 0, text, 32, MF_BYPOSITION);
  EXPECT_STREQ(L"&Open...", text);
  DestroyMenu(menu);
  // Each icon group holds an image of each size itself, not one that Windows scales.
  for (int id : {107, 130, 131, 132, 133}) {
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    ASSERT_NE(nullptr, group) << id;
    BYTE* directory = static_cast<BYTE*>(LockResource(LoadResource(module, group)));
    for (int size : {16, 32}) {
      int image = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
      HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(image), RT_ICON);
      ASSERT_NE(nullptr, found) << id << " at " << size;
      const BITMAPINFOHEADER* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
      EXPECT_EQ(size, header->biWidth) << id;
      EXPECT_EQ(id == 130 ? 8 : 32, header->biBitCount) << id << ": 130 has 8-bit images only, the others 32-bit too";
    }
  }
  FreeLibrary(module);
}

}  // namespace
