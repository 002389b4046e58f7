#include "enumerations.h"

// Placeholder until the enumerations land.
EnumerationResult EnumerateMonitors(InstallContext&) { return EnumerationResult{nullptr, 2, 0}; }
int FindPortMonitor(const EnumerationResult&) { return -1; }
void ListMonitors(InstallContext&, const EnumerationResult&) {}
EnumerationResult EnumerateDrivers(const WCHAR*) { return EnumerationResult{nullptr, 6, 0}; }
int FindPrinterDriver(const EnumerationResult&) { return -1; }
