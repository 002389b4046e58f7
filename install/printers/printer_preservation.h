// The product's printers across a reinstall: remembered with their key names before their
// removal, re-created afterwards with their names, key names, comments, locations and default.
#pragma once
#include <windows.h>

#include "printer_types.h"
#include "../control/install_context.h"

// The printer data buffer of a key name: at most 63 characters and the terminator.
const DWORD SubKeyBytes = 64;

// What a printer's key name read found.
enum SubKeyRead {
  SubKeyFound,    // a key name
  SubKeyNone,     // the printer has none: no value, another type, or a text too long for a key name
  SubKeyUnknown,  // the spooler did not say (access denied, printer gone, spooler down, ...)
};

// Remembers every local printer of the product's driver in the context's snapshot, stores the
// saved-printer record (printer_record.h), reads it back and then removes them. Printer
// connections stay, and so does every printer that could not be remembered or whose record is
// not safely stored (logged "Printer '%s' kept: ..."; counted in KeptPrinters).
void DeleteAllPrinters(InstallContext& context);
// Puts the printer at the head of SavedPrinters when it has a key name. Opens it with the access
// its removal needs (a printer that gives administrators Manage but not Print still opens). True
// when the printer may go: remembered, or known to have no key name; false (logged) when it could
// not be opened, its key name could not be read, or there was no memory for the entry.
bool RememberPrinter(InstallContext& context, PRINTER_INFO_2W* printer);
// Re-creates the remembered printers, newest first (one that is still there is left as it is);
// the printer "Quillstack" when none came back and the removal kept none.
// Removes the saved-printer record once every remembered printer was created again.
void RestorePrinters(InstallContext& context);
// The printer's "SubKey" value, from its printer data or else its "DsUser" key, into `subKey`
// (SubKeyBytes); "" when neither holds a terminated REG_SZ text.
void ReadSubKey(HANDLE printer, char* subKey);
// The same, telling a printer without a key name from one whose key name could not be read.
SubKeyRead ReadSubKeyFrom(HANDLE printer, char* subKey);
// Writes "SubKey" into both places; true when the "DsUser" write succeeded.
bool WriteSubKey(HANDLE printer, const char* subKey);
// Deletes the value "deleted" of HKCU\Software\Corvell\Quillstack\<relativePath>.
bool ClearDeletedMark(const char* relativePath);
// Releases `first`, every entry after it and their subKey strings; the printer records they
// point to belong to the snapshot and are left alone. The caller then sets its head to null.
void FreeSavedPrinters(SavedPrinter* first);
