// Stands in for the main Quillstack application on the test bed. It appends one line per start
// to a record file and exits at once:
//   <its whole command line> TAB <size in bytes of the file it was given, or -1> CR LF   (UTF-8)
// The record file is named by the environment variable QUILL_MAINAPP_RECORD (the dispatcher
// passes its environment on), else mainapp-calls.txt beside this program. The file it was given
// is the last argument when that does not start with '/'.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <wchar.h>

namespace {

LONGLONG FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void RecordPath(wchar_t* path, DWORD size) {
  DWORD n = GetEnvironmentVariableW(L"QUILL_MAINAPP_RECORD", path, size);
  if (n > 0 && n < size) return;
  n = GetModuleFileNameW(nullptr, path, size);
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash) slash[1] = L'\0';
  wcsncat(path, L"mainapp-calls.txt", size - wcslen(path) - 1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const wchar_t* commandLine = GetCommandLineW();
  int count = 0;
  wchar_t** args = CommandLineToArgvW(commandLine, &count);
  LONGLONG size = -1;
  if (args && count > 1 && args[count - 1][0] != L'/') size = FileSize(args[count - 1]);
  if (args) LocalFree(args);

  wchar_t line[4096];
  _snwprintf(line, 4096, L"%s\t%lld\r\n", commandLine, size);
  line[4095] = L'\0';
  char utf8[16384];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof(utf8), nullptr, nullptr);
  if (bytes <= 1) return 2;

  wchar_t record[MAX_PATH];
  RecordPath(record, MAX_PATH);
  // Several starts may come at once: retry while another one holds the file.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(record, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, utf8, static_cast<DWORD>(bytes - 1), &written, nullptr);
      CloseHandle(file);
      return 0;
    }
    Sleep(10);
  }
  return 1;
}
