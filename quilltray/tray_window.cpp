#include "quilltray/tray_window.h"

#include <stdio.h>
#include <wtsapi32.h>

#include "quilltray/app_launch.h"
#include "quilltray/job_session.h"
#include "quilltray/listener.h"
#include "quilltray/res/resource.h"
#include "shared/quillstack_ids.h"

#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAW) == 956, "the shell gets the full icon record of a 32-bit program");
#endif

namespace {

typedef BOOL(WINAPI* ChangeWindowMessageFilterProc)(UINT, DWORD);
typedef BOOL(WINAPI* WtsRegisterProc)(HWND, DWORD);
typedef BOOL(WINAPI* WtsUnRegisterProc)(HWND);

// Window-thread state.
HINSTANCE Instance = nullptr;
HANDLE ListenerThread = nullptr;
HANDLE SessionListenerThread = nullptr;
LONG ActiveConnections = 0;
UINT TaskbarCreatedMessage = 0;
BYTE AnimationRunning = 0;
DWORD AnimationStart = 0;
HICON NotListeningIcon = nullptr;
HICON FrameIcons[4] = {};  // frame 0 is the idle icon
HMODULE WtsLibrary = nullptr;
WtsRegisterProc RegisterSessionNotification = nullptr;
WtsUnRegisterProc UnRegisterSessionNotification = nullptr;
ChangeWindowMessageFilterProc ChangeMessageFilter = nullptr;
bool ChangeMessageFilterLookedUp = false;

const WORD FrameIds[4] = {IDI_LISTENING, IDI_BUSY_1, IDI_BUSY_2, IDI_BUSY_3};

void StopAnimation(HWND window) {
  if (AnimationRunning) {
    KillTimer(window, TRAY_ANIMATION_TIMER);
    AnimationRunning = 0;
  }
}

// Builds the icon record afresh for the current state and hands it to the shell.
void NotifyShell(HWND window, DWORD message) {
  NOTIFYICONDATAW data;
  FillNotifyData(&data, window);
  Shell_NotifyIconW(message, &data);
}

void RemoveTrayIcon(HWND window) { NotifyShell(window, NIM_DELETE); }

void ShowJobCount(HWND window) {
  NOTIFYICONDATAW data;
  FillNotifyData(&data, window);
  data.uFlags |= NIF_INFO | NIF_SHOWTIP;
  data.dwInfoFlags = NIIF_INFO;
  wcscpy(data.szInfoTitle, L"Quillstack");
  // Taken and reset in one step: a job that connection threads count meanwhile goes into the next
  // balloon instead of being lost.
  LONG jobs = InterlockedExchange(&JobsPrinted, 0);
  _snwprintf(data.szInfo, ARRAYSIZE(data.szInfo), L"Jobs printed: %d", static_cast<int>(jobs));
  data.szInfo[ARRAYSIZE(data.szInfo) - 1] = L'\0';
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

// A job that was not stored or handed off: the user learns why, and that nothing was opened.
void ShowJobFailed(HWND window, DWORD error) {
  NOTIFYICONDATAW data;
  FillNotifyData(&data, window);
  data.uFlags |= NIF_INFO | NIF_SHOWTIP;
  data.dwInfoFlags = NIIF_ERROR;
  wcscpy(data.szInfoTitle, L"Quillstack");
  WCHAR reason[160] = {};
  if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason, 160, nullptr))
    _snwprintf(reason, 160, L"error %lu", static_cast<unsigned long>(error));
  reason[159] = L'\0';
  for (size_t end = wcslen(reason); end > 0 && (reason[end - 1] == L'\r' || reason[end - 1] == L'\n' || reason[end - 1] == L'.');)
    reason[--end] = L'\0';
  _snwprintf(data.szInfo, ARRAYSIZE(data.szInfo), L"A print job could not be stored and was not opened: %s.", reason);
  data.szInfo[ARRAYSIZE(data.szInfo) - 1] = L'\0';
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

// The restart rule: start listening unless already listening.
void RestartListening(HWND window) {
  if (ListenerThread) return;
  ListenerThread = StartListener(window);
  UpdateTrayIcon(window);
}

void ListenerStopped(HWND window) {
  CloseHandle(ListenerThread);
  ListenerThread = nullptr;
  UpdateTrayIcon(window);
  // Registered on the first stop only: from then on a reconnected session restarts the listener.
  if (WtsLibrary) return;
  WtsLibrary = LoadLibraryA("Wtsapi32.dll");
  if (!WtsLibrary) return;
  RegisterSessionNotification = reinterpret_cast<WtsRegisterProc>(reinterpret_cast<void*>(GetProcAddress(WtsLibrary, "WTSRegisterSessionNotification")));
  UnRegisterSessionNotification =
      reinterpret_cast<WtsUnRegisterProc>(reinterpret_cast<void*>(GetProcAddress(WtsLibrary, "WTSUnRegisterSessionNotification")));
  if (RegisterSessionNotification) RegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
}

void ShowContextMenu(HWND window) {
  HMENU menu = LoadMenuW(Instance, MAKEINTRESOURCEW(IDM_TRAY_MENU));
  if (!menu) return;
  POINT cursor = {};
  GetCursorPos(&cursor);
  SetForegroundWindow(window);
  UINT command = static_cast<UINT>(TrackPopupMenu(GetSubMenu(menu, 0), TPM_NONOTIFY | TPM_RETURNCMD, cursor.x, cursor.y, 0, window, nullptr));
  DestroyMenu(menu);
  PostMessageW(window, WM_NULL, 0, 0);
  if (command == IDC_OPEN) StartApplication(0, nullptr);
}

void TrayNotify(HWND window, LPARAM mouseMessage) {
  switch (mouseMessage) {
    case WM_LBUTTONDOWN: RestartListening(window); break;
    case WM_LBUTTONDBLCLK: StartApplication(0, nullptr); break;
    case WM_RBUTTONDOWN: ShowContextMenu(window); break;
    default: break;
  }
}

}  // namespace

HICON LoadCachedIcon(HICON* slot, WORD id) {
  if (!*slot) *slot = LoadIconA(Instance, MAKEINTRESOURCEA(id));
  return *slot;
}

void FillNotifyData(NOTIFYICONDATAW* data, HWND window) {
  ZeroMemory(data, sizeof(*data));
  data->cbSize = sizeof(*data);
  data->hWnd = window;
  data->uID = 1;
  data->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data->uCallbackMessage = UM_TRAY_NOTIFY;
  wcscpy(data->szTip, TRAY_TIP);
  data->uVersion = 4;
  if (!ListenerThread) {
    data->hIcon = LoadCachedIcon(&NotListeningIcon, IDI_NOT_LISTENING);
    StopAnimation(window);
  } else if (ActiveConnections == 0) {
    data->hIcon = LoadCachedIcon(&FrameIcons[0], IDI_LISTENING);
    StopAnimation(window);
  } else {
    if (!AnimationRunning) {
      AnimationStart = GetTickCount();
      SetTimer(window, TRAY_ANIMATION_TIMER, 25, nullptr);
      AnimationRunning = 1;
    }
    DWORD frame = ((GetTickCount() - AnimationStart) / 200) % 4;
    data->hIcon = LoadCachedIcon(&FrameIcons[frame], FrameIds[frame]);
  }
}

void AddTrayIcon(HWND window) { NotifyShell(window, NIM_ADD); }

void UpdateTrayIcon(HWND window) { NotifyShell(window, NIM_MODIFY); }

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (TaskbarCreatedMessage && message == TaskbarCreatedMessage) {
    AddTrayIcon(window);
    return 0;
  }
  switch (message) {
    case WM_CREATE:
      // Known here already: the connection threads must never post to a null window.
      MainWindow = window;
      ListenerThread = StartListener(window);
      SessionListenerThread = StartSessionListener();
      AddTrayIcon(window);
      return 0;
    case WM_DESTROY:
      RemoveTrayIcon(window);
      if (UnRegisterSessionNotification) UnRegisterSessionNotification(window);
      PostQuitMessage(0);
      return 0;
    case WM_TIMER:
      if (wParam == TRAY_ANIMATION_TIMER) UpdateTrayIcon(window);
      return 0;
    case WM_WTSSESSION_CHANGE:
      if (wParam == WTS_CONSOLE_CONNECT || wParam == WTS_REMOTE_CONNECT) RestartListening(window);
      return 0;
    case UM_CONNECTION_CLOSED:
      ReleaseJobSession(reinterpret_cast<JobSession*>(lParam));
      LocalFree(reinterpret_cast<HLOCAL>(lParam));
      if (--ActiveConnections == 0 && ListenerThread) UpdateTrayIcon(window);
      return 0;
    case UM_EXIT:
      // Running connections are cut off; their spool files stay where they are.
      RemoveTrayIcon(window);
      ExitProcess(0);
    case UM_CONNECTION_OPENED:
      if (++ActiveConnections == 1) UpdateTrayIcon(window);
      return 0;
    case UM_SHOW_JOB_COUNT: ShowJobCount(window); return 0;
    case UM_JOB_FAILED: ShowJobFailed(window, static_cast<DWORD>(wParam)); return 0;
    case UM_STOP_LISTENING:
      if (ListenerThread && Listening) StopListener();
      return 0;
    case UM_LISTENER_STOPPED: ListenerStopped(window); return 0;
    case UM_TRAY_NOTIFY: TrayNotify(window, lParam); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

void RegisterMainWindowClass(HINSTANCE instance) {
  Instance = instance;
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = TrayWindowProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = QUILL_TRAY_WINDOW_CLASS;
  RegisterClassExW(&windowClass);
}

bool CreateMainWindow(HINSTANCE instance) {
  Instance = instance;
  TaskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  if (!ChangeMessageFilterLookedUp) {
    ChangeMessageFilterLookedUp = true;
    ChangeMessageFilter = reinterpret_cast<ChangeWindowMessageFilterProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("USER32.dll"), "ChangeWindowMessageFilter")));
  }
  // So that the message also reaches a dispatcher that runs elevated.
  if (ChangeMessageFilter) ChangeMessageFilter(TaskbarCreatedMessage, 1 /* MSGFLT_ADD */);
  HWND window = CreateWindowExW(0, QUILL_TRAY_WINDOW_CLASS, QUILL_TRAY_WINDOW_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return false;
  MainWindow = window;
  return true;
}

void EndTrayWindow() {
  if (ListenerThread) TerminateThread(ListenerThread, 0);
  if (SessionListenerThread) TerminateThread(SessionListenerThread, 0);
  if (WtsLibrary) FreeLibrary(WtsLibrary);
}
