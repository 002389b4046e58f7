// Printers remembered before their removal, to be re-created by a reinstall.
#pragma once
#include <windows.h>

#include "printer_types.h"

// Releases `first`, every entry after it and their subKey strings; the printer records they
// point to belong to the snapshot and are left alone. The caller then sets its head to null.
void FreeSavedPrinters(SavedPrinter* first);
