#include "component_files.h"

#include <winspool.h>

#include "../log/install_log.h"

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
  FileHandleScope destinationFile(CreateDestinationFile(context, Text(destination.Value)));
  if (destinationFile.Value == INVALID_HANDLE_VALUE) {
    if (reportErrors) LogError(context, 9, L"Cant't open destination file: %s", Text(destination.Value));
    return E_FAIL;
  }
  HRESULT result = CopyBlocks(context, sourceFile.Value, destinationFile.Value, Text(destination.Value));
  // The destination closes before the source.
  CloseHandle(destinationFile.Value);
  destinationFile.Value = INVALID_HANDLE_VALUE;
  return result;
}

}  // namespace

void SelectComponents(InstallContext& context, BYTE use64Bit) {
  const ComponentSet& set = use64Bit ? Set64 : Set32;
  context.Environment = set.Environment;
  context.MonitorFile = set.MonitorFile;
  context.DriverFile = set.DriverFile;
  context.UiFile = set.UiFile;

  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, const_cast<WCHAR*>(context.Environment), 1, nullptr, 0, &needed) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    LogError(context, 6, L"Can`t retrieve printer driver directory.");
  } else {
    // Two bytes more than reported, zero-filled: the text is terminated whatever the spooler wrote.
    SIZE_T units = needed / sizeof(WCHAR) + 2;
    WCHAR* directory = static_cast<WCHAR*>(GlobalAlloc(GPTR, units * sizeof(WCHAR)));
    if (directory == nullptr) {
      SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
      LogError(context, 6, L"Can`t retrieve printer driver directory.");
    } else if (!GetPrinterDriverDirectoryW(nullptr, const_cast<WCHAR*>(context.Environment), 1,
                                           reinterpret_cast<BYTE*>(directory), needed, &needed)) {
      LogError(context, 6, L"Can`t retrieve printer driver directory.");
    } else {
      directory[units - 1] = 0;
      LogLine(context, L"PrinterDriverDirectory(1):%s", directory);
      Clear(context.DriverDirectory);
      AssignWide(context.DriverDirectory, directory);
      if (directory[0] != 0 && !EndsWithBackslash(directory)) AppendWide(context.DriverDirectory, L"\\");
      LogLine(context, L"PrinterDriverDirectory(2):%s", Text(context.DriverDirectory));
    }
    if (directory != nullptr) GlobalFree(directory);
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

HANDLE CreateDestinationFile(InstallContext& context, const WCHAR* path) {
  DWORD start = DestinationTickCount();
  for (int attempt = 1; attempt <= DestinationAttempts; ++attempt) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (attempt == DestinationAttempts) break;
    if (DestinationTickCount() - start > DestinationTimeoutMs) {
      DWORD code = GetLastError();
      LogLine(context, L"CreateFile - timeout");
      SetLastError(code);
      break;
    }
    Sleep(DestinationPauseMs);
  }
  return INVALID_HANDLE_VALUE;
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
