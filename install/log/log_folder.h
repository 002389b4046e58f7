// The folder of the log file, "<common application data>\Corvell\Quillstack", made safe for an
// elevated installer to write in: a standard user may have created any part of it first, owned
// it, or made it a junction to another folder. Every folder below the common data folder is
// opened relative to the handle of its parent, never through a path a link could redirect, and
// is left owned by Administrators and changeable only by SYSTEM and Administrators. The files
// are then opened and renamed through the folder's handle.
#pragma once
#include <windows.h>

// Who may change the folders and files: SYSTEM and Administrators; users read.
extern const WCHAR LogFolderSecurity[];

// Opens the folder, creating what is missing. A folder that exists with another owner or another
// access list is taken over (SeTakeOwnershipPrivilege, SeRestorePrivilege) and given
// LogFolderSecurity. Refuses (null) when any folder of the path, the common data folder
// included, is a reparse point (a junction, a symbolic link), or can't be made safe. `path`
// (MAX_PATH units) receives the folder's path, "" on refusal.
HANDLE OpenLogFolder(WCHAR* path);

// Opens (or creates) the plain file `name` of the folder for appending, with
// LogFolderSecurity. Null when it is a reparse point, has more than one link, is no file, or
// its security can't be set.
HANDLE OpenLogFileIn(HANDLE folder, const WCHAR* folderPath, const WCHAR* name);

// Renames the open file to `newName` in the same folder, replacing a file of that name, through
// the handles (FileRenameInformation relative to the folder). False when that failed.
bool RenameInFolder(HANDLE file, HANDLE folder, const WCHAR* newName);
