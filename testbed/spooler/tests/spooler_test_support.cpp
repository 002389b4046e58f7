#include "spooler_test_support.h"

std::wstring SystemFile(const std::wstring& name) {
  wchar_t path[MAX_PATH];
  GetSystemDirectoryW(path, MAX_PATH);
  return std::wstring(path) + L"\\" + name;
}

namespace {

std::wstring BuildBinFile(const std::wstring& name) {
  // The build's bin folder as Wine sees it (drive Z: is the Unix root).
  std::string unix = QUILL_X64_BIN;
  std::wstring path = L"Z:";
  for (char c : unix) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  return path + L"\\" + name;
}

bool WriteFileText(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

}  // namespace

bool InstallSystemFile(const std::wstring& name) {
  if (CopyFileW(BuildBinFile(name).c_str(), SystemFile(name).c_str(), FALSE)) return true;
  // A copy that a spooler has loaded stays as it is.
  return GetLastError() == ERROR_SHARING_VIOLATION && FileExists(SystemFile(name));
}

bool AddTestMonitor() {
  if (!InstallSystemFile(TEST_MONITOR_DLL)) return false;
  wchar_t name[] = TEST_MONITOR_NAME, environment[] = L"Windows x64", dll[] = TEST_MONITOR_DLL;
  MONITOR_INFO_2W info = {name, environment, dll};
  return AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&info)) != FALSE;
}

std::wstring StagedDriverFile(const std::wstring& file) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"quillstage";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\" + file;
}

bool AddTestDriver(const std::wstring& name, const std::wstring& stem) {
  std::wstring driver = StagedDriverFile(stem + L"drv.dll");
  std::wstring ui = StagedDriverFile(stem + L"ui.dll");
  std::wstring help = StagedDriverFile(stem + L"help.chm");
  if (!WriteFileText(driver, "driver " + std::string(stem.begin(), stem.end())) || !WriteFileText(ui, "ui") ||
      !WriteFileText(help, "help"))
    return false;
  DRIVER_INFO_6W info = {};
  info.cVersion = 3;
  info.pName = const_cast<LPWSTR>(name.c_str());
  info.pEnvironment = const_cast<LPWSTR>(L"Windows x64");
  info.pDriverPath = const_cast<LPWSTR>(driver.c_str());
  info.pDataFile = const_cast<LPWSTR>(driver.c_str());
  info.pConfigFile = const_cast<LPWSTR>(ui.c_str());
  info.pHelpFile = const_cast<LPWSTR>(help.c_str());
  info.pszMfgName = const_cast<LPWSTR>(L"Corvell");
  info.pszProvider = const_cast<LPWSTR>(L"Corvell");
  info.pszOEMUrl = const_cast<LPWSTR>(L"https://example.invalid/");
  return AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&info), APD_COPY_ALL_FILES) != FALSE;
}

HANDLE AddTestPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<LPWSTR>(name.c_str());
  info.pPortName = const_cast<LPWSTR>(port.c_str());
  info.pDriverName = const_cast<LPWSTR>(driver.c_str());
  info.pComment = const_cast<LPWSTR>(L"");
  info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  return AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
}

bool FileIsLocked(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_FILE_NOT_FOUND;
  CloseHandle(file);
  return false;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadWholeFile(const std::wstring& path) {
  std::string text;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

std::wstring MonitorJobFile(DWORD jobId, const wchar_t* extension) {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + L"\\temp\\quilltestmon\\job-" + std::to_wstring(jobId) + extension;
}
