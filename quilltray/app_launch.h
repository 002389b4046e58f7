// Hand-off to the main application, whose path the registry names.
#pragma once

#include <windows.h>

#define APP_PATH_BYTES 1040
#define APP_COMMAND_LINE_UNITS 620

// Reads "FullPathExe" of the product key in hive into buffer (APP_PATH_BYTES bytes); true when
// the value exists. The buffer is left untouched when the key or the value is missing.
bool ReadApplicationPath(HKEY hive, WCHAR* buffer);
// Builds "<app>" [/drv] [/silent] ["<file>"] into commandLine (APP_COMMAND_LINE_UNITS units).
// False, with commandLine empty, when the whole line does not fit.
bool BuildApplicationCommandLine(const WCHAR* applicationPath, WORD flags, const WCHAR* file, WCHAR* commandLine);
// Starts the application without waiting for it; file may be null. False (with the last error)
// when it could not be started.
bool StartApplication(WORD flags, const WCHAR* file);
