// The tray program that a failed install.exe install has just started.
#pragma once
#include <windows.h>

// install.exe install starts quilltray.exe as its last step and does not wait for it; an
// install.exe uninstall right after it looks for the tray program's mutex and, before the
// program has created it, neither ends the program nor can delete its file. Waits (at most
// waitMs) until the mutex exists in this session; false when it never appeared (no tray program
// started, or one in another session, as when install.exe ran as LocalSystem on Windows).
bool WaitForStartedTray(DWORD waitMs);
