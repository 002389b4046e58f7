// Taking the tray program out of service.
#pragma once
#include <windows.h>

// Whether RemoveTray deletes the program file that the Run value names. A reinstall keeps it:
// its last step starts that very file again.
enum TrayProgramFile { KeepTrayProgramFile, DeleteTrayProgramFile };

// How long RemoveTray waits for the tray window to appear, and for the program to end once asked.
const int TrayWindowPolls = 20;
const DWORD TrayWindowPollMs = 250;
const DWORD TrayExitWaitMs = 5000;
// Size of the read of the Run value, in UTF-16 units; the last one always stays 0.
const int TrayRunValueUnits = 264;

// Asks a tray program running in this logon session to end (one UM_EXIT) and waits, bounded, for
// its process to end; with DeleteTrayProgramFile deletes the file the Run value names, but only
// when that file is called quilltray.exe; removes the Run value. Logs and reports nothing.
void RemoveTray(TrayProgramFile programFile);
// The file named by a Run value, quoted or not, in `path` (capacity `units`); false when the value
// names no file called quilltray.exe (any letter case).
bool TrayProgramFromRunValue(const WCHAR* value, WCHAR* path, int units);
