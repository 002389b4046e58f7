// The saved-printer record: what RememberPrinter keeps, written to the machine's registry before
// the first printer is deleted, so that a run that is killed, crashes or loses power between
// deleting the product's printers and re-creating them loses none of them. The next install reads
// it back first; RestorePrinters removes it once every printer is back.
//
// HKEY_LOCAL_MACHINE\SOFTWARE\Corvell\Quillstack (64-bit view), value "SavedPrinters", REG_MULTI_SZ:
// five strings a printer, in the order of SavedPrinters: "N:" name, "K:" key name, "C:" comment,
// "L:" location, "D:1" or "D:0" (the default printer). The tags keep empty texts non-empty.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// Writes SavedPrinters as one value (one registry write: it is there whole or not at all),
// flushes the key and reads the value back. True only when it reads back as written.
bool StoreSavedPrinters(const InstallContext& context);
// Appends the printers of a record that an earlier run left to SavedPrinters (entries that own
// their printer records); returns how many. No record: 0.
int LoadSavedPrinters(InstallContext& context);
// Deletes the record, and the product's machine key when nothing else is left in it.
void ForgetSavedPrinters();
// Whether SavedPrinters holds a printer of this name.
bool IsSavedPrinter(const InstallContext& context, const WCHAR* name);
