#include "deferred_files.h"

// Nothing is marked yet; the list is left to the context's release.
DWORD ScheduleDeletesAtReboot(InstallContext&) { return 0; }
