#include "printer_preservation.h"

void FreeSavedPrinters(SavedPrinter* first) {
  // Iterative: the same releases as walking the chain, without a stack frame per entry.
  while (first != nullptr) {
    SavedPrinter* next = first->next;
    if (first->subKey != nullptr) GlobalFree(first->subKey);
    GlobalFree(first);
    first = next;
  }
}
