#include "context_setup.h"

#include "command_line.h"
#include "../log/install_log.h"
#include "../printers/printer_enumeration.h"
#include "../printers/printer_preservation.h"
#include "../spooler/component_files.h"
#include "../spooler/spooler_service.h"
#include "../util/path_parts.h"

namespace {

const UINT DirectoryQueryUnits = 260;

void StoreModuleDirectory(InstallContext& context) {
  WCHAR path[DirectoryQueryUnits] = {};
  DWORD length = GetModuleFileNameW(ProgramInstance, path, DirectoryQueryUnits);
  // A cut path may come back without its terminator; only the reported units count.
  if (length > DirectoryQueryUnits) length = DirectoryQueryUnits;
  size_t directory = DirectoryLength(path, length);
  if (directory > 0) AppendWideN(context.ModuleDirectory, path, directory);
}

}  // namespace

size_t DirectoryLength(const WCHAR* path, size_t length) { return FileNameOffset(path, length); }

void StoreSystemDirectory(InstallContext& context, const WCHAR* directory, UINT length, UINT capacity) {
  // A result of capacity or more is the size the text would need: the buffer holds nothing usable.
  if (length == 0 || length >= capacity) {
    if (length != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    LogError(context, 7, L"Can`t retrieve system directory.");
    return;
  }
  AppendWideN(context.SystemDirectory, directory, length);
  if (directory[length - 1] != L'\\') AppendWide(context.SystemDirectory, L"\\");
}

InstallContext& InitInstallContext(InstallContext& context, int installMode) {
  // A fresh record: nothing in it is owned yet, so nothing is freed here.
  context = InstallContext{};
  LogLine(context, L"Quillstack %d", BuildNumber);
  context.CheckMonitorVersion = 0;
  context.InstallMonitor = 1;
  context.InstallTray = 1;
  context.CopyMonitor = 1;
  if ((installMode & InstallModeNoTray) != 0) context.InstallTray = 0;
  CheckSpooler(context);
  SelectComponents(context, (installMode & InstallMode64Bit) != 0 ? 1 : 0);
  context.MonitorPrinters = nullptr;
  StoreModuleDirectory(context);
  WCHAR system[DirectoryQueryUnits] = {};
  UINT length = GetSystemDirectoryW(system, DirectoryQueryUnits);
  StoreSystemDirectory(context, system, length, DirectoryQueryUnits);
  SnapshotPrinters(context);
  return context;
}

void ReleaseInstallContext(InstallContext& context) {
  if (context.MonitorPrinters != nullptr) GlobalFree(context.MonitorPrinters);
  context.MonitorPrinters = nullptr;
  Release(context.Printers);
  FreeSavedPrinters(context.SavedPrinters);
  context.SavedPrinters = nullptr;
  FreeAll(context.PendingDeletes);
  context.PendingDeletes = nullptr;
  Clear(context.DriverDirectory);
  Clear(context.Log);
  Clear(context.SystemDirectory);
  Clear(context.ModuleDirectory);
}
