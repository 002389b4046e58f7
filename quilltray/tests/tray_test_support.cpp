#include "quilltray/tests/tray_test_support.h"

#include <algorithm>

#include "shared/quillstack_ids.h"

std::wstring BesideTest(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

void StartDesktopQuietly() {
  static bool started = false;
  if (started) return;
  started = true;
  HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
  SetStdHandle(STD_ERROR_HANDLE, nul);
  GetDesktopWindow();
  SetStdHandle(STD_ERROR_HANDLE, saved);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
}

std::wstring TempFolder() {
  wchar_t path[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH, path);
  return std::wstring(path, n);
}

std::vector<std::wstring> SpoolFiles() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((TempFolder() + L"*.Quillstack").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

void DeleteSpoolFiles() {
  for (const std::wstring& name : SpoolFiles()) DeleteFileW((TempFolder() + name).c_str());
}

std::string ReadWholeFile(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

bool WaitForJobPipe(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (WaitNamedPipeA(QUILL_JOB_PIPE_NAME, 100)) return true;
    if (GetLastError() == ERROR_FILE_NOT_FOUND) Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

bool WaitForJobPipeGone(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (!WaitNamedPipeA(QUILL_JOB_PIPE_NAME, NMPWAIT_NOWAIT) && GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

HWND FindTrayWindow() {
  StartDesktopQuietly();
  return FindWindowW(QUILL_TRAY_WINDOW_CLASS, nullptr);
}

bool TrayProcess::Start(bool waitForPipe) {
  StartDesktopQuietly();
  std::wstring exe = BesideTest(L"quilltray.exe");
  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &Info)) return false;
  if (!waitForPipe) return true;
  DWORD start = GetTickCount();
  while (!FindTrayWindow() && GetTickCount() - start < 10000 && Running()) Sleep(20);
  return WaitForJobPipe(10000);
}

DWORD TrayProcess::WaitForExit(DWORD timeoutMs) {
  if (!Info.hProcess) return 0;
  if (WaitForSingleObject(Info.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(Info.hProcess, &code);
  return code;
}

bool TrayProcess::Running() const { return Info.hProcess && WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT; }

void TrayProcess::End() {
  if (!Info.hProcess) return;
  if (Running()) {
    // The exit message goes to the window of this very process only.
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, QUILL_TRAY_WINDOW_CLASS, nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == Info.dwProcessId) PostMessageW(window, UM_EXIT, 0, 0);
    }
    if (WaitForSingleObject(Info.hProcess, 5000) != WAIT_OBJECT_0) {
      TerminateProcess(Info.hProcess, 99);
      WaitForSingleObject(Info.hProcess, 5000);
    }
  }
  CloseHandle(Info.hThread);
  CloseHandle(Info.hProcess);
  Info = PROCESS_INFORMATION{};
}

namespace {
const wchar_t ProductKey[] = L"Software\\Corvell\\Quillstack";
}

MainAppScope::MainAppScope() {
  RecordFile = TempFolder() + L"mainapp-calls.txt";
  DeleteFileW(RecordFile.c_str());
  SetEnvironmentVariableW(L"QUILL_MAINAPP_RECORD", RecordFile.c_str());
  std::wstring app = BesideTest(L"mainapp.exe");
  RegSetKeyValueW(HKEY_CURRENT_USER, ProductKey, L"FullPathExe", REG_SZ, app.c_str(), static_cast<DWORD>((app.size() + 1) * sizeof(wchar_t)));
}

MainAppScope::~MainAppScope() {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, ProductKey, L"FullPathExe");
  DeleteFileW(RecordFile.c_str());
}

std::vector<std::wstring> MainAppScope::Calls(size_t count, DWORD timeoutMs) const {
  std::vector<std::wstring> lines;
  DWORD start = GetTickCount();
  for (;;) {
    lines.clear();
    std::string bytes = ReadWholeFile(RecordFile);
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], static_cast<int>(text.size())));
    size_t from = 0, end;
    while ((end = text.find(L"\r\n", from)) != std::wstring::npos) {
      lines.push_back(text.substr(from, end - from));
      from = end + 2;
    }
    if (lines.size() >= count || GetTickCount() - start > timeoutMs) return lines;
    Sleep(50);
  }
}

TempFolderScope::TempFolderScope(const std::wstring& folder) {
  wchar_t saved[MAX_PATH + 1] = {};
  HadOne = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1) > 0;
  Saved = saved;
  SetEnvironmentVariableW(L"TMP", folder.c_str());
}

TempFolderScope::~TempFolderScope() { SetEnvironmentVariableW(L"TMP", HadOne ? Saved.c_str() : nullptr); }

bool Connect(JobPipeWriter* writer) { return ConnectJobPipe(writer, 10000); }

std::wstring SendJob(WORD mode, const std::wstring& title, const std::string& data) {
  TestWriter writer;
  if (!Connect(&writer)) return L"(no connection)";
  bool ok = WriteOpenSpool(&writer, mode, title.c_str()) && WriteSpoolData(&writer, data.data(), static_cast<DWORD>(data.size())) &&
            WriteJobDoneOpen(&writer, 0);
  CloseJobPipeWriter(&writer, true);
  return ok ? L"" : L"(write failed)";
}

std::string PatternBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned value = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    value = value * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(value >> 16);
  }
  return bytes;
}
