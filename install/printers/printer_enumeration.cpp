#include "printer_enumeration.h"

void Release(PrinterEnumeration& printers) {
  if (printers.entries != nullptr) GlobalFree(printers.entries);
  printers.entries = nullptr;
  printers.count = 0;
}

// Not taken yet: the snapshot stays empty, so no printer is remembered or re-created.
void SnapshotPrinters(InstallContext&) {}
