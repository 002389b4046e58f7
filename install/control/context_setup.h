// Filling an InstallContext for a mode, and releasing everything it holds.
#pragma once
#include <windows.h>

#include "install_context.h"

// Must be the first operation on a context: writes the log's first line, makes sure the spooler
// runs, chooses the component set, finds the installer's and the system's directories and takes
// the printer snapshot. `installMode` is a set of the InstallMode bits.
InstallContext& InitInstallContext(InstallContext& context, int installMode);
// Must be the last: afterwards the context holds no resources.
void ReleaseInstallContext(InstallContext& context);

// Units of `path` up to and including its last "\", "/" or ":"; 0 when it has none.
size_t DirectoryLength(const WCHAR* path, size_t length);
// Stores the system directory as GetSystemDirectoryW reported it (`length` is its result, the
// text in `directory`), ending in "\". A result of 0, or one that says the text did not fit the
// `capacity` units, is logged as error 7 and leaves the directory empty.
void StoreSystemDirectory(InstallContext& context, const WCHAR* directory, UINT length, UINT capacity);
