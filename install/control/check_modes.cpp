#include "check_modes.h"

#include <winspool.h>

#include "../printers/printer_enumeration.h"
#include "../spooler/component_files.h"
#include "../spooler/printer_driver.h"
#include "../spooler/spooler_service.h"
#include "../util/path_parts.h"

namespace {

const int DriverBuildThreshold = 2416;
const int DefaultPrinterUnits = 260;
const WCHAR* const PendingComponentNames[] = {L"vtxmon64.dll", L"vtxdrv64.dll", L"vtxui64.dll"};


// The first printer of the product's driver, in enumeration order, or null.
PRINTER_INFO_2W* FirstOurPrinter(const PrinterEnumeration& printers) {
  for (DWORD i = 0; i < printers.count; ++i)
    if (IsOurPrinter(printers.entries[i])) return &printers.entries[i];
  return nullptr;
}

}  // namespace

bool ListsPendingComponent(const PendingRenames& record) {
  for (const WCHAR* component : PendingComponentNames)
    for (INT32 k = 0; k < record.PairCount; ++k) {
      const WCHAR* source = record.Names[2 * k];
      if (record.IsFile[2 * k] == 1 && source != nullptr &&
          CompareStringOrdinal(FileNamePart(FileSystemPath(source)), -1, component, -1, TRUE) == CSTR_EQUAL && IsProductFile(source))
        return true;
    }
  return false;
}

bool ComponentsPendingCheck() {
  for (int attempt = 1;; ++attempt) {
    PendingRenames record;
    ReadPendingRenames(record);
    DeleteListedSources(record);
    bool pending = ListsPendingComponent(record);
    ReleasePendingRenames(record);
    if (!pending) return false;
    // The spooler may hold the file; a restart lets it go, and Windows may take it next time.
    { SpoolerRestart restart(nullptr); }
    if (attempt == 2) return true;
  }
}

bool DefaultPrinterCheck() {
  WCHAR name[DefaultPrinterUnits] = {};
  DWORD capacity = DefaultPrinterUnits;
  QueryDefaultPrinter(name, &capacity);
  name[DefaultPrinterUnits - 1] = 0;
  HANDLE printer = nullptr;
  if (name[0] == 0 || !OpenPrinterW(name, &printer, nullptr)) return true;
  PRINTER_INFO_2W* info = QueryPrinterInfo2(printer).info;
  bool result = !(info != nullptr && IsOurPrinter(*info));
  ClosePrinter(printer);
  if (info != nullptr) GlobalFree(info);
  return result;
}

bool DriverBuildCheck() {
  PrinterEnumeration printers = {};
  Refresh(printers);
  PRINTER_INFO_2W* ours = FirstOurPrinter(printers);
  HANDLE printer = nullptr;
  bool result = false;
  if (ours != nullptr && OpenPrinterW(ours->pPrinterName, &printer, nullptr)) {
    DRIVER_INFO_2W* driver = QueryPrinterDriver(printer);
    if (driver != nullptr && driver->pDriverPath != nullptr) result = GetFileBuildNumber(driver->pDriverPath) >= DriverBuildThreshold;
    ClosePrinter(printer);
    if (driver != nullptr) GlobalFree(driver);
  }
  Release(printers);
  return result;
}

void MakeDefaultPrinter() {
  PrinterEnumeration printers = {};
  Refresh(printers);
  PRINTER_INFO_2W* ours = FirstOurPrinter(printers);
  if (ours != nullptr) SetDefaultPrinterName(ours->pPrinterName);
  Release(printers);
}
