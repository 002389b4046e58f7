// The start-up check, driver check and make-default commands; they run without a context and
// log nothing.
#pragma once
#include <windows.h>

#include "deferred_files.h"

// True when 64-bit component files still wait for deletion at the next restart after two rounds
// of deleting what can be deleted, each followed by a spooler restart.
bool ComponentsPendingCheck();
// True unless the user's default printer is a printer of the product's driver.
bool DefaultPrinterCheck();
// True when the driver of the product's first printer has build 2416 or later.
bool DriverBuildCheck();
// Makes the product's first printer the default printer.
void MakeDefaultPrinter();

// Whether the record lists a 64-bit component file (vtxmon64.dll, vtxdrv64.dll, vtxui64.dll, any
// letter case) in one of the product's folders (IsProductFile) as the source of an operation whose
// file still exists.
bool ListsPendingComponent(const PendingRenames& record);
