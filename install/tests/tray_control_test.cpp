// The tray program's autostart and its removal: the real quilltray.exe started from a copy in a
// folder with a blank in its name, "removetray" as a process, and a tray window that never ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "install/tray/tray_autostart.h"
#include "install/tray/tray_control.h"
#include "shared/quillstack_ids.h"
#include "spooler_test_support.h"
#include "tests/support/product_state.h"
#include "tests/support/install_process.h"

namespace {

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

const wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring TrayFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"Quill Tray";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\";
}

// The 32-bit build's quilltray.exe as Wine sees it (drive Z: is the Unix root).
std::wstring BuiltTrayProgram() {
  std::wstring path = L"Z:";
  for (const char* c = QUILL_TRAY_EXE; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
  return path;
}

bool SetRunValue(const std::wstring& data, DWORD bytes) {
  return RegSetKeyValueW(HKEY_LOCAL_MACHINE, RunKey, L"QuillstackTray", REG_SZ, data.c_str(), bytes) == ERROR_SUCCESS;
}
bool SetRunValue(const std::wstring& text) { return SetRunValue(text, static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))); }

// A context whose installer lies in <folder>\setup\.
struct TrayContext {
  InstallContext c = {};
  explicit TrayContext(BYTE installTray) {
    AssignWide(c.ModuleDirectory, (TrayFolder() + L"setup\\").c_str());
    c.InstallTray = installTray;
  }
  ~TrayContext() { Clear(c.ModuleDirectory); }
};

int ExitRequests = 0;
LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == UM_EXIT) ++ExitRequests;
  return DefWindowProcW(window, message, wParam, lParam);
}

class TrayControl : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, RunKey, L"QuillstackTray"); }
};

}  // namespace

TEST_F(TrayControl, ProgramPathIsQuilltrayInTheInstallersParentFolder) {
  struct Case {
    const wchar_t *module, *path;
  } cases[] = {{L"D:\\Product\\Setup\\", L"D:\\Product\\quilltray.exe"},
               {L"D:/Product/Setup/", L"D:/Product\\quilltray.exe"},
               {L"D:\\", L"quilltray.exe"}};
  for (const Case& k : cases) {
    InstallContext context = {};
    AssignWide(context.ModuleDirectory, k.module);
    WideBufferScope path(TrayProgramPath(context));
    EXPECT_STREQ(k.path, Text(path.Value));
    Clear(context.ModuleDirectory);
  }
}

TEST_F(TrayControl, AutostartStartsTheTrayAndRemovalEndsItKeepingOrDeletingItsFile) {
  ASSERT_EQ(nullptr, FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr)) << "a tray program runs already";
  const std::wstring program = TrayFolder() + L"quilltray.exe";
  ASSERT_TRUE(CopyFileW(BuiltTrayProgram().c_str(), program.c_str(), FALSE)) << GetLastError();

  TrayContext noTray(0);
  InstallTrayAutostart(noTray.c);
  EXPECT_EQ(L"<none>", RunValue());

  // The tray program starts with the token of the desktop shell (this test), never the
  // installer's own elevated one.
  DesktopShell shell;
  ASSERT_TRUE(shell.Set);
  TrayContext withTray(1);
  InstallTrayAutostart(withTray.c);
  EXPECT_EQ(L"\"" + program + L"\"", RunValue());
  ASSERT_NE(nullptr, WaitForTrayWindow(20000));
  EXPECT_NE(std::wstring::npos, std::wstring(Text(withTray.c.Log)).find(L"Tray program started as the user of the desktop shell"));

  // A reinstall's removal: the program ends, its file stays for the start that follows.
  DWORD start = GetTickCount();
  RemoveTray(KeepTrayProgramFile);
  EXPECT_LT(GetTickCount() - start, 4000u);
  EXPECT_EQ(nullptr, FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr));
  EXPECT_TRUE(FileExists(program));
  EXPECT_EQ(L"<none>", RunValue());

  InstallTrayAutostart(withTray.c);
  ASSERT_NE(nullptr, WaitForTrayWindow(20000));
  start = GetTickCount();
  EXPECT_EQ(6u, RunInstallProcess(L"removetray"));
  EXPECT_LT(GetTickCount() - start, 8000u);
  EXPECT_EQ(nullptr, FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr));
  EXPECT_FALSE(FileExists(program));
  EXPECT_EQ(L"<none>", RunValue());
}

// With no tray program running, "removetray" deletes only a file called quilltray.exe.
TEST_F(TrayControl, RemovalDeletesOnlyAFileCalledQuilltray) {
  const std::wstring folder = TrayFolder();
  struct Case {
    const wchar_t* file;
    bool quoted, deleted;
  } cases[] = {{L"other.exe", true, false}, {L"quilltray.exe.bak", false, false}, {L"QuillTray.EXE", false, true},
               {L"quilltray.exe", true, true}};
  for (const Case& c : cases) {
    std::wstring path = folder + c.file;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(SetRunValue(c.quoted ? L"\"" + path + L"\"" : path));
    EXPECT_EQ(6u, RunInstallProcess(L"removetray"));
    EXPECT_EQ(!c.deleted, FileExists(path)) << c.file;
    EXPECT_EQ(L"<none>", RunValue()) << c.file;
    DeleteFileW(path.c_str());
  }
  // A value that fills the read without a terminator names no file; an empty one neither.
  std::wstring longPath = folder + std::wstring(264 - folder.size() - 14, L'x') + L"\\quilltray.exe";
  ASSERT_EQ(264u, longPath.size());
  ASSERT_TRUE(SetRunValue(longPath, 264 * sizeof(wchar_t)));
  EXPECT_EQ(6u, RunInstallProcess(L"removetray"));
  EXPECT_EQ(L"<none>", RunValue());
  ASSERT_TRUE(SetRunValue(L""));
  EXPECT_EQ(6u, RunInstallProcess(L"removetray"));
  EXPECT_EQ(L"<none>", RunValue());
}

// A tray window whose process does not end: one exit request, then a bounded wait.
TEST_F(TrayControl, ATrayThatDoesNotEndGetsOneExitRequestAndABoundedWait) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, QUILL_TRAY_MUTEX_NAME);
  ASSERT_NE(nullptr, mutex);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = CountingWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = QUILL_TRAY_WINDOW_CLASS;
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, QUILL_TRAY_WINDOW_CLASS, QUILL_TRAY_WINDOW_TITLE, WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(nullptr, window);
  const std::wstring program = TrayFolder() + L"quilltray.exe";
  HANDLE file = CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(SetRunValue(L"\"" + program + L"\""));

  DWORD start = GetTickCount();
  EXPECT_EQ(6u, RunInstallProcess(L"removetray"));  // pumps this thread's messages meanwhile
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(1, ExitRequests);
  EXPECT_GE(elapsed, 4500u);
  EXPECT_LT(elapsed, 12000u);
  EXPECT_FALSE(FileExists(program));
  EXPECT_EQ(L"<none>", RunValue());
  DestroyWindow(window);
  CloseHandle(mutex);
}
