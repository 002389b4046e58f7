#include "uninstall.h"

#include "context_setup.h"
#include "deferred_files.h"
#include "../log/install_log.h"
#include "../log/log_dialog.h"
#include "../printers/printer_preservation.h"
#include "../spooler/enumerations.h"
#include "../spooler/port_monitor.h"
#include "../spooler/printer_driver.h"

namespace {

void FreeEntries(EnumerationResult& result) {
  if (result.Entries != nullptr) GlobalFree(result.Entries);
  result.Entries = nullptr;
  result.Count = 0;
}

}  // namespace

void UnInstall(InstallContext& context, TrayProgramFile trayFile) {
  LogLine(context, L">UnInstall");
  LogDepthScope depth(context);
  RemoveTray(trayFile);
  LogLine(context, L"EnumMonitors");
  EnumerationResult monitors = EnumerateMonitors(context);
  LogLine(context, L"%d Monitors found.", static_cast<int>(monitors.Count));
  LogLine(context, L"EnumPrinterDrivers for %s", context.Environment);
  EnumerationResult drivers = EnumerateDrivers(context.Environment);
  LogLine(context, L"%d drivers found", static_cast<int>(drivers.Count));
  DeleteAllPrinters(context);
  RemovePrinterDriver(context, drivers);
  RemovePortMonitor(context, monitors);
  if (context.PendingDeletes != nullptr) RetryPendingDeletes(context);
  FreeEntries(monitors);
  FreeEntries(drivers);
}

void UninstallWithCleanup(InstallContext& context) {
  UnInstall(context);
  DeletePendingSources();
  RetryPendingDeletesUpToSpoolerRestart(context);
}

UninstallOutcome RunUninstall(HWND ownerWindow) {
  InstallContext context = {};
  InitInstallContext(context, InstallMode64Bit);
  UninstallWithCleanup(context);
  DWORD marked = ScheduleDeletesAtReboot(context);
  if (context.ErrorCount != 0 || (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0) ShowLogDialog(context, ownerWindow);
  bool errors = context.ErrorCount != 0;
  ReleaseInstallContext(context);
  return UninstallOutcome{errors, marked};
}
