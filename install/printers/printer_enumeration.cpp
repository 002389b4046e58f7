#include "printer_enumeration.h"

#include <wchar.h>

#include "../log/install_log.h"
#include "../spooler/enumerations.h"
#include "../util/two_call_query.h"

namespace {

const WCHAR OurDriverName[] = L"Quillstack printer";
const WCHAR OurPortName[] = L"Quillstack:";
const WCHAR PrintProcessorName[] = L"WinPrint";
const DWORD EnumerateLocalAndConnections = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
// The enumeration block has this much room beyond what the spooler asked for.
const DWORD EnumerationSlackBytes = 32;
const DWORD DefaultPrinterUnits = 255;

// GetDefaultPrinterW and SetDefaultPrinterW by name where winspool.drv exports them; older
// spoolers offer them only as the ordinals 203 and 204.
typedef BOOL(WINAPI* GetDefaultPrinterProc)(WCHAR*, DWORD*);
typedef BOOL(WINAPI* SetDefaultPrinterProc)(const WCHAR*);
FARPROC SpoolerExport(const char* name, WORD ordinal) {
  HMODULE spooler = GetModuleHandleW(L"winspool.drv");
  if (spooler == nullptr) spooler = LoadLibraryW(L"winspool.drv");
  if (spooler == nullptr) return nullptr;
  FARPROC found = GetProcAddress(spooler, name);
  return found != nullptr ? found : GetProcAddress(spooler, MAKEINTRESOURCEA(ordinal));
}

// One size query and one read; true with the block filled, false with `retry` set when the
// list grew in between.
bool EnumerateOnce(PrinterEnumeration& printers, bool& retry) {
  DWORD count = 0;
  TwoCallResult query = QueryTwice(
      [&count](BYTE* buffer, DWORD bytes, DWORD* needed) {
        return EnumPrintersW(EnumerateLocalAndConnections, nullptr, 2, buffer, bytes, needed, &count);
      },
      EnumerationSlackBytes);
  retry = query.Outcome == TwoCallReadFailed && GetLastError() == ERROR_INSUFFICIENT_BUFFER;
  if (query.Outcome == TwoCallNothing) return true;  // no printers
  if (query.Outcome != TwoCallFilled) return false;
  printers.entries = reinterpret_cast<PRINTER_INFO_2W*>(query.Block);
  printers.count = count;
  if (count == 0) Release(printers);
  return true;
}

// The jobs in the printer's queue, from its level-2 record; 0 when it can't be read.
DWORD QueuedJobs(HANDLE printer) {
  PrinterInfo2 current = QueryPrinterInfo2(printer);
  if (current.info == nullptr) return 0;
  DWORD jobs = current.info->cJobs;
  GlobalFree(current.info);
  return jobs;
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
  GetDefaultPrinterProc query =
      reinterpret_cast<GetDefaultPrinterProc>(reinterpret_cast<void*>(SpoolerExport("GetDefaultPrinterW", 203)));
  if (query == nullptr) return FALSE;
  return query(buffer, units);
}

BOOL SetDefaultPrinterName(const WCHAR* name) {
  SetDefaultPrinterProc set =
      reinterpret_cast<SetDefaultPrinterProc>(reinterpret_cast<void*>(SpoolerExport("SetDefaultPrinterW", 204)));
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
  TwoCallResult query = QueryTwice(
      [printer](BYTE* buffer, DWORD bytes, DWORD* needed) { return GetPrinterW(printer, 2, buffer, bytes, needed); });
  PrinterInfo2 result = {reinterpret_cast<PRINTER_INFO_2W*>(query.Block), query.Bytes};
  return result;
}

bool IsPrinterConnection(const PRINTER_INFO_2W& printer) { return (printer.Attributes & PRINTER_ATTRIBUTE_NETWORK) != 0; }

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

  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PrinterRemoveAccess};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<WCHAR*>(name), &printer, &defaults) || printer == nullptr) {
    LogError(context, 16, L"Can`t open printer '%s'", shown);
    return;
  }
  // Queued jobs would keep the printer alive; the user's pending jobs go with it. A spool file
  // cannot move to the printer that is created again, so the log at least says what was lost.
  DWORD jobs = QueuedJobs(printer);
  if (jobs > 0) LogLine(context, L"Jobs deleted with the printer: %d", static_cast<int>(jobs));
  SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE);
  if (DeletePrinter(printer)) {
    LogLine(context, L"OK");
  } else {
    LogError(context, 17, L"Can`t delete printer '%s'", shown);
  }
  ClosePrinter(printer);
}
