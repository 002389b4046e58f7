#include "service_parts.h"

#include "driver_cache.h"
#include "job_queue.h"
#include "monitor_host.h"

void StartSpoolerParts(SpoolerState& state) {
  InitializeCriticalSection(&state.Lock);
  LoadRegisteredMonitors(state);
  StartDespooler(state);
}

void StopSpoolerParts(SpoolerState& state) {
  bool despoolerStopped = StopDespooler(state);
  DropAllJobs(state);
  EnterCriticalSection(&state.Lock);
  ReleaseDriverCache(state);
  // A despooler still inside a monitor call keeps the monitors loaded; the process ends next.
  if (despoolerStopped) UnloadAllMonitors(state);
  LeaveCriticalSection(&state.Lock);
}
