// The Windows print spooler service, through the Service Control Manager.
#pragma once
#include <windows.h>

#include "../control/install_context.h"
#include "../util/string_list.h"

// A wait for a service state: a status query, then at most this many pauses with a query after each.
const int SpoolerStatePolls = 50;
const DWORD SpoolerStatePauseMs = 200;

// Makes sure the spooler runs, starting it if needed. False after a failure to open the manager
// or the service, or to start it; true when its state could not be queried.
bool CheckSpooler(InstallContext& context);
// Starts the service and polls (50 x 200 ms) until it runs. Logs nothing.
bool StartSpoolerAndWait(SC_HANDLE service);

// A scope: its beginning stops the spooler and waits for it to stop, its end starts it again and
// waits for it to run. With no context it logs nothing. Once the service could be opened, the end
// always starts it, so a scope leaves the spooler running or logs error 4.
// Windows refuses to stop a service whose dependents run (the fax service depends on the
// spooler): the beginning stops the running dependents first, and the end starts them again
// after the spooler, in the opposite order.
struct SpoolerRestart {
  InstallContext* Context;
  SC_HANDLE ServiceManager;
  SC_HANDLE Service;
  BYTE Stopped;
  StringList StoppedDependents;  // names of the dependents the beginning stopped; the last stopped first
  explicit SpoolerRestart(InstallContext* context);
  ~SpoolerRestart();
  SpoolerRestart(const SpoolerRestart&) = delete;
  SpoolerRestart& operator=(const SpoolerRestart&) = delete;
};
