#include "string_list.h"

WCHAR* DuplicateWide(const WCHAR* text) {
  if (text == nullptr) return nullptr;
  int length = lstrlenW(text);
  if (length <= 0) return nullptr;
  SIZE_T units = static_cast<SIZE_T>(length) + 1;
  // An overflowing size asks for the largest block instead, which fails.
  SIZE_T bytes = units > static_cast<SIZE_T>(-1) / sizeof(WCHAR) ? static_cast<SIZE_T>(-1) : units * sizeof(WCHAR);
  WCHAR* copy = static_cast<WCHAR*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes));
  if (copy == nullptr) return nullptr;
  lstrcpyW(copy, text);
  return copy;
}

void AddUnique(StringList& head, const WCHAR* text) {
  if (text == nullptr || text[0] == 0) return;
  for (StringListEntry* entry = head; entry != nullptr; entry = entry->next) {
    const WCHAR* a = entry->text;
    const WCHAR* b = text;
    while (*a != 0 && *a == *b) {
      ++a;
      ++b;
    }
    if (*a == *b) return;
  }
  WCHAR* copy = DuplicateWide(text);
  if (copy == nullptr) return;
  StringListEntry* entry = static_cast<StringListEntry*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(StringListEntry)));
  if (entry == nullptr) {
    GlobalFree(copy);
    return;
  }
  entry->text = copy;
  entry->next = head;
  head = entry;
}

void FreeAll(StringListEntry* first) {
  // Iterative: the same releases as walking the chain, without a stack frame per entry.
  while (first != nullptr) {
    StringListEntry* next = first->next;
    if (first->text != nullptr) GlobalFree(first->text);
    GlobalFree(first);
    first = next;
  }
}
