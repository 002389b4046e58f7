// The record that an install or uninstall run hands to nearly every installer operation.
#pragma once
#include <windows.h>
#include <winspool.h>

#include "../printers/printer_types.h"
#include "../util/string_list.h"
#include "../util/wide_buffer.h"

// The installer's own build; the last component of its product version.
const int BuildNumber = 2436;

// InstallMode bits handed to InitInstallContext.
const int InstallMode64Bit = 2;   // the 64-bit component set (else the 32-bit one)
const int InstallModeNoTray = 4;  // InstallTray off

// A plain record. It belongs to the operation that runs the mode, which sets it up first and
// releases it last; in between, every field is owned as noted.
struct InstallContext {
  WideBuffer ModuleDirectory;   // the installer's own directory, with its separator: the component source
  WideBuffer SystemDirectory;   // the Windows system directory, ending in "\"
  WideBuffer Log;               // the installation log, lines ending in CR LF
  WideBuffer DriverDirectory;   // the spooler's driver directory for Environment, ending in "\"; empty if unknown
  const WCHAR* Environment;     // "Windows x64" or "Windows NT x86"; constant, not owned
  const WCHAR* MonitorFile;     // vtxmon64.dll or vtxmon32.dll
  const WCHAR* DriverFile;      // vtxdrv64.dll or vtxdrv32.dll
  const WCHAR* HelpFile;        // vtxhelp.chm
  const WCHAR* UiFile;          // vtxui64.dll or vtxui32.dll
  BYTE CheckMonitorVersion;     // 1: leave a compatible installed monitor in place
  BYTE InstallMonitor;          // 1: the install sequence adds the port monitor
  BYTE InstallTray;             // 1: register and start the tray program
  BYTE CopyMonitor;             // 1: copy the monitor file before adding the monitor
  INT32 ErrorCount;             // number of error lines in Log
  INT32 LogDepth;               // indentation depth of the log
  StringList PendingDeletes;    // full paths of files whose deletion failed so far (global memory)
  SavedPrinter* SavedPrinters;  // printers remembered before their removal (global memory)
  PrinterEnumeration Printers;  // snapshot of the machine's printers, default marked (global memory)
  MovedPrinter* MonitorPrinters;  // ends in a null printer; printers of Printers moved off the monitor's port
  INT32 KeptPrinters;           // the product's printers DeleteAllPrinters left in place, unremembered or unsaved
};
