#include "product_state.h"

#include <winspool.h>

#include <vector>

#include "shared/quillstack_ids.h"

namespace {

const wchar_t RunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char PrinterKeys[] = "Software\\Corvell\\Quillstack\\Quillstacks\\";

}  // namespace

std::wstring RunValue() {
  wchar_t data[600] = {};
  DWORD bytes = sizeof(data) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, RunKey, L"QuillstackTray", RRF_RT_REG_SZ, nullptr, data, &bytes) != ERROR_SUCCESS)
    return L"<none>";
  return data;
}

void DeleteRunValue() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, RunKey, L"QuillstackTray"); }

DesktopShell::DesktopShell() {
  typedef BOOL(WINAPI * SetShellWindowProc)(HWND);
  SetShellWindowProc set =
      reinterpret_cast<SetShellWindowProc>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetShellWindow")));
  Window = CreateWindowExW(0, L"STATIC", L"Test bed shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  Set = Window != nullptr && set != nullptr && set(Window) && GetShellWindow() == Window;
}

DesktopShell::~DesktopShell() {
  // Destroying the window ends its part as the shell window.
  if (Window != nullptr) DestroyWindow(Window);
}

HWND WaitForTrayWindow(DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 50) {
    HWND window = FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr);
    if (window != nullptr || waited >= timeoutMs) return window;
    Sleep(50);
  }
}

void EndTray() {
  HWND window = FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr);
  if (window == nullptr) return;
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  PostMessageW(window, UM_EXIT, 0, 0);
  if (process != nullptr) {
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

bool DeleteSystemMonitorFile() {
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH - 20);
  if (length == 0 || length >= MAX_PATH - 20) return false;
  lstrcatW(path, L"\\vtxmon64.dll");
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (DeleteFileW(path) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    Sleep(50);
  }
  return false;
}

bool AddOurPrinter(const wchar_t* name, const wchar_t* comment, DWORD attributes) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<wchar_t*>(name);
  info.pPortName = const_cast<wchar_t*>(L"Quillstack:");
  info.pDriverName = const_cast<wchar_t*>(L"Quillstack printer");
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  info.pDatatype = const_cast<wchar_t*>(L"RAW");
  info.pComment = const_cast<wchar_t*>(comment);
  info.Attributes = attributes;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (printer != nullptr) ClosePrinter(printer);
  return printer != nullptr;
}

bool GiveKeyName(const wchar_t* printerName, const char* keyName) {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(const_cast<wchar_t*>(printerName), &printer, &defaults)) return false;
  DWORD status = SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, reinterpret_cast<BYTE*>(const_cast<char*>(keyName)),
                                   static_cast<DWORD>(lstrlenA(keyName) + 1));
  ClosePrinter(printer);
  DWORD one = 1;
  std::string key = std::string(PrinterKeys) + keyName;
  return status == ERROR_SUCCESS &&
         RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "deleted", REG_DWORD, &one, sizeof(one)) == ERROR_SUCCESS;
}

std::string KeyName(const wchar_t* printerName) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(printerName), &printer, nullptr)) return "<no printer>";
  char value[64] = {};
  DWORD type = 0, needed = 0;
  DWORD status = GetPrinterDataExA(printer, "DsUser", "SubKey", &type, reinterpret_cast<BYTE*>(value), sizeof(value) - 1, &needed);
  ClosePrinter(printer);
  return status == ERROR_SUCCESS ? value : "<none>";
}

bool MarkedDeleted(const char* keyName) {
  std::string key = std::string(PrinterKeys) + keyName;
  return RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "deleted", RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

int SpoolerStarts() {
  std::string trace;
  HANDLE file = CreateFileW(L"C:\\windows\\temp\\quillspoolsvc.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  char buffer[4096];
  DWORD got = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) trace.append(buffer, got);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  int starts = 0;
  for (size_t at = trace.find("] running\r\n"); at != std::string::npos; at = trace.find("] running\r\n", at + 1)) ++starts;
  return starts;
}

// The DLL of the registered port monitor "Quillstack:", or "<none>".
std::wstring MonitorDll() {
  DWORD needed = 0, count = 0;
  EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> block(needed + 1);
  if (!EnumMonitorsW(nullptr, 2, block.data(), needed, &needed, &count)) return L"<none>";
  const MONITOR_INFO_2W* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpW(monitors[i].pName, L"Quillstack:") == 0) return monitors[i].pDLLName;
  return L"<none>";
}

// The driver path of "Quillstack printer", or "<none>".
std::wstring DriverPath() {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(L"Windows x64"), 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> block(needed + 1);
  if (!EnumPrinterDriversW(nullptr, const_cast<wchar_t*>(L"Windows x64"), 2, block.data(), needed, &needed, &count)) return L"<none>";
  const DRIVER_INFO_2W* drivers = reinterpret_cast<const DRIVER_INFO_2W*>(block.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpW(drivers[i].pName, L"Quillstack printer") == 0) return drivers[i].pDriverPath;
  return L"<none>";
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  char block[4096];
  DWORD got = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, block, sizeof(block), &got, nullptr) && got > 0) bytes.append(block, got);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return bytes;
}
