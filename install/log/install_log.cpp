#include "install_log.h"

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include "system_text.h"

namespace {

// Formats into buffer[0..units), always terminated; a message that does not fit is cut.
void FormatBounded(WCHAR* buffer, size_t units, const WCHAR* format, va_list args) {
  if (units == 0) return;
  int written = _vsnwprintf(buffer, units - 1, format, args);
  if (written < 0 || static_cast<size_t>(written) >= units - 1) buffer[units - 1] = 0;
  else buffer[written] = 0;
}

void AppendBounded(WCHAR* buffer, size_t units, const WCHAR* text) {
  size_t used = wcslen(buffer);
  while (*text != 0 && used + 1 < units) buffer[used++] = *text++;
  buffer[used] = 0;
}

}  // namespace

void AppendLogLine(InstallContext& context, const WCHAR* text) {
  if (context.LogDepth != 0) {
    int n = context.LogDepth < LogMaxDepth ? context.LogDepth : LogMaxDepth;
    if (n > 0) {
      WCHAR spaces[2 * LogMaxDepth + 1];
      for (int i = 0; i < 2 * n; ++i) spaces[i] = L' ';
      spaces[2 * n] = 0;
      AppendWide(context.Log, spaces);
    }
  }
  if (text != nullptr && text[0] != 0) AppendWide(context.Log, text);
  UINT64 old = Length(context.Log);
  if (SetLength(context.Log, old + 2)) {
    WCHAR* end = MutableText(context.Log) + old;
    end[0] = 0x000D;
    end[1] = 0x000A;
  }
}

void LogLine(InstallContext& context, const WCHAR* format, ...) {
  WCHAR line[LogLineUnits];
  va_list args;
  va_start(args, format);
  FormatBounded(line, LogLineUnits, format, args);
  va_end(args);
  AppendLogLine(context, line);
}

void LogError(InstallContext& context, int number, const WCHAR* format, ...) {
  // The code that was current when the error was reported; nothing below may replace it.
  DWORD code = GetLastError();
  WCHAR line[LogLineUnits];
  _snwprintf(line, LogLineUnits - 1, L"Error(%d): ", number);
  line[LogLineUnits - 1] = 0;
  size_t prefix = wcslen(line);
  va_list args;
  va_start(args, format);
  FormatBounded(line + prefix, LogLineUnits - prefix, format, args);
  va_end(args);

  WCHAR* description = SystemErrorText(code);
  if (code != 0) {
    if (description != nullptr) {
      AppendBounded(line, LogLineUnits, L" - (");
      AppendBounded(line, LogLineUnits, description);
      AppendBounded(line, LogLineUnits, L")");
    } else {
      AppendBounded(line, LogLineUnits, L" - ( No Description )");
    }
  }
  AppendLogLine(context, line);
  context.ErrorCount += 1;
  if (description != nullptr) LocalFree(description);
  SetLastError(code);
}
