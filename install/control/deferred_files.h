// Files whose deletion failed: retried, and finally handed to Windows for the next restart.
#pragma once
#include <windows.h>

#include "install_context.h"

// Marks every file still in PendingDeletes for deletion at the next restart and empties the
// list; returns how many Windows accepted.
DWORD ScheduleDeletesAtReboot(InstallContext& context);
