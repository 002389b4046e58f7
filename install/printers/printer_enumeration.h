// The machine's printers as the spooler lists them, and the context's snapshot of them.
#pragma once
#include <windows.h>

#include "printer_types.h"
#include "../control/install_context.h"

// Frees the entry block; the enumeration is empty afterwards.
void Release(PrinterEnumeration& printers);
// Fills the context's Printers once, at set-up, and marks the user's default printer.
void SnapshotPrinters(InstallContext& context);
