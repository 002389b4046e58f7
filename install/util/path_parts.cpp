#include "path_parts.h"

size_t FileNameOffset(const WCHAR* path, size_t length) {
  size_t offset = 0;
  for (size_t i = 0; i < length && path[i] != 0; ++i)
    if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':') offset = i + 1;
  return offset;
}

const WCHAR* FileNamePart(const WCHAR* path) { return path + FileNameOffset(path, static_cast<size_t>(-1)); }
