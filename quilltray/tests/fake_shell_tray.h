// A window of class "Shell_TrayWnd" on a thread of its own: Wine's Shell_NotifyIconW hands every
// call to it as WM_COPYDATA, so a test sees what the dispatcher really asks of the shell.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TrayCall {
  DWORD Message;       // NIM_ADD, NIM_MODIFY, NIM_DELETE
  DWORD WindowHandle;
  UINT Id;
  UINT Flags;
  UINT CallbackMessage;
  std::wstring Tip;
  std::wstring Info;
  std::wstring InfoTitle;
  DWORD InfoFlags;
  UINT Version;
  int IconId;          // 107, 130, 131, 132, 133; 0 when no icon came, -1 when it is none of them
  DWORD Tick;          // GetTickCount when it arrived
};

struct FakeShellTray {
  bool Start();
  void Stop();
  ~FakeShellTray() { Stop(); }
  std::vector<TrayCall> Calls();
  void Clear();
  // Waits until a call satisfies the test, returns its index in Calls(), or -1.
  template <typename Test>
  int WaitFor(Test test, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
      std::vector<TrayCall> calls = Calls();
      for (size_t i = 0; i < calls.size(); ++i) {
        if (test(calls[i])) return static_cast<int>(i);
      }
      Sleep(10);
    } while (GetTickCount() - start < timeoutMs);
    return -1;
  }

  HANDLE Thread = nullptr;
  DWORD ThreadId = 0;
  HWND Window = nullptr;
};
