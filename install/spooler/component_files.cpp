#include "component_files.h"

#include <winspool.h>

#include "../log/install_log.h"
#include "../util/string_list.h"
#include "../util/two_call_query.h"

DWORD(WINAPI* DestinationTickCount)() = GetTickCount;

namespace {

const DWORD CopyBlockBytes = 8192;

struct ComponentSet {
  const WCHAR* Environment;
  const WCHAR* MonitorFile;
  const WCHAR* DriverFile;
  const WCHAR* UiFile;
};
const ComponentSet Set64 = {L"Windows x64", L"vtxmon64.dll", L"vtxdrv64.dll", L"vtxui64.dll"};
const ComponentSet Set32 = {L"Windows NT x86", L"vtxmon32.dll", L"vtxdrv32.dll", L"vtxui32.dll"};
const WCHAR HelpFileName[] = L"vtxhelp.chm";
// The copy's own file beside the destination, and the names a locked destination is moved to.
const WCHAR TemporarySuffix[] = L".new";
const WCHAR AsideSuffix[] = L".old";
const int AsideNames = 10;

bool EndsWithBackslash(const WCHAR* text) {
  int n = lstrlenW(text);
  return n > 0 && text[n - 1] == L'\\';
}

// directory + "\" (unless it is empty or ends in one) + file name.
WideBuffer JoinPath(const WCHAR* directory, const WCHAR* fileName) {
  WideBuffer path;
  AssignWide(path, directory);
  if (directory[0] != 0 && !EndsWithBackslash(directory)) AppendWide(path, L"\\");
  AppendWide(path, fileName);
  return path;
}

// Whether the path and its terminator fit in ComponentPathUnits.
bool FitsPathBuffer(const WideBuffer& path) { return Length(path) < static_cast<UINT64>(ComponentPathUnits); }

struct FileHandleScope {
  HANDLE Value;
  explicit FileHandleScope(HANDLE value) : Value(value) {}
  ~FileHandleScope() {
    if (Value != INVALID_HANDLE_VALUE) CloseHandle(Value);
  }
  FileHandleScope(const FileHandleScope&) = delete;
  FileHandleScope& operator=(const FileHandleScope&) = delete;
};

// Copies in blocks of at most CopyBlockBytes. A short write is error 8; a read that fails
// part-way leaves an incomplete destination, so it fails the copy as well.
HRESULT CopyBlocks(InstallContext& context, HANDLE source, HANDLE destination, const WCHAR* destinationPath) {
  BYTE block[CopyBlockBytes];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source, block, CopyBlockBytes, &read, nullptr)) return E_FAIL;
    if (read > 0) {
      DWORD written = 0;
      if (!WriteFile(destination, block, read, &written, nullptr) || written != read) {
        LogError(context, 8, L"CopyFile(..,%s)", destinationPath);
        return E_FAIL;
      }
    }
    if (read < CopyBlockBytes) return S_OK;
  }
}

HRESULT CopyComponentPaths(InstallContext& context, const WCHAR* targetDirectory, const WCHAR* fileName, WCHAR* destinationPath,
                           BYTE reportErrors) {
  WideBufferScope source(JoinPath(Text(context.ModuleDirectory), fileName));
  WideBufferScope destination(JoinPath(targetDirectory, fileName));
  if (destinationPath != nullptr) {
    // A path that does not fit is never handed out cut short.
    if (FitsPathBuffer(destination.Value)) lstrcpynW(destinationPath, Text(destination.Value), ComponentPathUnits);
    else destinationPath[0] = 0;
  }

  if (!FitsPathBuffer(source.Value)) {
    LogLine(context, L"Path too long: %s", Text(source.Value));
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    if (reportErrors) LogError(context, 10, L"Cant't open source file: %s", fileName);
    return E_FAIL;
  }
  if (!FitsPathBuffer(destination.Value)) {
    LogLine(context, L"Path too long: %s", Text(destination.Value));
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    if (reportErrors) LogError(context, 9, L"Cant't open destination file: %s", Text(destination.Value));
    return E_FAIL;
  }
  // Without a target directory the copy would land in whatever the current directory is.
  if (targetDirectory[0] == 0) {
    LogLine(context, L"No target directory for %s", fileName);
    SetLastError(ERROR_PATH_NOT_FOUND);
    if (reportErrors) LogError(context, 9, L"Cant't open destination file: %s", Text(destination.Value));
    return E_FAIL;
  }

  FileHandleScope sourceFile(
      CreateFileW(Text(source.Value), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (sourceFile.Value == INVALID_HANDLE_VALUE) {
    if (reportErrors) LogError(context, 10, L"Cant't open source file: %s", fileName);
    return E_FAIL;
  }
  // The copy goes into a file of its own beside the destination, which is replaced only by a
  // whole, flushed copy: a failed copy leaves the destination as it was.
  WideBufferScope temporary(Clone(destination.Value));
  AppendWide(temporary.Value, TemporarySuffix);
  FileHandleScope temporaryFile(CreateFileW(Text(temporary.Value), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (temporaryFile.Value == INVALID_HANDLE_VALUE) {
    if (reportErrors) LogError(context, 9, L"Cant't open destination file: %s", Text(destination.Value));
    return E_FAIL;
  }
  HRESULT result = CopyBlocks(context, sourceFile.Value, temporaryFile.Value, Text(destination.Value));
  if (result == S_OK && !FlushFileBuffers(temporaryFile.Value)) {
    LogError(context, 8, L"CopyFile(..,%s)", Text(destination.Value));
    result = E_FAIL;
  }
  CloseHandle(temporaryFile.Value);
  temporaryFile.Value = INVALID_HANDLE_VALUE;
  if (result == S_OK && !ReplaceDestinationFile(context, Text(temporary.Value), Text(destination.Value))) {
    if (reportErrors) LogError(context, 9, L"Cant't open destination file: %s", Text(destination.Value));
    result = E_FAIL;
  }
  if (result != S_OK) {
    DWORD code = GetLastError();
    DeleteFileW(Text(temporary.Value));
    SetLastError(code);
  }
  return result;
}

// Renames the destination to a free name beside it (".old", ".old1" to ".old9") and moves the
// copy in. A file that a process has loaded can be renamed though neither replaced nor deleted;
// the old file is deleted now if it can be, else it waits in PendingDeletes for the next restart.
// False with the rename's last error when the destination can't be moved aside.
bool MoveDestinationAside(InstallContext& context, const WCHAR* temporary, const WCHAR* destination) {
  if (GetFileAttributesW(destination) == INVALID_FILE_ATTRIBUTES) return false;
  for (int candidate = 0; candidate < AsideNames; ++candidate) {
    WideBufferScope aside;
    AssignWide(aside.Value, destination);
    AppendWide(aside.Value, AsideSuffix);
    if (candidate > 0) {
      WCHAR digit[2] = {static_cast<WCHAR>(L'0' + candidate), 0};
      AppendWide(aside.Value, digit);
    }
    // A leftover of an earlier run that can go now makes room; one that can't keeps its name.
    DeleteFileW(Text(aside.Value));
    if (!MoveFileExW(destination, Text(aside.Value), MOVEFILE_WRITE_THROUGH)) {
      DWORD code = GetLastError();
      if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) continue;
      return false;
    }
    if (!MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      DWORD code = GetLastError();
      MoveFileExW(Text(aside.Value), destination, MOVEFILE_WRITE_THROUGH);
      SetLastError(code);
      return false;
    }
    LogLine(context, L"Locked file moved aside: %s", Text(aside.Value));
    if (!DeleteFileW(Text(aside.Value))) AddUnique(context.PendingDeletes, Text(aside.Value));
    return true;
  }
  return false;
}

}  // namespace

void SelectComponents(InstallContext& context, BYTE use64Bit) {
  const ComponentSet& set = use64Bit ? Set64 : Set32;
  context.Environment = set.Environment;
  context.MonitorFile = set.MonitorFile;
  context.DriverFile = set.DriverFile;
  context.UiFile = set.UiFile;

  // Two bytes more than reported, zero-filled: the text is terminated whatever the spooler wrote.
  WCHAR* environment = const_cast<WCHAR*>(context.Environment);
  TwoCallResult query = QueryTwice(
      [environment](BYTE* buffer, DWORD bytes, DWORD* needed) {
        return GetPrinterDriverDirectoryW(nullptr, environment, 1, buffer, bytes, needed);
      },
      sizeof(WCHAR));
  WCHAR* directory = reinterpret_cast<WCHAR*>(query.Block);
  if (directory == nullptr) {
    LogError(context, 6, L"Can`t retrieve printer driver directory.");
  } else {
    LogLine(context, L"PrinterDriverDirectory(1):%s", directory);
    Clear(context.DriverDirectory);
    AssignWide(context.DriverDirectory, directory);
    if (directory[0] != 0 && !EndsWithBackslash(directory)) AppendWide(context.DriverDirectory, L"\\");
    LogLine(context, L"PrinterDriverDirectory(2):%s", Text(context.DriverDirectory));
    GlobalFree(directory);
  }
  context.HelpFile = HelpFileName;
}

HRESULT CopyComponentFile(InstallContext& context, const WCHAR* targetDirectory, const WCHAR* fileName, WCHAR* destinationPath,
                          BYTE reportErrors) {
  if (targetDirectory == nullptr) targetDirectory = L"";
  LogLine(context, L">CopyFile %s to %s [%d])", fileName, targetDirectory, reportErrors ? 1 : 0);
  HRESULT result;
  {
    LogDepthScope depth(context);
    result = CopyComponentPaths(context, targetDirectory, fileName, destinationPath, reportErrors);
    LogLine(context, result == S_OK ? L"Copy Succeeded :)" : L"Copy Failed :(");
  }
  return result;
}

bool ReplaceDestinationFile(InstallContext& context, const WCHAR* temporary, const WCHAR* destination) {
  DWORD start = DestinationTickCount();
  for (int attempt = 1; attempt <= DestinationAttempts; ++attempt) {
    if (MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    if (MoveDestinationAside(context, temporary, destination)) return true;
    if (attempt == DestinationAttempts) break;
    if (DestinationTickCount() - start > DestinationTimeoutMs) {
      DWORD code = GetLastError();
      LogLine(context, L"CreateFile - timeout");
      SetLastError(code);
      break;
    }
    Sleep(DestinationPauseMs);
  }
  return false;
}

int GetFileBuildNumber(const WCHAR* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return -1;
  void* block = GlobalAlloc(GPTR, size);
  if (block == nullptr) return -1;
  int build = -1;
  if (GetFileVersionInfoW(path, 0, size, block)) {
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&info), &length) && info != nullptr &&
        length >= sizeof(VS_FIXEDFILEINFO))
      build = static_cast<int>(info->dwProductVersionLS & 0xFFFF);
  }
  GlobalFree(block);
  return build;
}
