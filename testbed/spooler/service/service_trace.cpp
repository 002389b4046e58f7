#include "service_trace.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

void TraceLine(const wchar_t* format, ...) {
  wchar_t text[600];
  SYSTEMTIME now;
  GetLocalTime(&now);
  int used = _snwprintf(text, 600, L"%02u:%02u:%02u.%03u [%lu] ", now.wHour, now.wMinute, now.wSecond,
                        now.wMilliseconds, GetCurrentProcessId());
  if (used < 0) return;
  va_list args;
  va_start(args, format);
  int more = _vsnwprintf(text + used, 600 - used - 3, format, args);
  va_end(args);
  if (more < 0) more = 0;
  used += more;
  text[used++] = L'\r';
  text[used++] = L'\n';
  char bytes[1800];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, used, bytes, sizeof(bytes), nullptr, nullptr);
  wchar_t path[MAX_PATH];
  UINT chars = GetWindowsDirectoryW(path, MAX_PATH - 30);
  if (chars == 0 || chars >= MAX_PATH - 30) return;
  wcscat(path, L"\\temp\\quillspoolsvc.log");
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes, length, &written, nullptr);
  CloseHandle(file);
}
