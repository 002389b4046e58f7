#include "spooler_test_support.h"

#include <stdio.h>

TestContext::~TestContext() {
  Clear(c.Log);
  Clear(c.DriverDirectory);
  Clear(c.ModuleDirectory);
  Clear(c.SystemDirectory);
}

std::wstring TestContext::Log() const { return Text(c.Log); }

std::vector<std::wstring> TestContext::Lines() const {
  std::vector<std::wstring> lines;
  std::wstring log = Log();
  size_t start = 0;
  for (size_t end; (end = log.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) lines.push_back(log.substr(start, end - start));
  if (start < log.size()) lines.push_back(log.substr(start));
  return lines;
}

std::wstring SystemText(DWORD code) {
  WCHAR* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 1033,
                 reinterpret_cast<WCHAR*>(&text), 0, nullptr);
  std::wstring result = text != nullptr ? text : L"";
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n')) result.pop_back();
  return result;
}

std::wstring ProgramDirectory() {
  WCHAR path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text = path;
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}

ScratchDirectory::ScratchDirectory() {
  static int serial = 0;
  WCHAR temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  WCHAR name[64];
  _snwprintf(name, 63, L"qs-spooler-%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(), ++serial);
  name[63] = 0;
  Path = std::wstring(temp) + name + L"\\";
  CreateDirectoryW(Path.c_str(), nullptr);
}

ScratchDirectory::~ScratchDirectory() {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((Path + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((Path + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(Path.c_str());
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char block[4096];
  DWORD read = 0;
  bool ok = true;
  while ((ok = ReadFile(file, block, sizeof block, &read, nullptr) != 0) && read > 0) bytes.append(block, read);
  CloseHandle(file);
  return ok;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
