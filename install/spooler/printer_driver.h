// The printer driver "Quillstack printer": staging its files, registering and removing it.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "enumerations.h"
#include "../control/install_context.h"

// The vendor's address in the driver's registration.
extern const WCHAR DriverVendorUrl[];

// Stages the driver, UI and help files in the driver directory, registers the driver and
// deletes the staged copies (those still locked go to PendingDeletes).
void InstallPrinterDriver(InstallContext& context);
// AddPrinterDriverExW at level 6 with APD_COPY_ALL_FILES; logs nothing.
bool AddDriverEntry(DRIVER_INFO_6W& record);
// Deletes the driver with its files, once more after a spooler restart when refused.
// `drivers` is a level-6 enumeration that the caller owns.
void RemovePrinterDriver(InstallContext& context, const EnumerationResult& drivers);
// The open printer's driver as a DRIVER_INFO_2W in a global-memory block the caller frees; null
// on failure (E_OUTOFMEMORY when the block could not be had).
DRIVER_INFO_2W* QueryPrinterDriver(HANDLE printer);
