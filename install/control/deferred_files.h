// Files whose deletion failed: the installer's own list (PendingDeletes), retried and finally
// handed to Windows for the next restart, and the system's list of deletions waiting for that
// restart ("PendingFileRenameOperations"), whose files are deleted at once when they can be.
#pragma once
#include <windows.h>

#include "install_context.h"

// A snapshot of "PendingFileRenameOperations". Operation k is the pair Names[2k] (source) and
// Names[2k+1] (destination); a null destination (an empty string in the value) makes it a
// deletion of its source, anything else is a rename and is never touched. Both arrays and every
// name are global-memory blocks owned by the record; ReleasePendingRenames frees them.
struct PendingRenames {
  WCHAR** Names;   // 2 * PairCount entries, null for an empty string; the paths as the value holds them
  INT32* IsFile;   // 2 * PairCount flags: 1 when the entry's path names an existing file (not a directory)
  INT32 PairCount;
};

// The path to hand to the file system: a leading "\??\" is skipped, anything else is used as it is.
const WCHAR* FileSystemPath(const WCHAR* path);

// Fills the record from the registry; empty (no arrays, PairCount 0) when the value is missing,
// empty or unreadable. Only the bytes the value holds are read: an odd trailing byte is dropped,
// and a last string that lacks its terminator ends where the value ends.
void ReadPendingRenames(PendingRenames& record);
// Deletes now every source of a pending deletion that is an existing file of the product
// in one of its folders (IsProductFile) and clears its IsFile flag when that succeeded. Other
// programs' files stay for the restart, whatever their names. Silent; the registry value is not changed.
void DeleteListedSources(PendingRenames& record);
// Frees the names and both arrays; the record is empty afterwards.
void ReleasePendingRenames(PendingRenames& record);
// ReadPendingRenames, DeleteListedSources and the release, in one.
void DeletePendingSources();

// Whether the path's file name is one of the product's component files (vtxmon64.dll, ... any
// letter case), or the ".new" or ".old" file that the component copy makes beside one.
bool IsProductFileName(const WCHAR* path);
// Whether the path (with or without "\\??\\") names a product file (IsProductFileName) in one of
// the folders the product puts its files in: the system directory, the spooler's driver directory
// of "Windows x64" or "Windows NT x86", or its version folder "3\\". A file of that name anywhere
// else belongs to someone else.
bool IsProductFile(const WCHAR* path);
// Takes every pending deletion of `path` (a file-system path, compared without regard to case)
// out of "PendingFileRenameOperations", leaving the other operations as they were, byte for byte.
// Only for the product's own files (IsProductFile); any other path changes nothing.
// An install calls it for a file it puts in place again, which the next restart would otherwise
// delete. True when the value was changed.
bool CancelPendingDelete(const WCHAR* path);

// Logs "DeleteFile-try" and tries once more to delete every file of PendingDeletes; a file that
// is deleted or no longer exists leaves the list, every other keeps its place.
void RetryPendingDeletes(InstallContext& context);
// RetryPendingDeletes while the list is not empty: once as things are, and once more with the
// spooler stopped (it holds the modules it has loaded).
void RetryPendingDeletesUpToSpoolerRestart(InstallContext& context);
// Marks every file still in PendingDeletes for deletion at the next restart and empties the
// list; returns how many Windows accepted. Logs nothing.
DWORD ScheduleDeletesAtReboot(InstallContext& context);
