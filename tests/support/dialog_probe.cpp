#include "dialog_probe.h"

namespace {

struct DialogSearch {
  DWORD ProcessId;
  HWND Found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->ProcessId) return TRUE;
  WCHAR name[16] = {};
  GetClassNameW(window, name, 16);
  if (lstrcmpW(name, L"#32770") != 0) return TRUE;
  search->Found = window;
  return FALSE;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

HWND FindProcessDialog(DWORD processId) {
  DialogSearch search = {processId, nullptr};
  EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND WaitForProcessDialog(DWORD processId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    PumpMessages();
    HWND dialog = FindProcessDialog(processId);
    if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(20);
  }
}

std::wstring ReadWindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"<unreadable>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 5000, &copied))
    return L"<unreadable>";
  text.resize(copied);
  return text;
}

const char* DialogCloseName(DialogClose how) {
  switch (how) {
    case DialogClose::CloseButton: return "CloseButton";
    case DialogClose::EnterKey: return "EnterKey";
    case DialogClose::EscapeKey: return "EscapeKey";
    case DialogClose::CloseBox: return "CloseBox";
  }
  return "?";
}

void CloseDialog(HWND dialog, DialogClose how) {
  if (how == DialogClose::CloseButton) {
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return;
  }
  if (how == DialogClose::CloseBox) {
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return;
  }
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus != nullptr) target = info.hwndFocus;
  WPARAM key = how == DialogClose::EnterKey ? VK_RETURN : VK_ESCAPE;
  UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
  PostMessageW(target, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (3LL << 30));
}

bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;
    PumpMessages();
  }
}
