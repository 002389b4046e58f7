// The product's printers across a reinstall: remembered with their key names before their
// removal, re-created afterwards with their names, key names, comments, locations and default.
#pragma once
#include <windows.h>

#include "printer_types.h"
#include "../control/install_context.h"

// The printer data buffer of a key name: at most 63 characters and the terminator.
const DWORD SubKeyBytes = 64;

// Remembers every local printer of the product's driver in the context's snapshot, stores the
// saved-printer record (printer_record.h) and then removes them. Printer connections stay.
void DeleteAllPrinters(InstallContext& context);
// Puts the printer at the head of SavedPrinters when it has a key name.
void RememberPrinter(InstallContext& context, PRINTER_INFO_2W* printer);
// Re-creates the remembered printers, newest first; the printer "Quillstack" when none came back.
// Removes the saved-printer record once every remembered printer was created again.
void RestorePrinters(InstallContext& context);
// The printer's "SubKey" value, from its printer data or else its "DsUser" key, into `subKey`
// (SubKeyBytes); "" when neither holds a terminated REG_SZ text.
void ReadSubKey(HANDLE printer, char* subKey);
// Writes "SubKey" into both places; true when the "DsUser" write succeeded.
bool WriteSubKey(HANDLE printer, const char* subKey);
// Deletes the value "deleted" of HKCU\Software\Corvell\Quillstack\<relativePath>.
bool ClearDeletedMark(const char* relativePath);
// Releases `first`, every entry after it and their subKey strings; the printer records they
// point to belong to the snapshot and are left alone. The caller then sets its head to null.
void FreeSavedPrinters(SavedPrinter* first);
