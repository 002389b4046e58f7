#include "uninstall.h"

// Nothing is removed yet: no error, no file left for the next restart.
UninstallOutcome RunUninstall(HWND) { return UninstallOutcome{false, 0}; }
