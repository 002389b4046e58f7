#include "quilltray/dispatcher.h"

#include <windows.h>

#include "quilltray/tray_window.h"
#include "shared/quillstack_ids.h"

int RunDispatcher() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Never closed: it marks this logon session's dispatcher as long as the process lives.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, QUILL_TRAY_MUTEX_NAME);
  if (!mutex) return 0;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  RegisterMainWindowClass(instance);
  if (!CreateMainWindow(instance)) return 0;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  EndTrayWindow();
  return static_cast<int>(message.wParam);
}
