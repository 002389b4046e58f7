// Printer records that the installation context holds.
#pragma once
#include <windows.h>
#include <winspool.h>

// The level-2 printer list as EnumPrintersW returns it: the records, then their strings, in one
// zero-filled fixed global-memory block that this record owns.
struct PrinterEnumeration {
  PRINTER_INFO_2W* entries;  // null when there are none
  DWORD count;               // 0 when entries is null
};

// One printer's level-2 record as GetPrinterW returns it; the caller frees info with GlobalFree.
struct PrinterInfo2 {
  PRINTER_INFO_2W* info;  // null on failure
  DWORD size;             // the bytes the spooler reported as needed
};

// One printer remembered before its removal, to be re-created later. Newest first.
struct SavedPrinter {
  char* subKey;               // the printer's key name, ANSI, in its own global-memory block
  PRINTER_INFO_2W* printer;   // the printer's record in the context's snapshot; not owned
  SavedPrinter* next;
};
