// Windows' own description of an error code.
#pragma once
#include <windows.h>

// The system's text for `code` without its line end, in a LocalAlloc block the caller frees with
// LocalFree; null when there is none. English first, as the log has always had it; a Windows
// without English system messages gives its own language's text instead.
WCHAR* SystemErrorText(DWORD code);
