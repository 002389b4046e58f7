#include "started_tray.h"

#include "shared/quillstack_ids.h"

bool WaitForStartedTray(DWORD waitMs) {
  const DWORD pollMs = 100;
  for (DWORD waited = 0;; waited += pollMs) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, QUILL_TRAY_MUTEX_NAME);
    if (mutex != nullptr) {
      CloseHandle(mutex);
      return true;
    }
    if (waited >= waitMs) return false;
    Sleep(pollMs);
  }
}
