#include "printer_preservation.h"

#include <string.h>

#include "printer_enumeration.h"
#include "printer_record.h"
#include "../log/install_log.h"

namespace {

const char SubKeyValue[] = "SubKey";
const char SubKeyDataKey[] = "DsUser";
const char ProductKey[] = "Software\\Corvell\\Quillstack";
const char PrinterKeysFolder[] = "Quillstacks\\";
const char DeletedValue[] = "deleted";
const DWORD PrinterKeyPathBytes = 260;
const WCHAR FreshPrinterName[] = L"Quillstack";

// A REG_SZ read that holds its terminator inside what was read; anything else is no key name.
bool IsTerminatedText(DWORD status, DWORD type, const char* buffer, DWORD read) {
  if (status != ERROR_SUCCESS || type != REG_SZ) return false;
  DWORD limit = read < SubKeyBytes ? read : SubKeyBytes;
  return memchr(buffer, 0, limit) != nullptr;
}

// A read that failed this way has an answer: the value is missing, or holds no usable key name
// (too long for one, another type, no terminator). Any other failure says nothing about it.
const PRINTER_INFO_2W* FindPrinter(const PrinterEnumeration& printers, const WCHAR* name) {
  for (DWORD i = 0; i < printers.count; ++i)
    if (name != nullptr && printers.entries[i].pPrinterName != nullptr && lstrcmpW(printers.entries[i].pPrinterName, name) == 0)
      return &printers.entries[i];
  return nullptr;
}

bool SaysNoKeyName(DWORD status) { return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_MORE_DATA; }

// The product's local printers; a printer connection belongs to its print server and could not
// be created here again.
bool IsRemovable(const PRINTER_INFO_2W& printer) { return IsOurPrinter(printer) && !IsPrinterConnection(printer); }

}  // namespace

void ReadSubKey(HANDLE printer, char* subKey) { ReadSubKeyFrom(printer, subKey); }

SubKeyRead ReadSubKeyFrom(HANDLE printer, char* subKey) {
  DWORD type = 0;
  DWORD read = 0;
  memset(subKey, 0, SubKeyBytes);
  DWORD status = GetPrinterDataA(printer, const_cast<char*>(SubKeyValue), &type, reinterpret_cast<BYTE*>(subKey), SubKeyBytes, &read);
  if (IsTerminatedText(status, type, subKey, read)) return SubKeyFound;
  bool firstSaysNone = SaysNoKeyName(status);
  memset(subKey, 0, SubKeyBytes);
  type = 0;
  read = 0;
  status = GetPrinterDataExA(printer, SubKeyDataKey, SubKeyValue, &type, reinterpret_cast<BYTE*>(subKey), SubKeyBytes, &read);
  if (IsTerminatedText(status, type, subKey, read)) return SubKeyFound;
  memset(subKey, 0, SubKeyBytes);
  return firstSaysNone && SaysNoKeyName(status) ? SubKeyNone : SubKeyUnknown;
}

bool WriteSubKey(HANDLE printer, const char* subKey) {
  DWORD bytes = static_cast<DWORD>(strlen(subKey)) + 1;
  BYTE* data = reinterpret_cast<BYTE*>(const_cast<char*>(subKey));
  SetPrinterDataA(printer, const_cast<char*>(SubKeyValue), REG_SZ, data, bytes);
  return SetPrinterDataExA(printer, SubKeyDataKey, SubKeyValue, REG_SZ, data, bytes) == ERROR_SUCCESS;
}

bool ClearDeletedMark(const char* relativePath) {
  char path[PrinterKeyPathBytes + sizeof(ProductKey) + 1] = {};
  lstrcpynA(path, ProductKey, sizeof(path));
  lstrcatA(path, "\\");
  size_t used = strlen(path);
  lstrcpynA(path + used, relativePath, static_cast<int>(sizeof(path) - used));
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  LONG status = RegDeleteValueA(key, DeletedValue);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool RememberPrinter(InstallContext& context, PRINTER_INFO_2W* printer) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PrinterRemoveAccess};
  HANDLE handle = nullptr;
  if (!OpenPrinterW(printer->pPrinterName, &handle, &defaults) || handle == nullptr) {
    LogError(context, 16, L"Can`t open printer '%s'", printer->pPrinterName);
    LogLine(context, L"Printer '%s' kept: it can't be remembered", printer->pPrinterName);
    return false;
  }
  char subKey[SubKeyBytes];
  SubKeyRead found = ReadSubKeyFrom(handle, subKey);
  ClosePrinter(handle);
  if (found == SubKeyNone) return true;
  if (found == SubKeyUnknown) {
    LogLine(context, L"Printer '%s' kept: its key name can't be read", printer->pPrinterName);
    return false;
  }

  SavedPrinter* saved = static_cast<SavedPrinter*>(GlobalAlloc(GPTR, sizeof(SavedPrinter)));
  char* copy = static_cast<char*>(GlobalAlloc(GPTR, strlen(subKey) + 1));
  if (saved == nullptr || copy == nullptr) {
    if (saved != nullptr) GlobalFree(saved);
    if (copy != nullptr) GlobalFree(copy);
    LogLine(context, L"Printer '%s' kept: it can't be remembered", printer->pPrinterName);
    return false;
  }
  memcpy(copy, subKey, strlen(subKey) + 1);
  saved->subKey = copy;
  saved->printer = printer;
  saved->next = context.SavedPrinters;
  context.SavedPrinters = saved;
  return true;
}

void DeleteAllPrinters(InstallContext& context) {
  LogLine(context, L">DeleteAllPrinters");
  LogDepthScope depth(context);
  if (context.Printers.count == 0) return;
  // 1 for each snapshot entry that may be deleted once the record is stored.
  BYTE* mayGo = static_cast<BYTE*>(GlobalAlloc(GPTR, context.Printers.count));
  if (mayGo == nullptr) {
    LogLine(context, L"Printers kept: no memory to remember them");
    return;
  }
  // Every printer is remembered, and the record of them is on disk, before the first one goes.
  // Printers that a record of an unfinished run holds already keep what that record says.
  for (DWORD i = 0; i < context.Printers.count; ++i) {
    PRINTER_INFO_2W& printer = context.Printers.entries[i];
    if (!IsRemovable(printer)) continue;
    mayGo[i] = IsSavedPrinter(context, printer.pPrinterName) || RememberPrinter(context, &printer) ? 1 : 0;
  }
  bool stored = context.SavedPrinters == nullptr || StoreSavedPrinters(context);
  if (!stored) LogLine(context, L"Can't save the printers' record");
  for (DWORD i = 0; i < context.Printers.count; ++i) {
    PRINTER_INFO_2W& printer = context.Printers.entries[i];
    if (!IsRemovable(printer)) continue;
    if (mayGo[i] == 0) {
      ++context.KeptPrinters;
      continue;
    }
    // A printer whose record is not on disk would be lost for good if this run ended now.
    if (!stored && IsSavedPrinter(context, printer.pPrinterName)) {
      LogLine(context, L"Printer '%s' kept: its record is not stored", printer.pPrinterName);
      ++context.KeptPrinters;
      continue;
    }
    RemovePrinter(context, printer.pPrinterName);
  }
  GlobalFree(mayGo);
}

void RestorePrinters(InstallContext& context) {
  // Printers that the removal kept are still there: they count, and need no re-creating.
  int restored = context.KeptPrinters;
  int missing = 0;
  PrinterEnumeration present = {};
  if (context.SavedPrinters != nullptr) Refresh(present);
  for (SavedPrinter* saved = context.SavedPrinters; saved != nullptr; saved = saved->next) {
    const PRINTER_INFO_2W& old = *saved->printer;
    if (FindPrinter(present, old.pPrinterName) != nullptr) {
      if (!IsRemovable(*FindPrinter(present, old.pPrinterName))) ++missing;
      continue;
    }
    HANDLE printer = CreatePrinter(context, old.pPrinterName);
    if (printer == nullptr) {
      ++missing;
      continue;
    }

    if (WriteSubKey(printer, saved->subKey)) {
      char keyPath[PrinterKeyPathBytes] = {};
      lstrcpynA(keyPath, PrinterKeysFolder, sizeof(keyPath));
      ReadSubKey(printer, keyPath + strlen(keyPath));
      if (keyPath[sizeof(PrinterKeysFolder) - 1] != 0) ClearDeletedMark(keyPath);
    }

    PrinterInfo2 current = QueryPrinterInfo2(printer);
    if (current.info != nullptr) {
      current.info->pComment = old.pComment;
      current.info->pLocation = old.pLocation;
      SetPrinterW(printer, 2, reinterpret_cast<BYTE*>(current.info), 0);
      if ((old.Attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0 && IsOurPrinter(old)) SetDefaultPrinterName(current.info->pPrinterName);
      GlobalFree(current.info);
    }
    ClosePrinter(printer);
    ++restored;
  }
  Release(present);
  // A printer that could not be created stays in the record for the next install.
  if (missing == 0) ForgetSavedPrinters();
  if (restored == 0) {
    HANDLE printer = CreatePrinter(context, FreshPrinterName);
    if (printer != nullptr) ClosePrinter(printer);
  }
}

void FreeSavedPrinters(SavedPrinter* first) {
  // Iterative: the same releases as walking the chain, without a stack frame per entry.
  while (first != nullptr) {
    SavedPrinter* next = first->next;
    if (first->subKey != nullptr) GlobalFree(first->subKey);
    if (first->ownsPrinter && first->printer != nullptr) GlobalFree(first->printer);
    GlobalFree(first);
    first = next;
  }
}
