#include "printer_record.h"

#include <string.h>

#include "../log/install_log.h"

namespace {

const WCHAR MachineProductKey[] = L"SOFTWARE\\Corvell\\Quillstack";
const WCHAR VendorKey[] = L"SOFTWARE\\Corvell";
const WCHAR RecordValue[] = L"SavedPrinters";
const WCHAR OurDriverName[] = L"Quillstack printer";
const int FieldsPerPrinter = 5;
const int KeyNameUnits = 64;

HKEY OpenMachineProductKey(REGSAM access, bool create) {
  HKEY key = nullptr;
  LONG status = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, MachineProductKey, 0, nullptr, 0, access | KEY_WOW64_64KEY, nullptr,
                                         &key, nullptr)
                       : RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineProductKey, 0, access | KEY_WOW64_64KEY, &key);
  return status == ERROR_SUCCESS ? key : nullptr;
}

const WCHAR* OrEmpty(const WCHAR* text) { return text != nullptr ? text : L""; }

// Appends "tag" + text and its terminator at `out` (when given); returns the units it takes.
size_t PutField(WCHAR* out, const WCHAR* tag, const WCHAR* text) {
  size_t units = 2 + static_cast<size_t>(lstrlenW(text)) + 1;
  if (out != nullptr) {
    out[0] = tag[0];
    out[1] = tag[1];
    lstrcpyW(out + 2, text);
  }
  return units;
}

size_t PutPrinter(WCHAR* out, const SavedPrinter& saved) {
  WCHAR key[KeyNameUnits] = {};
  MultiByteToWideChar(CP_ACP, 0, saved.subKey, -1, key, KeyNameUnits - 1);
  const PRINTER_INFO_2W& printer = *saved.printer;
  bool isDefault = (printer.Attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0;
  size_t units = 0;
  units += PutField(out != nullptr ? out + units : nullptr, L"N:", OrEmpty(printer.pPrinterName));
  units += PutField(out != nullptr ? out + units : nullptr, L"K:", key);
  units += PutField(out != nullptr ? out + units : nullptr, L"C:", OrEmpty(printer.pComment));
  units += PutField(out != nullptr ? out + units : nullptr, L"L:", OrEmpty(printer.pLocation));
  units += PutField(out != nullptr ? out + units : nullptr, L"D:", isDefault ? L"1" : L"0");
  return units;
}

// A printer record of its own, strings behind it in the same block, as the spooler hands them out.
PRINTER_INFO_2W* NewPrinterRecord(const WCHAR* name, const WCHAR* comment, const WCHAR* location, bool isDefault) {
  const WCHAR* texts[] = {name, comment, location, OurDriverName};
  SIZE_T bytes = sizeof(PRINTER_INFO_2W);
  for (const WCHAR* text : texts) bytes += (static_cast<SIZE_T>(lstrlenW(text)) + 1) * sizeof(WCHAR);
  PRINTER_INFO_2W* record = static_cast<PRINTER_INFO_2W*>(GlobalAlloc(GPTR, bytes));
  if (record == nullptr) return nullptr;
  WCHAR* next = reinterpret_cast<WCHAR*>(record + 1);
  WCHAR** fields[] = {&record->pPrinterName, &record->pComment, &record->pLocation, &record->pDriverName};
  for (int i = 0; i < 4; ++i) {
    lstrcpyW(next, texts[i]);
    *fields[i] = next;
    next += lstrlenW(texts[i]) + 1;
  }
  record->Attributes = isDefault ? PRINTER_ATTRIBUTE_DEFAULT : 0;
  return record;
}

// Adds one printer read from the record at the tail of SavedPrinters.
bool AppendLoaded(InstallContext& context, const WCHAR* const field[FieldsPerPrinter]) {
  char key[KeyNameUnits] = {};
  if (WideCharToMultiByte(CP_ACP, 0, field[1], -1, key, KeyNameUnits - 1, nullptr, nullptr) == 0 || key[0] == 0) return false;
  if (field[0][0] == 0 || IsSavedPrinter(context, field[0])) return false;
  SavedPrinter* saved = static_cast<SavedPrinter*>(GlobalAlloc(GPTR, sizeof(SavedPrinter)));
  char* copy = static_cast<char*>(GlobalAlloc(GPTR, strlen(key) + 1));
  PRINTER_INFO_2W* printer = NewPrinterRecord(field[0], field[2], field[3], lstrcmpW(field[4], L"1") == 0);
  if (saved == nullptr || copy == nullptr || printer == nullptr) {
    if (saved != nullptr) GlobalFree(saved);
    if (copy != nullptr) GlobalFree(copy);
    if (printer != nullptr) GlobalFree(printer);
    return false;
  }
  memcpy(copy, key, strlen(key) + 1);
  saved->subKey = copy;
  saved->printer = printer;
  saved->ownsPrinter = 1;
  SavedPrinter** tail = &context.SavedPrinters;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = saved;
  return true;
}

// Deletes the key when it holds neither values nor subkeys.
void DeleteIfEmpty(const WCHAR* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
  DWORD subkeys = 1, values = 1;
  bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                                nullptr) == ERROR_SUCCESS &&
               subkeys == 0 && values == 0;
  RegCloseKey(key);
  if (empty) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY, 0);
}

// Whether the stored value is exactly these bytes.
bool RecordReadsBack(const WCHAR* expected, DWORD bytes) {
  HKEY key = OpenMachineProductKey(KEY_QUERY_VALUE, false);
  if (key == nullptr) return false;
  BYTE* stored = static_cast<BYTE*>(GlobalAlloc(GPTR, bytes));
  DWORD read = bytes;
  DWORD type = 0;
  bool same = stored != nullptr && RegQueryValueExW(key, RecordValue, nullptr, &type, stored, &read) == ERROR_SUCCESS &&
              type == REG_MULTI_SZ && read == bytes && memcmp(stored, expected, bytes) == 0;
  if (stored != nullptr) GlobalFree(stored);
  RegCloseKey(key);
  return same;
}

}  // namespace

bool IsSavedPrinter(const InstallContext& context, const WCHAR* name) {
  for (const SavedPrinter* saved = context.SavedPrinters; saved != nullptr; saved = saved->next)
    if (name != nullptr && saved->printer->pPrinterName != nullptr && lstrcmpW(saved->printer->pPrinterName, name) == 0) return true;
  return false;
}

bool StoreSavedPrinters(const InstallContext& context) {
  size_t units = 1;  // the list's final zero
  for (const SavedPrinter* saved = context.SavedPrinters; saved != nullptr; saved = saved->next) units += PutPrinter(nullptr, *saved);
  WCHAR* value = static_cast<WCHAR*>(GlobalAlloc(GPTR, units * sizeof(WCHAR)));
  if (value == nullptr) return false;
  size_t used = 0;
  for (const SavedPrinter* saved = context.SavedPrinters; saved != nullptr; saved = saved->next) used += PutPrinter(value + used, *saved);
  bool stored = false;
  const DWORD bytes = static_cast<DWORD>(units * sizeof(WCHAR));
  HKEY key = OpenMachineProductKey(KEY_SET_VALUE, true);
  if (key != nullptr) {
    stored = RegSetValueExW(key, RecordValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(value), bytes) == ERROR_SUCCESS;
    // On disk before the first printer goes: a power cut must not take the record with it.
    if (stored) stored = RegFlushKey(key) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  // Only a record that the next run can read counts: read it back as LoadSavedPrinters will.
  if (stored) stored = RecordReadsBack(value, bytes);
  GlobalFree(value);
  return stored;
}

int LoadSavedPrinters(InstallContext& context) {
  HKEY key = OpenMachineProductKey(KEY_QUERY_VALUE, false);
  if (key == nullptr) return 0;
  DWORD bytes = 0;
  DWORD type = 0;
  WCHAR* value = nullptr;
  if (RegQueryValueExW(key, RecordValue, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_MULTI_SZ && bytes > 0) {
    // Two zero units more than the value, so that every string ends inside the block.
    value = static_cast<WCHAR*>(GlobalAlloc(GPTR, bytes + 2 * sizeof(WCHAR)));
    DWORD read = bytes;
    if (value != nullptr && RegQueryValueExW(key, RecordValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &read) != ERROR_SUCCESS) {
      GlobalFree(value);
      value = nullptr;
    }
  }
  RegCloseKey(key);
  if (value == nullptr) return 0;
  int loaded = 0;
  const WCHAR* field[FieldsPerPrinter] = {};
  const WCHAR* const tags = L"NKCLD";
  int next = 0;
  for (const WCHAR* text = value; *text != 0; text += lstrlenW(text) + 1) {
    // A printer is five tagged strings in order; anything out of step starts over at the next "N:".
    int expected = text[0] == L'N' && text[1] == L':' ? 0 : next;
    if (text[0] != tags[expected] || text[1] != L':') {
      next = 0;
      continue;
    }
    field[expected] = text + 2;
    next = expected + 1;
    if (next == FieldsPerPrinter) {
      if (AppendLoaded(context, field)) ++loaded;
      next = 0;
    }
  }
  GlobalFree(value);
  return loaded;
}

void ForgetSavedPrinters() {
  HKEY key = OpenMachineProductKey(KEY_SET_VALUE, false);
  if (key == nullptr) return;
  RegDeleteValueW(key, RecordValue);
  RegCloseKey(key);
  DeleteIfEmpty(MachineProductKey);
  DeleteIfEmpty(VendorKey);
}
