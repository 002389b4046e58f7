// The machine's printers as the spooler lists them, the context's snapshot of them, and the
// printer-level operations of the installer: creation on the product's port and removal.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "printer_types.h"
#include "../control/install_context.h"

// The access a printer's removal needs (DELETE and PRINTER_ACCESS_ADMINISTER), and the one the
// installer opens the product's printers with before removing them.
const DWORD PrinterRemoveAccess = DELETE | PRINTER_ACCESS_ADMINISTER;

// How often Refresh repeats its two calls when printers appear between them.
const int RefreshAttempts = 5;

// Fills the enumeration with every local printer and printer connection at level 2; empty on
// failure. A block that grew between the size query and the read is asked for again.
void Refresh(PrinterEnumeration& printers);
// Frees the entry block; the enumeration is empty afterwards.
void Release(PrinterEnumeration& printers);
// Fills the context's Printers once, at set-up, and marks the user's default printer with
// PRINTER_ATTRIBUTE_DEFAULT in memory.
void SnapshotPrinters(InstallContext& context);
// True when the record's driver is exactly "Quillstack printer" (case and length count).
bool IsOurPrinter(const PRINTER_INFO_2W& printer);
// True for a printer connection (PRINTER_ATTRIBUTE_NETWORK): a print server's printer, which the
// installer neither removes nor re-creates, whatever its driver.
bool IsPrinterConnection(const PRINTER_INFO_2W& printer);
// The open printer's level-2 record in a global-memory block the caller frees; info null on failure.
PrinterInfo2 QueryPrinterInfo2(HANDLE printer);
// Adds a printer of this name on "Quillstack:" with the product's driver and "WinPrint".
// The caller closes the handle it returns; null when the spooler refused (error 15).
HANDLE CreatePrinter(InstallContext& context, const WCHAR* name);
// Purges the printer's queue and deletes it; errors 16 and 17. Jobs that were still waiting are
// counted in the log ("Jobs deleted with the printer: %d") before they go.
void RemovePrinter(InstallContext& context, const WCHAR* name);

// The spooler's default printer, through GetDefaultPrinterW and SetDefaultPrinterW, looked up by
// name, or by their ordinals 203 and 204 where winspool.drv lacks the names. `units` is the capacity in characters, and the
// required one on failure.
BOOL QueryDefaultPrinter(WCHAR* buffer, DWORD* units);
BOOL SetDefaultPrinterName(const WCHAR* name);
