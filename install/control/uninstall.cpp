#include "uninstall.h"

#include "context_setup.h"
#include "deferred_files.h"
#include "../log/install_log.h"
#include "../printers/printer_preservation.h"
#include "../printers/printer_record.h"
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

RunOutcome RunUninstall(const RunSettings& settings) {
  InstallContext context = {};
  InitInstallContext(context, InstallMode64Bit);
  UninstallWithCleanup(context);
  // The printers are gone for good; a record of them would bring them back with the next install.
  ForgetSavedPrinters();
  RunOutcome outcome = EndRun(context, settings);
  ReleaseInstallContext(context);
  return outcome;
}
