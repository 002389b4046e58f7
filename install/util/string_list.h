// A singly linked list of distinct wide strings in global memory, newest first.
#pragma once
#include <windows.h>

struct StringListEntry {
  WCHAR* text;             // owned; made by DuplicateWide
  StringListEntry* next;   // null at the end
};

// The list is its head pointer; null is the empty list.
typedef StringListEntry* StringList;

// Adds a copy of `text` in front unless an equal text (unit by unit, terminator included) is
// listed already. Empty or null text is never added.
void AddUnique(StringList& head, const WCHAR* text);
// Releases `first`, every entry after it and all their texts. The caller then sets its head to null.
void FreeAll(StringListEntry* first);
// A zero-filled global-memory copy of `text`; null for null or "" and when memory runs out.
WCHAR* DuplicateWide(const WCHAR* text);
