// The parts of a file path, as the installer splits them everywhere.
#pragma once
#include <windows.h>

// Units of the first `length` units of `path` up to and including its last "\", "/" or ":"
// (the folder part); 0 when it has none. Stops early at a terminator.
size_t FileNameOffset(const WCHAR* path, size_t length);
// The part of a terminated path behind its last "\", "/" or ":"; the whole path when it has none.
const WCHAR* FileNamePart(const WCHAR* path);
