#include "log_file.h"

#include <shlobj.h>
#include <stdio.h>
#include <wchar.h>

#include "log_folder.h"

namespace {

const WCHAR* const Folders[] = {L"\\Corvell", L"\\Corvell\\Quillstack"};
const WCHAR LogName[] = L"install.log";
const WCHAR OldLogName[] = L"install.log.old";

bool CommonDataFolder(WCHAR* path) {
  return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) && path[0] != 0;
}

// The log file, opened for appending through the verified folder; a file that would grow past the
// limit is first renamed to install.log.old (through the same handles) and started afresh.
HANDLE OpenForAppend(HANDLE folder, const WCHAR* folderPath, UINT64 appendBytes) {
  HANDLE file = OpenLogFileIn(folder, folderPath, LogName);
  LARGE_INTEGER size = {};
  if (file == nullptr || !GetFileSizeEx(file, &size) || static_cast<UINT64>(size.QuadPart) + appendBytes <= LogFileLimitBytes) return file;
  bool renamed = RenameInFolder(file, folder, OldLogName);
  CloseHandle(file);
  return renamed ? OpenLogFileIn(folder, folderPath, LogName) : nullptr;
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
  int n = _snwprintf(path, MAX_PATH - 1, L"%s%s\\%s", base, Folders[1], LogName);
  path[MAX_PATH - 1] = 0;
  return n > 0 && n < MAX_PATH - 1;
}

void AppendLogFile(const InstallContext& context, const WCHAR* commandWord) {
  // A run's text beyond the limit keeps its end, where the errors and the outcome are.
  const WCHAR* text = Text(context.Log);
  UINT64 units = Length(context.Log);
  const UINT64 limitUnits = LogFileLimitBytes / 4;
  if (units > limitUnits) {
    text += units - limitUnits;
    units = limitUnits;
  }
  WCHAR folderPath[MAX_PATH] = {};
  HANDLE folder = OpenLogFolder(folderPath);
  if (folder == nullptr) return;
  HANDLE file = OpenForAppend(folder, folderPath, units * 3);
  CloseHandle(folder);
  if (file == nullptr) return;
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
