#include "log_file.h"

#include <shlobj.h>
#include <stdio.h>
#include <wchar.h>

#include <sddl.h>

namespace {

const WCHAR* const Folders[] = {L"\\Corvell", L"\\Corvell\\Quillstack"};
const WCHAR FileName[] = L"\\install.log";
const WCHAR OldSuffix[] = L".old";
// Administrators and SYSTEM write; users read. Set on the folders the installer creates, so that
// nobody else can put a link where the elevated installer writes.
const WCHAR FolderSecurity[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

bool CommonDataFolder(WCHAR* path) {
  return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0] != 0;
}

void CreateFolders(const WCHAR* base) {
  SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  ConvertStringSecurityDescriptorToSecurityDescriptorW(FolderSecurity, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr);
  for (const WCHAR* folder : Folders) {
    WCHAR path[MAX_PATH] = {};
    if (_snwprintf(path, MAX_PATH - 1, L"%s%s", base, folder) < 0) return;
    CreateDirectoryW(path, attributes.lpSecurityDescriptor != nullptr ? &attributes : nullptr);
  }
  if (attributes.lpSecurityDescriptor != nullptr) LocalFree(attributes.lpSecurityDescriptor);
}

// Opens the log for appending; refuses a link (reparse point or a second hard link), which would
// make the installer write into a file it was never meant to touch.
HANDLE OpenForAppend(const WCHAR* path) {
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(file, &information) || (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      information.nNumberOfLinks > 1) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

void WriteUtf8(HANDLE file, const WCHAR* text, int units) {
  if (units <= 0) return;
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  char* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes)));
  if (block == nullptr) return;
  WideCharToMultiByte(CP_UTF8, 0, text, units, block, bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(file, block, static_cast<DWORD>(bytes), &written, nullptr);
  GlobalFree(block);
}

}  // namespace

bool LogFilePath(WCHAR* path) {
  WCHAR base[MAX_PATH] = {};
  if (!CommonDataFolder(base)) return false;
  int n = _snwprintf(path, MAX_PATH - 1, L"%s%s%s", base, Folders[1], FileName);
  path[MAX_PATH - 1] = 0;
  return n > 0 && n < MAX_PATH - 1;
}

void AppendLogFile(const InstallContext& context, const WCHAR* commandWord) {
  WCHAR base[MAX_PATH] = {};
  WCHAR path[MAX_PATH] = {};
  if (!CommonDataFolder(base) || !LogFilePath(path)) return;
  CreateFolders(base);

  // A run's text beyond the limit keeps its end, where the errors and the outcome are.
  const WCHAR* text = Text(context.Log);
  UINT64 units = Length(context.Log);
  const UINT64 limitUnits = LogFileLimitBytes / 4;
  if (units > limitUnits) {
    text += units - limitUnits;
    units = limitUnits;
  }
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
      (data.nFileSizeHigh != 0 || data.nFileSizeLow + units * 3 > LogFileLimitBytes)) {
    WCHAR old[MAX_PATH + 8] = {};
    _snwprintf(old, MAX_PATH + 7, L"%s%s", path, OldSuffix);
    MoveFileExW(path, old, MOVEFILE_REPLACE_EXISTING);
  }

  HANDLE file = OpenForAppend(path);
  if (file == INVALID_HANDLE_VALUE) return;
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  WCHAR header[160] = {};
  int n = _snwprintf(header, 159, L"==== %04u-%02u-%02u %02u:%02u:%02u install.exe %s ====\r\n", now.wYear, now.wMonth, now.wDay,
                     now.wHour, now.wMinute, now.wSecond, commandWord != nullptr ? commandWord : L"");
  header[159] = 0;
  WriteUtf8(file, header, n > 0 ? n : lstrlenW(header));
  WriteUtf8(file, text, static_cast<int>(units));
  FlushFileBuffers(file);
  CloseHandle(file);
}
