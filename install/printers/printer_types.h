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
  // 1 when `printer` is a block of its own (read back from the saved-printer record of a run that
  // did not finish; printer_record.h), freed with the entry.
  BYTE ownsPrinter;
};

// A printer that the port monitor's removal moved to "file:": its record in the snapshot and the
// place in its port name where "Quillstack:" stood, so that the install undoes exactly that change.
struct MovedPrinter {
  PRINTER_INFO_2W* printer;  // null in the slot after the last
  SIZE_T portOffset;         // units from the start of pPortName
};
