// Closing the product's help windows before an install or uninstall.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "install/control/command_line.h"

namespace {

// A top-level window of this process on a thread of its own, with its own message loop.
struct TestWindow {
  std::thread Thread;
  std::atomic<HWND> Window{nullptr};
  std::atomic<int> CloseRequests{0};
  bool IgnoreClose = false;
  DWORD ThreadId = 0;

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TestWindow* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) {
      ++self->CloseRequests;
      if (self->IgnoreClose) return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
  }

  void Open(const wchar_t* className, const wchar_t* title, bool ignoreClose) {
    IgnoreClose = ignoreClose;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::wstring cls = className, text = title;
    Thread = std::thread([this, cls, text, ready] {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = cls.c_str();
      RegisterClassW(&wc);
      HWND window = CreateWindowExW(0, cls.c_str(), text.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                    wc.hInstance, nullptr);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      ThreadId = GetCurrentThreadId();
      Window = window;
      SetEvent(ready);
      MSG message;
      while (window != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
  }

  bool Alive() const { return Window.load() != nullptr && IsWindow(Window.load()); }

  ~TestWindow() {
    if (Alive()) PostMessageW(Window.load(), WM_CLOSE, 0, 0);
    if (Thread.joinable()) Thread.join();
  }
};

DWORD ElapsedSince(DWORD start) { return GetTickCount() - start; }

}  // namespace

TEST(CloseHelpWindows, ClosesTheProductsHelpAndLeavesOtherWindows) {
  TestWindow help, otherTitle, otherClass;
  help.Open(L"HH Parent", L"Quillstack Help", false);
  otherTitle.Open(L"HH Parent", L"Other Help", false);
  otherClass.Open(L"Not HH Parent", L"Quillstack Help", false);
  ASSERT_TRUE(help.Alive() && otherTitle.Alive() && otherClass.Alive());
  DWORD start = GetTickCount();
  CloseHelpWindows();
  EXPECT_LT(ElapsedSince(start), 3000u);
  EXPECT_FALSE(help.Alive());
  EXPECT_EQ(1, help.CloseRequests.load());
  EXPECT_TRUE(otherTitle.Alive());
  EXPECT_TRUE(otherClass.Alive());
  EXPECT_EQ(0, otherTitle.CloseRequests.load() + otherClass.CloseRequests.load());
}

TEST(CloseHelpWindows, NoHelpWindowReturnsAtOnce) {
  DWORD start = GetTickCount();
  CloseHelpWindows();
  EXPECT_LT(ElapsedSince(start), 500u);
}

TEST(CloseHelpWindows, GivesUpOnAWindowThatNeverClosesAfterAboutTenSeconds) {
  TestWindow stubborn;
  stubborn.Open(L"HH Parent", L"Quillstack Help", true);
  ASSERT_TRUE(stubborn.Alive());
  DWORD start = GetTickCount();
  CloseHelpWindows();
  DWORD elapsed = ElapsedSince(start);
  Sleep(200);  // the window's thread counts the last request
  EXPECT_GE(elapsed, 9000u);
  EXPECT_LE(elapsed, 15000u);
  EXPECT_TRUE(stubborn.Alive());
  EXPECT_EQ(HelpWindowCloseAttempts, stubborn.CloseRequests.load());
}
