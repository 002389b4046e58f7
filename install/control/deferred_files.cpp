#include "deferred_files.h"

#include <winspool.h>

#include "../log/install_log.h"
#include "../spooler/spooler_service.h"
#include "../util/path_parts.h"
#include "../util/two_call_query.h"

namespace {

const char SessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const WCHAR PendingRenamesValue[] = L"PendingFileRenameOperations";

// The value's bytes in a zero-filled global block that holds two zero units more than the value's
// whole units, so that every string of the value, terminated or not, ends inside the block, and a
// list can be closed properly when it is written back.
// `bytes` receives the size the value was read with; null when there is nothing to read.
WCHAR* ReadValueBlock(HKEY key, DWORD& bytes) {
  bytes = 0;
  WCHAR* block = nullptr;
  DWORD size = 0;
  if (RegQueryValueExW(key, PendingRenamesValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0 &&
      size <= MAXDWORD - 2 * sizeof(WCHAR)) {
    block = static_cast<WCHAR*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size + 2 * sizeof(WCHAR)));
    DWORD read = size;
    // A value that grew since the size query fails here (ERROR_MORE_DATA) and counts as empty:
    // its new size describes bytes the block does not have.
    if (block != nullptr && RegQueryValueExW(key, PendingRenamesValue, nullptr, nullptr, reinterpret_cast<BYTE*>(block),
                                             &read) == ERROR_SUCCESS && read <= size) {
      bytes = read;
      block[read / sizeof(WCHAR)] = 0;  // drops an odd trailing byte and ends an unterminated last string
    } else if (block != nullptr) {
      GlobalFree(block);
      block = nullptr;
    }
  }
  return block;
}

// The component files, whatever their folder: the only files whose pending deletions the
// installer touches.
const WCHAR* const ProductFileNames[] = {L"vtxmon64.dll", L"vtxmon32.dll", L"vtxdrv64.dll", L"vtxdrv32.dll",
                                         L"vtxui64.dll",  L"vtxui32.dll",  L"vtxhelp.chm"};

// The folders the product's files are put in: the system directory, and the spooler's driver
// directory of both environments with the version folder the spooler moves driver files to.
const WCHAR* const DriverEnvironments[] = {L"Windows x64", L"Windows NT x86"};
const WCHAR DriverVersionFolder[] = L"3\\";
const int ProductFolderCount = 5;
const UINT FolderUnits = MAX_PATH + 4;

struct ProductFolders {
  WCHAR Paths[ProductFolderCount][FolderUnits];  // each ending in "\"; empty when unknown
};

void EndWithSeparator(WCHAR* folder) {
  size_t length = static_cast<size_t>(lstrlenW(folder));
  if (length > 0 && length + 1 < FolderUnits && folder[length - 1] != L'\\') lstrcatW(folder, L"\\");
}

void FindProductFolders(ProductFolders& folders) {
  ZeroMemory(&folders, sizeof(folders));
  UINT length = GetSystemDirectoryW(folders.Paths[0], FolderUnits - 2);
  if (length == 0 || length >= FolderUnits - 2) folders.Paths[0][0] = 0;
  EndWithSeparator(folders.Paths[0]);
  int next = 1;
  for (const WCHAR* environment : DriverEnvironments) {
    WCHAR* name = const_cast<WCHAR*>(environment);
    TwoCallResult query = QueryTwice(
        [name](BYTE* buffer, DWORD bytes, DWORD* needed) { return GetPrinterDriverDirectoryW(nullptr, name, 1, buffer, bytes, needed); },
        sizeof(WCHAR));
    WCHAR* directory = reinterpret_cast<WCHAR*>(query.Block);
    if (directory != nullptr && static_cast<UINT>(lstrlenW(directory)) + 4 < FolderUnits) {
      lstrcpyW(folders.Paths[next], directory);
      EndWithSeparator(folders.Paths[next]);
      lstrcpyW(folders.Paths[next + 1], folders.Paths[next]);
      lstrcatW(folders.Paths[next + 1], DriverVersionFolder);
    }
    if (directory != nullptr) GlobalFree(directory);
    next += 2;
  }
}

// Whether the path's folder is one of the product's folders (letter case aside).
bool InProductFolder(const ProductFolders& folders, const WCHAR* path) {
  const WCHAR* name = FileNamePart(path);
  int folderLength = static_cast<int>(name - path);
  for (const WCHAR* folder : folders.Paths)
    if (folder[0] != 0 && CompareStringOrdinal(path, folderLength, folder, -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

WCHAR* ReadValueBlock(DWORD& bytes) {
  bytes = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  WCHAR* block = ReadValueBlock(key, bytes);
  RegCloseKey(key);
  return block;
}

WCHAR* CopyUnits(const WCHAR* text, int length) {
  WCHAR* copy = static_cast<WCHAR*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, (static_cast<SIZE_T>(length) + 1) * sizeof(WCHAR)));
  if (copy != nullptr) CopyMemory(copy, text, static_cast<SIZE_T>(length) * sizeof(WCHAR));
  return copy;
}

INT32 NamesAFile(const WCHAR* path) {
  DWORD attributes = GetFileAttributesW(FileSystemPath(path));
  return (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ? 1 : 0;
}

}  // namespace

const WCHAR* FileSystemPath(const WCHAR* path) {
  if (path[0] == L'\\' && path[1] == L'?' && path[2] == L'?' && path[3] == L'\\') return path + 4;
  return path;
}

void ReadPendingRenames(PendingRenames& record) {
  record.Names = nullptr;
  record.IsFile = nullptr;
  record.PairCount = 0;
  DWORD bytes = 0;
  WCHAR* value = ReadValueBlock(bytes);
  if (value == nullptr) return;
  // Units before the list's final zero; a value of fewer than two bytes has none.
  const INT64 end = (static_cast<INT64>(bytes) - 2) / 2;
  INT64 strings = 0;
  for (INT64 position = 0; position < end; position += lstrlenW(value + position) + 1) ++strings;
  const INT64 pairs = strings / 2;
  if (pairs > 0) {
    SIZE_T entries = static_cast<SIZE_T>(pairs) * 2;
    record.Names = static_cast<WCHAR**>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, entries * sizeof(WCHAR*)));
    record.IsFile = static_cast<INT32*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, entries * sizeof(INT32)));
    record.PairCount = static_cast<INT32>(pairs);
    bool complete = record.Names != nullptr && record.IsFile != nullptr;
    INT64 position = 0;
    for (SIZE_T i = 0; complete && position < end && i < entries; ++i) {
      int length = lstrlenW(value + position);
      if (length > 0) {
        record.Names[i] = CopyUnits(value + position, length);
        // A missing name would turn a rename into a deletion: without every name, no record.
        complete = record.Names[i] != nullptr;
        if (complete) record.IsFile[i] = NamesAFile(record.Names[i]);
      }
      position += length + 1;
    }
    if (!complete) ReleasePendingRenames(record);
  }
  GlobalFree(value);
}

void DeleteListedSources(PendingRenames& record) {
  ProductFolders folders;
  FindProductFolders(folders);
  for (INT32 k = 0; k < record.PairCount; ++k) {
    WCHAR* source = record.Names[2 * k];
    // Only the product's own files where the product puts them: what other programs left for the
    // restart is theirs to keep, whatever its name.
    if (record.IsFile[2 * k] == 1 && source != nullptr && record.Names[2 * k + 1] == nullptr && IsProductFileName(source) &&
        InProductFolder(folders, FileSystemPath(source)) && DeleteFileW(FileSystemPath(source)))
      record.IsFile[2 * k] = 0;
  }
}

void ReleasePendingRenames(PendingRenames& record) {
  if (record.Names != nullptr) {
    for (INT32 i = 0; i < 2 * record.PairCount; ++i)
      if (record.Names[i] != nullptr) GlobalFree(record.Names[i]);
    GlobalFree(record.Names);
  }
  if (record.IsFile != nullptr) GlobalFree(record.IsFile);
  record.Names = nullptr;
  record.IsFile = nullptr;
  record.PairCount = 0;
}

void DeletePendingSources() {
  PendingRenames record;
  ReadPendingRenames(record);
  DeleteListedSources(record);
  ReleasePendingRenames(record);
}

bool IsProductFileName(const WCHAR* path) {
  const WCHAR* name = FileNamePart(FileSystemPath(path));
  for (const WCHAR* component : ProductFileNames) {
    int length = lstrlenW(component);
    if (lstrlenW(name) < length || CompareStringOrdinal(name, length, component, length, TRUE) != CSTR_EQUAL) continue;
    const WCHAR* rest = name + length;
    if (rest[0] == 0 || CompareStringOrdinal(rest, -1, L".new", -1, TRUE) == CSTR_EQUAL) return true;
    // ".old", ".old1" to ".old9": where the component copy moves a locked file aside.
    if (CompareStringOrdinal(rest, lstrlenW(rest) < 4 ? -1 : 4, L".old", -1, TRUE) == CSTR_EQUAL &&
        (rest[4] == 0 || (rest[4] >= L'1' && rest[4] <= L'9' && rest[5] == 0)))
      return true;
  }
  return false;
}

bool IsProductFile(const WCHAR* path) {
  if (!IsProductFileName(path)) return false;
  ProductFolders folders;
  FindProductFolders(folders);
  return InProductFolder(folders, FileSystemPath(path));
}

bool CancelPendingDelete(const WCHAR* path) {
  if (!IsProductFile(path)) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD bytes = 0;
  WCHAR* value = ReadValueBlock(key, bytes);
  bool changed = false;
  if (value != nullptr) {
    // Whole units of the value; the block holds zero units behind them (ReadValueBlock).
    INT64 units = bytes / 2;
    // Strings start below units - 1, the place of the list's final zero, as ReadPendingRenames reads them.
    for (INT64 source = 0; source < units - 1;) {
      INT64 destination = source + lstrlenW(value + source) + 1;
      if (destination >= units - 1) break;  // an unpaired last string is left as it is
      INT64 next = destination + lstrlenW(value + destination) + 1;
      if (next > units) next = units;
      if (value[destination] == 0 && value[source] != 0 &&
          CompareStringOrdinal(FileSystemPath(value + source), -1, path, -1, TRUE) == CSTR_EQUAL) {
        // Everything behind the pair moves up, the block's zero units included.
        MoveMemory(value + source, value + next, static_cast<SIZE_T>(units - next + 2) * sizeof(WCHAR));
        units -= next - source;
        changed = true;
      } else {
        source = next;
      }
    }
    if (changed) {
      bool anyText = false;
      for (INT64 i = 0; i < units && !anyText; ++i) anyText = value[i] != 0;
      // Written with the last string's zero and the list's final zero, whatever the value lacked.
      INT64 written = units;
      if (written == 0 || value[written - 1] != 0) written += 2;
      else if (written < 2 || value[written - 2] != 0) written += 1;
      if (!anyText)
        RegDeleteValueW(key, PendingRenamesValue);
      else
        RegSetValueExW(key, PendingRenamesValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(written * 2));
    }
    GlobalFree(value);
  }
  RegCloseKey(key);
  return changed;
}

void RetryPendingDeletes(InstallContext& context) {
  LogLine(context, L"DeleteFile-try");
  StringListEntry** link = &context.PendingDeletes;
  while (*link != nullptr) {
    StringListEntry* entry = *link;
    if (DeleteFileW(entry->text) || GetLastError() == ERROR_FILE_NOT_FOUND) {
      *link = entry->next;
      GlobalFree(entry->text);
      GlobalFree(entry);
    } else {
      link = &entry->next;
    }
  }
}

void RetryPendingDeletesUpToSpoolerRestart(InstallContext& context) {
  if (context.PendingDeletes == nullptr) return;
  RetryPendingDeletes(context);
  if (context.PendingDeletes == nullptr) return;
  SpoolerRestart restart(&context);
  RetryPendingDeletes(context);
}

DWORD ScheduleDeletesAtReboot(InstallContext& context) {
  DWORD accepted = 0;
  for (StringListEntry* entry = context.PendingDeletes; entry != nullptr; entry = entry->next)
    if (MoveFileExW(entry->text, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) ++accepted;
  FreeAll(context.PendingDeletes);
  context.PendingDeletes = nullptr;
  return accepted;
}
