#include "printer_enumeration.h"

#include <wchar.h>

#include "../log/install_log.h"
#include "../spooler/enumerations.h"

namespace {

const WCHAR OurDriverName[] = L"Quillstack printer";
const WCHAR OurPortName[] = L"Quillstack:";
const WCHAR PrintProcessorName[] = L"WinPrint";
const DWORD EnumerateLocalAndConnections = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
// The enumeration block has this much room beyond what the spooler asked for.
const DWORD EnumerationSlackBytes = 32;
const DWORD DefaultPrinterUnits = 255;
const DWORD RemoveAccess = DELETE | PRINTER_ACCESS_ADMINISTER;

void* AllocateZeroed(SIZE_T bytes) {
  void* block = GlobalAlloc(GPTR, bytes);
  if (block == nullptr) SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
  return block;
}

// The exports that winspool.drv offers only by ordinal in older import libraries.
typedef BOOL(WINAPI* GetDefaultPrinterProc)(WCHAR*, DWORD*);
typedef BOOL(WINAPI* SetDefaultPrinterProc)(const WCHAR*);
FARPROC SpoolerOrdinal(WORD ordinal) {
  HMODULE spooler = GetModuleHandleW(L"winspool.drv");
  if (spooler == nullptr) spooler = LoadLibraryW(L"winspool.drv");
  return spooler != nullptr ? GetProcAddress(spooler, MAKEINTRESOURCEA(ordinal)) : nullptr;
}

// One size query and one read; true with the block filled, false with `retry` set when the
// list grew in between.
bool EnumerateOnce(PrinterEnumeration& printers, bool& retry) {
  retry = false;
  DWORD needed = 0;
  DWORD count = 0;
  if (EnumPrintersW(EnumerateLocalAndConnections, nullptr, 2, nullptr, 0, &needed, &count)) return true;  // no printers
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  BYTE* block = static_cast<BYTE*>(AllocateZeroed(static_cast<SIZE_T>(needed) + EnumerationSlackBytes));
  if (block == nullptr) return false;
  if (!EnumPrintersW(EnumerateLocalAndConnections, nullptr, 2, block, needed, &needed, &count)) {
    retry = GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    GlobalFree(block);
    return false;
  }
  printers.entries = reinterpret_cast<PRINTER_INFO_2W*>(block);
  printers.count = count;
  if (count == 0) Release(printers);
  return true;
}

}  // namespace

void Release(PrinterEnumeration& printers) {
  if (printers.entries != nullptr) GlobalFree(printers.entries);
  printers.entries = nullptr;
  printers.count = 0;
}

void Refresh(PrinterEnumeration& printers) {
  Release(printers);
  // An empty snapshot would make a reinstall forget the user's printers, so a list that changed
  // between the two calls is asked for again, a bounded number of times.
  for (int attempt = 0; attempt < RefreshAttempts; ++attempt) {
    bool retry = false;
    if (EnumerateOnce(printers, retry) || !retry) return;
  }
}

BOOL QueryDefaultPrinter(WCHAR* buffer, DWORD* units) {
  GetDefaultPrinterProc query = reinterpret_cast<GetDefaultPrinterProc>(reinterpret_cast<void*>(SpoolerOrdinal(203)));
  if (query == nullptr) return FALSE;
  return query(buffer, units);
}

BOOL SetDefaultPrinterName(const WCHAR* name) {
  SetDefaultPrinterProc set = reinterpret_cast<SetDefaultPrinterProc>(reinterpret_cast<void*>(SpoolerOrdinal(204)));
  if (set == nullptr) return FALSE;
  return set(name);
}

void SnapshotPrinters(InstallContext& context) {
  Refresh(context.Printers);
  WCHAR name[DefaultPrinterUnits] = {};
  DWORD units = DefaultPrinterUnits;
  if (!QueryDefaultPrinter(name, &units)) return;
  name[DefaultPrinterUnits - 1] = 0;
  for (DWORD i = 0; i < context.Printers.count; ++i) {
    PRINTER_INFO_2W& printer = context.Printers.entries[i];
    if (printer.pPrinterName != nullptr && wcscmp(printer.pPrinterName, name) == 0)
      printer.Attributes |= PRINTER_ATTRIBUTE_DEFAULT;
  }
}

bool IsOurPrinter(const PRINTER_INFO_2W& printer) {
  const WCHAR* name = printer.pDriverName;
  if (name == nullptr) return false;
  for (const WCHAR* wanted = OurDriverName;; ++name, ++wanted) {
    if (*name != *wanted) return false;
    if (*name == 0) return true;
  }
}

PrinterInfo2 QueryPrinterInfo2(HANDLE printer) {
  PrinterInfo2 result = {nullptr, 0};
  GetPrinterW(printer, 2, nullptr, 0, &result.size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return result;
  BYTE* block = static_cast<BYTE*>(AllocateZeroed(result.size));
  if (block == nullptr) return result;
  if (!GetPrinterW(printer, 2, block, result.size, &result.size)) {
    DWORD code = GetLastError();
    GlobalFree(block);
    SetLastError(code);
    return result;
  }
  result.info = reinterpret_cast<PRINTER_INFO_2W*>(block);
  return result;
}

HANDLE CreatePrinter(InstallContext& context, const WCHAR* name) {
  const WCHAR* shown = name != nullptr && name[0] != 0 ? name : L"*";
  LogLine(context, L">AddPrinter(%s)", shown);
  LogDepthScope depth(context);

  LogLine(context, L"Let's check our port monitors");
  EnumerationResult monitors = EnumerateMonitors(context);
  if (FindPortMonitor(monitors) >= 0) {
    LogLine(context, L"Port monitor is found");
  } else {
    LogLine(context, L"No Quillstack port monitor was found.");
    if (monitors.Count != 0) ListMonitors(context, monitors);
    else LogLine(context, L"BTW, there is no port monitors on this system.");
  }
  if (monitors.Entries != nullptr) GlobalFree(monitors.Entries);

  PRINTER_INFO_2W record = {};
  record.pPrinterName = const_cast<WCHAR*>(name);
  record.pPortName = const_cast<WCHAR*>(OurPortName);
  record.pDriverName = const_cast<WCHAR*>(OurDriverName);
  record.pComment = const_cast<WCHAR*>(L"");
  record.pPrintProcessor = const_cast<WCHAR*>(PrintProcessorName);
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&record));
  if (printer != nullptr) LogLine(context, L"OK :)");
  else LogError(context, 15, L"Can`t add printer '%s'", shown);
  return printer;
}

void RemovePrinter(InstallContext& context, const WCHAR* name) {
  const WCHAR* shown = name != nullptr && name[0] != 0 ? name : L"*";
  LogLine(context, L">DeletePrinter(%s)", shown);
  LogDepthScope depth(context);

  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, RemoveAccess};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(name), &printer, &defaults) || printer == nullptr) {
    LogError(context, 16, L"Can`t open printer '%s'", shown);
    return;
  }
  // Queued jobs would keep the printer alive; the user's pending jobs go with it.
  SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE);
  if (DeletePrinter(printer)) {
    LogLine(context, L"OK");
  } else {
    LogError(context, 17, L"Can`t delete printer '%s'", shown);
  }
  ClosePrinter(printer);
}
