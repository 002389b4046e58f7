#include "reinstall.h"

#include "deferred_files.h"
#include "uninstall.h"
#include "../log/install_log.h"
#include "../printers/printer_preservation.h"
#include "../printers/printer_record.h"
#include "../spooler/port_monitor.h"
#include "../spooler/printer_driver.h"
#include "../spooler/spooler_service.h"
#include "../tray/tray_autostart.h"

namespace {

// The monitor file in the system folder is the install's, whether it stays or is copied anew. A
// deletion of it that an earlier uninstall left for the next restart would delete it now (the
// next step deletes waiting files that can go) or at that restart, and take the installed port
// monitor with it.
void KeepMonitorFile(const InstallContext& context) {
  if (Length(context.SystemDirectory) == 0 || context.MonitorFile == nullptr) return;
  WideBufferScope path(Clone(context.SystemDirectory));
  AppendWide(path.Value, context.MonitorFile);
  CancelPendingDelete(Text(path.Value));
}

}  // namespace

void ReInstall(InstallContext& context) {
  LogLine(context, L">ReInstall");
  LogDepthScope depth(context, 2);
  context.CheckMonitorVersion = 1;
  // Printers that an earlier run deleted and did not get back are re-created by this one.
  int leftOver = LoadSavedPrinters(context);
  if (leftOver > 0) LogLine(context, L"Printers saved by an unfinished run: %d", leftOver);
  // The tray program is ended but its file stays: the last step starts it again.
  UnInstall(context, KeepTrayProgramFile);
  if (context.PendingDeletes != nullptr) {
    // What the removal could not delete gets one try with the spooler stopped; what stays locked
    // after that is overwritten by the install or was never ours to keep, and is forgotten.
    SpoolerRestart restart(&context);
    RetryPendingDeletes(context);
    FreeAll(context.PendingDeletes);
    context.PendingDeletes = nullptr;
  }
  KeepMonitorFile(context);
  DeletePendingSources();
  if (context.InstallMonitor) InstallPortMonitor(context);
  InstallPrinterDriver(context);
  RestorePrinters(context);
  InstallTrayAutostart(context);
  RetryPendingDeletesUpToSpoolerRestart(context);
}
