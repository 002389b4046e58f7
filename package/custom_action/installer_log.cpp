#include "installer_log.h"

#include <msiquery.h>
#include <shlobj.h>
#include <wchar.h>

namespace {

// install.log is appended to by every run and kept below 512 KiB; its last run is at its end.
const DWORD MostLogBytes = 1024 * 1024;
const char RunHeader[] = "==== ";
const char ErrorMark[] = "Error(";

struct FileScope {
  HANDLE Value;
  explicit FileScope(HANDLE value) : Value(value) {}
  ~FileScope() {
    if (Value != INVALID_HANDLE_VALUE) CloseHandle(Value);
  }
  FileScope(const FileScope&) = delete;
  FileScope& operator=(const FileScope&) = delete;
};

// The start of the last line that begins with RunHeader, or the text itself.
const char* LastRun(const char* text, DWORD length) {
  const char* last = text;
  for (DWORD at = 0; at < length; ++at) {
    bool lineStart = at == 0 || text[at - 1] == '\n';
    if (lineStart && length - at >= sizeof(RunHeader) - 1 && memcmp(text + at, RunHeader, sizeof(RunHeader) - 1) == 0) last = text + at;
  }
  return last;
}

// Logs one UTF-8 line, without its indentation, after a prefix that says where it comes from.
void LogCopiedLine(MSIHANDLE install, const char* line, int bytes) {
  while (bytes > 0 && line[0] == ' ') ++line, --bytes;
  WCHAR text[600] = L"install.exe: ";
  int prefix = lstrlenW(text);
  int units = MultiByteToWideChar(CP_UTF8, 0, line, bytes, text + prefix, 600 - prefix - 1);
  text[prefix + (units > 0 ? units : 0)] = 0;
  LogToInstaller(install, text);
}

}  // namespace

void LogToInstaller(MSIHANDLE install, const WCHAR* text) {
  MSIHANDLE record = MsiCreateRecord(1);
  if (record == 0) return;
  // The text goes in field 1 and the template only names it, so brackets in it stay as they are.
  MsiRecordSetStringW(record, 0, L"[1]");
  MsiRecordSetStringW(record, 1, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

void InstallerLogPath(WCHAR* path, DWORD units) {
  WCHAR base[MAX_PATH] = {};
  path[0] = 0;
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)) || base[0] == 0) return;
  _snwprintf(path, units - 1, L"%s\\Corvell\\Quillstack\\install.log", base);
  path[units - 1] = 0;
}

int CopyInstallerErrorLines(MSIHANDLE install) {
  WCHAR path[MAX_PATH] = {};
  InstallerLogPath(path, MAX_PATH);
  if (path[0] == 0) return 0;
  FileScope file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.Value == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Value, &size) || size.QuadPart <= 0) return 0;
  DWORD wanted = size.QuadPart > MostLogBytes ? MostLogBytes : static_cast<DWORD>(size.QuadPart);
  LARGE_INTEGER start = {};
  start.QuadPart = size.QuadPart - wanted;
  SetFilePointerEx(file.Value, start, nullptr, FILE_BEGIN);
  char* text = static_cast<char*>(LocalAlloc(LMEM_FIXED, wanted + 1));
  if (text == nullptr) return 0;
  DWORD got = 0;
  if (!ReadFile(file.Value, text, wanted, &got, nullptr)) got = 0;
  text[got] = 0;

  int copied = 0;
  const char* end = text + got;
  for (const char* line = LastRun(text, got); line < end;) {
    const char* next = line;
    while (next < end && *next != '\n') ++next;
    int bytes = static_cast<int>(next - line);
    if (bytes > 0 && line[bytes - 1] == '\r') --bytes;
    const char* first = line;
    while (first < line + bytes && *first == ' ') ++first;
    if (line + bytes - first >= static_cast<int>(sizeof(ErrorMark) - 1) && memcmp(first, ErrorMark, sizeof(ErrorMark) - 1) == 0) {
      LogCopiedLine(install, line, bytes);
      ++copied;
    }
    line = next < end ? next + 1 : end;
  }
  LocalFree(text);
  return copied;
}
