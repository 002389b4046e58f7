#include "service_parts.h"

#include "driver_cache.h"
#include "job_queue.h"
#include "monitor_host.h"

void StartSpoolerParts(SpoolerState& state) { LoadRegisteredMonitors(state); }

void StopSpoolerParts(SpoolerState& state) {
  DropAllJobs(state);
  ReleaseDriverCache(state);
  UnloadAllMonitors(state);
}
