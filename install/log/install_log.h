// The installation log: an in-memory text of indented lines, each ending in CR LF.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// Room for one formatted message, the terminating zero included. A longer message is cut.
const int LogLineUnits = 1024;
// At most this many indentation levels of two spaces each.
const int LogMaxDepth = 10;

// Appends the indentation, the text (none for null or "") and CR LF.
void AppendLogLine(InstallContext& context, const WCHAR* text);
// Formats with the wide printf conventions (%d, %x, %s for a wide string) and appends the line.
void LogLine(InstallContext& context, const WCHAR* format, ...);
// Appends "Error(N): " with the formatted message and, for a non-zero last Windows error, the
// system's English description of it; counts the error.
void LogError(InstallContext& context, int number, const WCHAR* format, ...);

// Raises the log depth for the life of the scope, and lowers it again on every way out.
struct LogDepthScope {
  InstallContext& Context;
  int Levels;
  LogDepthScope(InstallContext& context, int levels = 1) : Context(context), Levels(levels) { Context.LogDepth += Levels; }
  ~LogDepthScope() { Context.LogDepth -= Levels; }
  LogDepthScope(const LogDepthScope&) = delete;
  LogDepthScope& operator=(const LogDepthScope&) = delete;
};
