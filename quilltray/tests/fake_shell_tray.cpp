#include "quilltray/tests/fake_shell_tray.h"

#include <shellapi.h>

#include <mutex>

#include "quilltray/tests/tray_test_support.h"

namespace {

// Wine's platform-independent notify data, as a 32-bit caller sends it.
const size_t TipOffset = 16, InfoOffset = 280, VersionOffset = 792, InfoTitleOffset = 796, InfoFlagsOffset = 924;
const size_t IconSizeOffset = 944, IconBitsOffset = 960;

std::mutex CallsLock;
std::vector<TrayCall> Recorded;
HANDLE Ready = nullptr;

struct IconPicture {
  int Id;
  std::string Bits;  // mask bits then colour bits, as Wine's Shell_NotifyIconW takes them
};
std::vector<IconPicture> Pictures;

std::string BitmapBits(HBITMAP bitmap) {
  BITMAP info = {};
  if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info)) return std::string();
  LONG size = (info.bmPlanes * info.bmWidth * info.bmHeight * info.bmBitsPixel + 15) / 16 * 2;
  std::string bits(size, '\0');
  GetBitmapBits(bitmap, size, &bits[0]);
  return bits;
}

// The dispatcher's own pictures, loaded from its program file the way the dispatcher loads them.
void LoadPictures() {
  Pictures.clear();
  HMODULE module = LoadLibraryExW(BesideTest(L"quilltray.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  for (int id : {107, 130, 131, 132, 133}) {
    HICON icon = LoadIconA(module, MAKEINTRESOURCEA(id));
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) continue;
    Pictures.push_back({id, BitmapBits(info.hbmMask) + BitmapBits(info.hbmColor)});
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
  }
}

std::wstring TextAt(const BYTE* data, size_t size, size_t offset, size_t units) {
  if (offset + units * 2 > size) return std::wstring();
  const wchar_t* text = reinterpret_cast<const wchar_t*>(data + offset);
  size_t length = 0;
  while (length < units && text[length]) ++length;
  return std::wstring(text, length);
}

DWORD DwordAt(const BYTE* data, size_t size, size_t offset) {
  DWORD value = 0;
  if (offset + 4 <= size) memcpy(&value, data + offset, 4);
  return value;
}

LRESULT CALLBACK ShellProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
  const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  const BYTE* data = static_cast<const BYTE*>(copy->lpData);
  size_t size = copy->cbData;
  TrayCall call = {};
  call.Message = static_cast<DWORD>(copy->dwData);
  call.WindowHandle = DwordAt(data, size, 0);
  call.Id = DwordAt(data, size, 4);
  call.Flags = DwordAt(data, size, 8);
  call.CallbackMessage = DwordAt(data, size, 12);
  call.Tip = TextAt(data, size, TipOffset, 128);
  call.Info = TextAt(data, size, InfoOffset, 256);
  call.Version = DwordAt(data, size, VersionOffset);
  call.InfoTitle = TextAt(data, size, InfoTitleOffset, 64);
  call.InfoFlags = DwordAt(data, size, InfoFlagsOffset);
  call.Tick = GetTickCount();
  if ((call.Flags & NIF_ICON) && DwordAt(data, size, IconSizeOffset) != 0 && size > IconBitsOffset) {
    std::string bits(reinterpret_cast<const char*>(data + IconBitsOffset), size - IconBitsOffset);
    call.IconId = -1;
    for (const IconPicture& picture : Pictures) {
      if (picture.Bits == bits) call.IconId = picture.Id;
    }
  }
  std::lock_guard<std::mutex> lock(CallsLock);
  Recorded.push_back(call);
  return TRUE;
}

DWORD WINAPI ShellThread(LPVOID parameter) {
  FakeShellTray* tray = static_cast<FakeShellTray*>(parameter);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ShellProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"Shell_TrayWnd";
  RegisterClassW(&windowClass);
  tray->Window = CreateWindowExW(0, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
  SetEvent(Ready);
  if (!tray->Window) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  DestroyWindow(tray->Window);
  tray->Window = nullptr;
  return 0;
}

}  // namespace

bool FakeShellTray::Start() {
  StartDesktopQuietly();
  LoadPictures();
  if (Pictures.size() != 5) return false;
  Clear();
  Ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Thread = CreateThread(nullptr, 0, ShellThread, this, 0, &ThreadId);
  if (!Thread) return false;
  WaitForSingleObject(Ready, 10000);
  CloseHandle(Ready);
  Ready = nullptr;
  return Window != nullptr;
}

void FakeShellTray::Stop() {
  if (!Thread) return;
  PostThreadMessageW(ThreadId, WM_QUIT, 0, 0);
  WaitForSingleObject(Thread, 5000);
  CloseHandle(Thread);
  Thread = nullptr;
}

std::vector<TrayCall> FakeShellTray::Calls() {
  std::lock_guard<std::mutex> lock(CallsLock);
  return Recorded;
}

void FakeShellTray::Clear() {
  std::lock_guard<std::mutex> lock(CallsLock);
  Recorded.clear();
}
