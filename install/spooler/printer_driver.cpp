#include "printer_driver.h"

#include "component_files.h"
#include "spooler_service.h"
#include "../log/install_log.h"
#include "../util/string_list.h"
#include "../util/two_call_query.h"

const WCHAR DriverVendorUrl[] = L"https://quillstack.corvell.example/";

namespace {

const WCHAR DriverName[] = L"Quillstack printer";
const WCHAR Manufacturer[] = L"Corvell";
const DWORD DriverVersion3 = 3;

// Deletes a staged copy; one that is still held waits for the pending deletions.
void DeleteStagedCopy(InstallContext& context, const WCHAR* path) {
  if (path[0] != 0 && !DeleteFileW(path)) AddUnique(context.PendingDeletes, path);
}

bool DeleteDriver(const WCHAR* environment) {
  return DeletePrinterDriverExW(nullptr, const_cast<WCHAR*>(environment), const_cast<WCHAR*>(DriverName), DPD_DELETE_ALL_FILES, 0) != 0;
}

}  // namespace

bool AddDriverEntry(DRIVER_INFO_6W& record) {
  return AddPrinterDriverExW(nullptr, 6, reinterpret_cast<BYTE*>(&record), APD_COPY_ALL_FILES) == 1;
}

void InstallPrinterDriver(InstallContext& context) {
  LogLine(context, L">Add Printer Driver");
  LogDepthScope depth(context);
  const WCHAR* directory = Text(context.DriverDirectory);
  WCHAR driverPath[ComponentPathUnits] = {};
  WCHAR uiPath[ComponentPathUnits] = {};
  WCHAR helpPath[ComponentPathUnits] = {};
  if (CopyComponentFile(context, directory, context.DriverFile, driverPath, 1) != S_OK) return;
  if (CopyComponentFile(context, directory, context.UiFile, uiPath, 1) != S_OK) {
    // Without its UI module the driver is not registered; its staged copy has no use either.
    DeleteStagedCopy(context, driverPath);
    return;
  }
  if (CopyComponentFile(context, directory, context.HelpFile, helpPath, 1) != S_OK) helpPath[0] = 0;

  DRIVER_INFO_6W record = {};
  record.cVersion = DriverVersion3;
  record.pName = const_cast<WCHAR*>(DriverName);
  record.pEnvironment = const_cast<WCHAR*>(context.Environment);
  record.pDriverPath = driverPath;
  record.pDataFile = driverPath;
  record.pConfigFile = uiPath;
  record.pHelpFile = helpPath;
  record.pszMfgName = const_cast<WCHAR*>(Manufacturer);
  record.pszOEMUrl = const_cast<WCHAR*>(DriverVendorUrl);
  record.pszProvider = const_cast<WCHAR*>(Manufacturer);
  if (AddDriverEntry(record)) LogLine(context, L"OK :)");
  else LogError(context, 13, L"Can`t install a printer driver 'Quillstack printer'");

  // The spooler has copied what it keeps; the staged copies go whatever it answered.
  DeleteStagedCopy(context, driverPath);
  DeleteStagedCopy(context, uiPath);
  DeleteStagedCopy(context, helpPath);
}

void RemovePrinterDriver(InstallContext& context, const EnumerationResult& drivers) {
  LogLine(context, L">DeletePrinterDriver for %s", context.Environment);
  LogDepthScope depth(context);
  if (drivers.Count != 0 && drivers.Entries != nullptr) {
    LogLine(context, L"------------ %d existing drivers-----------", static_cast<int>(drivers.Count));
    const DRIVER_INFO_6W* entries = reinterpret_cast<const DRIVER_INFO_6W*>(drivers.Entries);
    for (DWORD i = 0; i < drivers.Count; ++i)
      LogLine(context, L"%d. %s", static_cast<int>(i + 1), entries[i].pName != nullptr ? entries[i].pName : L"***EMPTY***");
    LogLine(context, L"-------------------------------------------");
  } else {
    LogLine(context, L"BTW, there is no printer drivers on this system.");
  }

  int index = FindPrinterDriver(drivers);
  if (index < 0) {
    LogLine(context, L"No Quillstack driver was found");
    return;
  }
  LogLine(context, L"Driver is found. Index=%d", index + 1);
  if (DeleteDriver(context.Environment)) {
    LogLine(context, L"OK :)");
    return;
  }
  LogLine(context, L"Can't delete driver. Trying to restart spooler");
  { SpoolerRestart restart(&context); }
  if (DeleteDriver(context.Environment)) LogLine(context, L"OK :)");
  else LogError(context, 14, L"Can`t remove the printer-driver 'Quillstack printer'");
}

DRIVER_INFO_2W* QueryPrinterDriver(HANDLE printer) {
  // The printer's own environment in both calls, so that the size asked for fits the answer.
  TwoCallResult query = QueryTwice(
      [printer](BYTE* buffer, DWORD bytes, DWORD* needed) { return GetPrinterDriverW(printer, nullptr, 2, buffer, bytes, needed); });
  return reinterpret_cast<DRIVER_INFO_2W*>(query.Block);
}
