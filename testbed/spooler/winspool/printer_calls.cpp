// Printers: EnumPrintersW, OpenPrinterW, ClosePrinter, GetPrinterW, SetPrinterW, AddPrinterW,
// DeletePrinter.
#include <vector>

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "printer_records.h"
#include "spooler_link.h"

namespace {

bool IsRaw(const wchar_t* datatype) { return !datatype || !*datatype || _wcsicmp(datatype, L"RAW") == 0; }

bool ValidPrinterName(const wchar_t* name) {
  return name && *name && wcslen(name) <= 220 && !wcschr(name, L'\\') && !wcschr(name, L',');
}

// Every port of the list must be a port of some monitor.
DWORD CheckPorts(const wchar_t* portList) {
  if (!portList || !*portList) return ERROR_UNKNOWN_PORT;
  std::vector<std::wstring> known;
  if (DWORD error = FetchPortNames(known)) return error;
  std::vector<std::wstring> wanted = SplitPorts(portList);
  if (wanted.empty()) return ERROR_UNKNOWN_PORT;
  for (const std::wstring& port : wanted) {
    bool found = false;
    for (const std::wstring& other : known) found = found || SameText(port, other);
    if (!found) return ERROR_UNKNOWN_PORT;
  }
  return 0;
}

bool DriverExists(const wchar_t* driver) {
  if (!driver || !*driver) return false;
  KeyScope key(OpenPrintKey(DriverKeyPath(L"Windows x64", driver), KEY_READ, false));
  return key.Key != nullptr;
}

// Writes the settable fields of a level-2 record (name and status excluded).
void WritePrinterSettings(HKEY key, const PRINTER_INFO_2W& info) {
  WriteText(key, L"Port", info.pPortName);
  WriteText(key, L"Printer Driver", info.pDriverName);
  WriteText(key, L"Share Name", info.pShareName ? info.pShareName : L"");
  WriteText(key, L"Description", info.pComment ? info.pComment : L"");
  WriteText(key, L"Location", info.pLocation ? info.pLocation : L"");
  WriteText(key, L"Separator File", info.pSepFile ? info.pSepFile : L"");
  WriteText(key, L"Print Processor", info.pPrintProcessor ? info.pPrintProcessor : L"WinPrint");
  WriteText(key, L"Datatype", IsRaw(info.pDatatype) ? L"RAW" : info.pDatatype);
  WriteText(key, L"Parameters", info.pParameters ? info.pParameters : L"");
  WriteNumber(key, L"Attributes", info.Attributes & ~PRINTER_ATTRIBUTE_DEFAULT);
  WriteNumber(key, L"Priority", info.Priority);
  WriteNumber(key, L"Default Priority", info.DefaultPriority);
  WriteNumber(key, L"StartTime", info.StartTime);
  WriteNumber(key, L"UntilTime", info.UntilTime);
}

// The checks AddPrinterW and SetPrinterW share for a level-2 record.
DWORD CheckSettings(const PRINTER_INFO_2W& info) {
  if (DWORD error = CheckPorts(info.pPortName)) return error;
  if (!DriverExists(info.pDriverName)) return ERROR_UNKNOWN_PRINTER_DRIVER;
  if (info.pPrintProcessor && _wcsicmp(info.pPrintProcessor, L"WinPrint") != 0) return ERROR_UNKNOWN_PRINTPROCESSOR;
  if (!IsRaw(info.pDatatype)) return ERROR_INVALID_DATATYPE;
  return 0;
}

DWORD DeniedAccess(const std::wstring& printer) {
  KeyScope key(OpenPrintKey(PrinterKeyPath(printer), KEY_READ, false));
  return key.Key ? ReadNumber(key.Key, TESTBED_PRINTER_DENIED_ACCESS, 0) : 0;
}

HANDLE NewHandle(const std::wstring& name, ACCESS_MASK access, DWORD generation) {
  PrinterHandle* handle = new PrinterHandle{PRINTER_HANDLE_MAGIC, name, access, generation, 0, INVALID_HANDLE_VALUE,
                                            false};
  return handle;
}

}  // namespace

extern "C" {

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!pcbNeeded || !pcReturned) return FailWith(RPC_X_NULL_REF_POINTER);
  if (DWORD error = SpoolerUp()) return FailWith(error);
  DWORD recordBytes = PrinterRecordBytes(Level);
  if (!recordBytes) return FailWith(ERROR_INVALID_LEVEL);
  std::vector<PrinterRecord> printers;
  // The stand-in has local printers only; a name other than the local machine lists nothing.
  bool local = (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) != 0 && (!Name || !*Name);
  if (local) printers = ReadPrinterRecords();
  SpoolerReply* reply = printers.empty() ? nullptr : new SpoolerReply();
  for (PrinterRecord& printer : printers)
    if (CallService(SpoolerCountJobs, 0, printer.Name, L"", reply) == 0) printer.Jobs = reply->Number;
  delete reply;
  BOOL done = PackRecords(pPrinterEnum, cbBuf, pcbNeeded, pcReturned, static_cast<DWORD>(printers.size()),
                          recordBytes, [&](InfoPacker& packer, BYTE* record, DWORD i) {
                            FillPrinterRecord(packer, record, Level, printers[i]);
                          });
  // The fault "the second call fails": a call whose buffer was large enough finds more printers
  // than the caller made room for.
  if (done && *pcbNeeded > 0) {
    if (DWORD fault = TakeServiceFault(TESTBED_FAIL_ENUM_PRINTERS)) {
      *pcbNeeded += static_cast<DWORD>(recordBytes + 64);
      *pcReturned = 0;
      return FailWith(fault);
    }
  }
  return done;
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  if (!phPrinter) return FailWith(ERROR_INVALID_PARAMETER);
  *phPrinter = nullptr;
  DWORD generation = 0;
  if (DWORD error = SpoolerUp(&generation)) return FailWith(error);
  if (!pPrinterName || !*pPrinterName || !FitsRequest(pPrinterName)) return FailWith(ERROR_INVALID_PRINTER_NAME);
  PrinterRecord record;
  if (!ReadPrinterRecord(pPrinterName, record)) return FailWith(ERROR_INVALID_PRINTER_NAME);
  if (pDefault && !IsRaw(pDefault->pDatatype)) return FailWith(ERROR_INVALID_DATATYPE);
  ACCESS_MASK access = pDefault && pDefault->DesiredAccess ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
  if (access & (GENERIC_ALL | MAXIMUM_ALLOWED)) access = PRINTER_ALL_ACCESS;
  // A printer whose security denies the caller some rights (the test bed's stand-in for an ACL).
  if (access & DeniedAccess(record.Name)) return FailWith(ERROR_ACCESS_DENIED);
  // The first use of a printer loads its driver into the spooler.
  CallService(SpoolerUseDriver, 0, L"Windows x64", record.Driver);
  *phPrinter = NewHandle(record.Name, access, generation);
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  PrinterHandle* printer = static_cast<PrinterHandle*>(hPrinter);
  if (!printer || printer->Magic != PRINTER_HANDLE_MAGIC) return FailWith(ERROR_INVALID_HANDLE);
  // A document still open is thrown away rather than printed half-written.
  if (printer->SpoolFile != INVALID_HANDLE_VALUE) CloseHandle(printer->SpoolFile);
  if (printer->JobId) CallService(SpoolerAbortDoc, printer->JobId, L"", L"");
  printer->Magic = 0;
  delete printer;
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return FALSE;
  if (!pcbNeeded) return FailWith(RPC_X_NULL_REF_POINTER);
  DWORD recordBytes = PrinterRecordBytes(Level);
  if (!recordBytes) return FailWith(ERROR_INVALID_LEVEL);
  PrinterRecord record;
  if (!ReadPrinterRecord(printer->Name, record)) return FailWith(ERROR_INVALID_PRINTER_NAME);
  SpoolerReply* reply = new SpoolerReply();
  if (CallService(SpoolerCountJobs, 0, record.Name, L"", reply) == 0) record.Jobs = reply->Number;
  delete reply;
  return PackRecords(pPrinter, cbBuf, pcbNeeded, nullptr, 1, recordBytes,
                     [&](InfoPacker& packer, BYTE* out, DWORD) { FillPrinterRecord(packer, out, Level, record); });
}

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return FALSE;
  if (!(printer->Access & PRINTER_ACCESS_ADMINISTER)) return FailWith(ERROR_ACCESS_DENIED);
  KeyScope key(OpenPrintKey(PrinterKeyPath(printer->Name), KEY_ALL_ACCESS, false));
  if (!key.Key) return FailWith(ERROR_INVALID_PRINTER_NAME);
  if (Level == 2) {
    if (!pPrinter) return FailWith(ERROR_INVALID_PARAMETER);
    const PRINTER_INFO_2W& info = *reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
    // Renaming is not supported by the stand-in.
    if (info.pPrinterName && !SameText(info.pPrinterName, printer->Name)) return FailWith(ERROR_INVALID_PARAMETER);
    if (DWORD error = CheckSettings(info)) return FailWith(error);
    WritePrinterSettings(key.Key, info);
    CallService(SpoolerUseDriver, 0, L"Windows x64", info.pDriverName);
  } else if (Level != 0) {
    return FailWith(ERROR_INVALID_LEVEL);
  } else if (pPrinter) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  DWORD status = ReadNumber(key.Key, L"Status", 0);
  switch (Command) {
    case 0:
      if (Level == 0) return FailWith(ERROR_INVALID_PARAMETER);
      return TRUE;
    case PRINTER_CONTROL_PURGE: {
      DWORD error = CallService(SpoolerPurge, 0, printer->Name, L"");
      return error ? FailWith(error) : TRUE;
    }
    case PRINTER_CONTROL_PAUSE:
      WriteNumber(key.Key, L"Status", status | PRINTER_STATUS_PAUSED);
      return TRUE;
    case PRINTER_CONTROL_RESUME:
      WriteNumber(key.Key, L"Status", status & ~PRINTER_STATUS_PAUSED);
      return TRUE;
    default:
      return FailWith(ERROR_INVALID_PARAMETER);
  }
}

HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  (void)pName;
  DWORD generation = 0;
  if (DWORD error = SpoolerUp(&generation)) return FailWith(error), nullptr;
  if (Level != 2) return FailWith(ERROR_INVALID_LEVEL), nullptr;
  if (!pPrinter) return FailWith(RPC_X_NULL_REF_POINTER), nullptr;
  const PRINTER_INFO_2W& info = *reinterpret_cast<const PRINTER_INFO_2W*>(pPrinter);
  if (!ValidPrinterName(info.pPrinterName)) return FailWith(ERROR_INVALID_PRINTER_NAME), nullptr;
  if (DWORD fault = TakeServiceFault(TESTBED_FAIL_ADD_PRINTER)) return FailWith(fault), nullptr;
  PrinterRecord existing;
  if (ReadPrinterRecord(info.pPrinterName, existing)) return FailWith(ERROR_PRINTER_ALREADY_EXISTS), nullptr;
  if (!info.pPrintProcessor || !*info.pPrintProcessor) return FailWith(ERROR_UNKNOWN_PRINTPROCESSOR), nullptr;
  if (DWORD error = CheckSettings(info)) return FailWith(error), nullptr;
  KeyScope key(OpenPrintKey(PrinterKeyPath(info.pPrinterName), KEY_ALL_ACCESS, true));
  if (!key.Key) return nullptr;
  WriteText(key.Key, L"Name", info.pPrinterName);
  WritePrinterSettings(key.Key, info);
  WriteNumber(key.Key, L"Status", 0);
  HKEY data = nullptr;
  if (RegCreateKeyExW(key.Key, L"PrinterDriverData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &data, nullptr) ==
      ERROR_SUCCESS)
    RegCloseKey(data);
  CallService(SpoolerUseDriver, 0, L"Windows x64", info.pDriverName);
  return NewHandle(info.pPrinterName, PRINTER_ALL_ACCESS, generation);
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return FALSE;
  if (!(printer->Access & DELETE)) return FailWith(ERROR_ACCESS_DENIED);
  DWORD error = CallService(SpoolerDeletePrinter, 0, printer->Name, L"");
  if (error) return FailWith(error);
  ForgetDefaultPrinter(printer->Name);
  return TRUE;
}

}  // extern "C"
