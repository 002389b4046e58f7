// The component files: which set, where they go, copying them, and their build numbers.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// Room for a full destination path: MAX_PATH plus 4, the terminator included.
const int ComponentPathUnits = 264;

// A destination that can be neither replaced nor moved aside is tried this many times, this far
// apart, for at most about this long.
const int DestinationAttempts = 100;
const DWORD DestinationPauseMs = 50;
const DWORD DestinationTimeoutMs = 10000;
// The clock of the destination's time limit; GetTickCount unless a test needs time to pass faster.
extern DWORD(WINAPI* DestinationTickCount)();

// Chooses the 64-bit or 32-bit set and finds the spooler's driver directory.
void SelectComponents(InstallContext& context, BYTE use64Bit);
// Copies ModuleDirectory\fileName into targetDirectory: into "<destination>.new" first, flushed,
// which then replaces the destination (ReplaceDestinationFile); a failed copy leaves it as it was. destinationPath, when given, has room for
// ComponentPathUnits and receives the full destination path ("" when it would not fit). reportErrors
// (0 or 1) decides whether a source or destination that can't be opened is logged as an error.
// Paths longer than ComponentPathUnits and an empty target directory are refused. S_OK or E_FAIL.
HRESULT CopyComponentFile(InstallContext& context, const WCHAR* targetDirectory, const WCHAR* fileName, WCHAR* destinationPath,
                          BYTE reportErrors);
// Puts the finished copy `temporary` in place of `destination` (MoveFileExW, replacing it, written
// through). A destination that a process holds is moved aside ("<destination>.old") and goes to
// PendingDeletes when it can't be deleted. Retries while neither works (about 10 s at most).
bool ReplaceDestinationFile(InstallContext& context, const WCHAR* temporary, const WCHAR* destination);
// The last component of the file's product version (0 to 65535), or -1 without a version resource.
int GetFileBuildNumber(const WCHAR* path);
