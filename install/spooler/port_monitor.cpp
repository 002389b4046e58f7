#include "port_monitor.h"

#include <string.h>
#include <winspool.h>

#include "component_files.h"
#include "spooler_service.h"
#include "../log/install_log.h"
#include "../printers/printer_enumeration.h"
#include "../util/path_parts.h"
#include "../util/string_list.h"

namespace {

const WCHAR MonitorName[] = L"Quillstack:";
const WCHAR TemporaryPort[] = L"file:";
const size_t MonitorNameUnits = 11;
const size_t TemporaryPortUnits = 5;
const DWORD PortChangeAccess = PRINTER_ALL_ACCESS;

// Sets the changed record as the printer's level-2 information and logs the outcome.
void WritePortChange(InstallContext& context, PRINTER_INFO_2W* printer) {
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PortChangeAccess};
  HANDLE handle = nullptr;
  if (!OpenPrinterW(printer->pPrinterName, &handle, &defaults) || handle == nullptr) {
    LogLine(context, L"Can't open printer %s", printer->pPrinterName);
    return;
  }
  if (SetPrinterW(handle, 2, reinterpret_cast<BYTE*>(printer), 0)) LogLine(context, L"SetPrinter(%s) - ok", printer->pPrinterName);
  else LogLine(context, L"SetPrinter(%s) - failed", printer->pPrinterName);
  ClosePrinter(handle);
}

// Every printer whose port names the monitor's port goes to "file:"; the first occurrence is
// replaced in place and the rest of the port list moves up behind it.
void MovePrintersToFilePort(InstallContext& context) {
  if (context.MonitorPrinters != nullptr) GlobalFree(context.MonitorPrinters);
  context.MonitorPrinters = nullptr;
  if (context.Printers.count == 0) return;
  context.MonitorPrinters =
      static_cast<MovedPrinter*>(GlobalAlloc(GPTR, (static_cast<SIZE_T>(context.Printers.count) + 1) * sizeof(MovedPrinter)));
  if (context.MonitorPrinters == nullptr) return;
  DWORD moved = 0;
  for (DWORD i = 0; i < context.Printers.count; ++i) {
    PRINTER_INFO_2W* printer = &context.Printers.entries[i];
    // A printer connection's port belongs to its print server, whose printer SetPrinterW would change.
    if (IsPrinterConnection(*printer)) continue;
    WCHAR* port = printer->pPortName;
    WCHAR* found = port != nullptr ? wcsstr(port, MonitorName) : nullptr;
    if (found == nullptr) continue;
    context.MonitorPrinters[moved].printer = printer;
    context.MonitorPrinters[moved].portOffset = static_cast<SIZE_T>(found - port);
    ++moved;
    WCHAR* rest = found + MonitorNameUnits;
    memcpy(found, TemporaryPort, TemporaryPortUnits * sizeof(WCHAR));
    memmove(found + TemporaryPortUnits, rest, (wcslen(rest) + 1) * sizeof(WCHAR));
    WritePortChange(context, printer);
  }
}

// Undoes MovePrintersToFilePort: "file:" at the recorded place grows back into "Quillstack:"
// within the room the removal freed.
void MovePrintersBack(InstallContext& context) {
  if (context.MonitorPrinters == nullptr) return;
  for (const MovedPrinter* moved = context.MonitorPrinters; moved->printer != nullptr; ++moved) {
    PRINTER_INFO_2W* printer = moved->printer;
    WCHAR* port = printer->pPortName;
    if (port == nullptr || wcslen(port) < moved->portOffset + TemporaryPortUnits) continue;
    WCHAR* place = port + moved->portOffset;
    if (wcsncmp(place, TemporaryPort, TemporaryPortUnits) != 0) continue;
    WCHAR* rest = place + TemporaryPortUnits;
    memmove(place + MonitorNameUnits, rest, (wcslen(rest) + 1) * sizeof(WCHAR));
    memcpy(place, MonitorName, MonitorNameUnits * sizeof(WCHAR));
    WritePortChange(context, printer);
  }
}

// The file-name part of a registered monitor's DLL name; null when none is usable. Only a plain
// name inside the system directory may be deleted, never a path that leads elsewhere.
const WCHAR* UsableMonitorFileName(const WCHAR* dllName) {
  if (dllName == nullptr) return nullptr;
  const WCHAR* name = FileNamePart(dllName);
  if (name[0] == 0 || wcsstr(name, L"..") != nullptr) return nullptr;
  return name;
}

// Deletes the monitor file; one that is still held waits for the pending deletions.
void DeleteMonitorFile(InstallContext& context, WideBuffer& fileName) {
  if (Length(fileName) != 0 && !DeleteFileW(Text(fileName))) AddUnique(context.PendingDeletes, Text(fileName));
}

void ReleaseMonitorFile(InstallContext& context, WideBuffer& fileName) {
  DeleteMonitorFile(context, fileName);
  LogLine(context, L"Monitor was removed :)");
}

bool IsCompatibleBuild(int build) { return build >= CompatibleBuildFirst && build <= CompatibleBuildLast; }

}  // namespace

bool DeletePortMonitorEntry(const WCHAR* environment) {
  return DeleteMonitorW(nullptr, const_cast<WCHAR*>(environment), const_cast<WCHAR*>(MonitorName)) != 0;
}

void RemovePortMonitor(InstallContext& context, const EnumerationResult& monitors) {
  LogLine(context, L">DeleteMonitor");
  LogDepthScope depth(context);
  if (monitors.Count != 0) ListMonitors(context, monitors);
  else LogLine(context, L"BTW, there is no port monitors on this system.");

  int index = FindPortMonitor(monitors);
  if (index < 0) LogLine(context, L"No Quillstack port monitor was found.");
  else LogLine(context, L"Port monitor is found. Index=%d", index + 1);

  WideBufferScope fileName;
  const WCHAR* name = nullptr;
  if (index >= 0) {
    LogLine(context, L"Trying to get monitor filename from MONITOR_INFO_2");
    const WCHAR* dllName = monitors.Level == 2 ? reinterpret_cast<const MONITOR_INFO_2W*>(monitors.Entries)[index].pDLLName : nullptr;
    name = UsableMonitorFileName(dllName);
  } else {
    LogLine(context, L"Computing monitor filename");
    name = context.MonitorFile;
  }
  // Without the system directory a bare name would be deleted wherever the current directory is.
  if (name != nullptr && name[0] != 0 && Length(context.SystemDirectory) != 0) {
    AssignWide(fileName.Value, Text(context.SystemDirectory));
    AppendWide(fileName.Value, name);
  }
  LogLine(context, L"Auto calculated monitor file name: %s", Text(fileName.Value));

  if (context.CheckMonitorVersion) {
    int build = Length(fileName.Value) != 0 ? GetFileBuildNumber(Text(fileName.Value)) : -1;
    if (IsCompatibleBuild(build)) {
      LogLine(context, L"Version (%d) is compatible, proceed without uninstall", build);
      if (index >= 0) context.InstallMonitor = 0;
      else context.CopyMonitor = 0;
      LogLine(context, L"InstallMonitor == %d, CopyMonitor == %d", context.InstallMonitor ? 1 : 0, context.CopyMonitor ? 1 : 0);
      return;
    }
    if (build == -1) LogLine(context, L"Version is unknown, proceed with reinstall");
    else LogLine(context, L"Version (%d) is not supported, proceed with reinstall", build);
  } else {
    LogLine(context, L"There is no check for monitor version");
  }

  if (DeletePortMonitorEntry(context.Environment)) {
    ReleaseMonitorFile(context, fileName.Value);
    return;
  }
  if (index < 0) {
    LogLine(context, L"Can't delete monitor and monitor was not found. So everything should be ok");
    // A file copied by an install whose AddMonitor failed is ours too: nothing has it loaded.
    if (Length(fileName.Value) != 0 && GetFileAttributesW(Text(fileName.Value)) != INVALID_FILE_ATTRIBUTES)
      DeleteMonitorFile(context, fileName.Value);
    return;
  }
  LogLine(context, L"Can't delete monitor from the first try");
  MovePrintersToFilePort(context);
  if (DeletePortMonitorEntry(context.Environment)) {
    ReleaseMonitorFile(context, fileName.Value);
    return;
  }
  { SpoolerRestart restart(&context); }
  if (DeletePortMonitorEntry(context.Environment)) {
    ReleaseMonitorFile(context, fileName.Value);
    return;
  }
  LogError(context, 12, L"Can`t remove the port monitor 'Quillstack:'");
}

void InstallPortMonitor(InstallContext& context) {
  LogLine(context, L">AddMonitor");
  LogDepthScope depth(context);
  if (context.CopyMonitor) {
    LogLine(context, L"Copy monitor file");
    if (CopyComponentFile(context, Text(context.SystemDirectory), context.MonitorFile, nullptr, 0) != S_OK) {
      // The spooler holds a loaded monitor file open; with the spooler stopped it is free.
      SpoolerRestart restart(&context);
      CopyComponentFile(context, Text(context.SystemDirectory), context.MonitorFile, nullptr, 1);
    }
  } else {
    LogLine(context, L"Skip copy monitor file");
  }

  MONITOR_INFO_2W record = {};
  record.pName = const_cast<WCHAR*>(MonitorName);
  record.pEnvironment = const_cast<WCHAR*>(context.Environment);
  record.pDLLName = const_cast<WCHAR*>(context.MonitorFile);
  bool added = false;
  for (int attempt = 1; attempt <= AddMonitorAttempts && !added; ++attempt) {
    if (attempt > 1) Sleep(AddMonitorPauseMs);
    added = AddMonitorW(nullptr, 2, reinterpret_cast<BYTE*>(&record)) != 0;
    if (!added) {
      DWORD code = GetLastError();
      LogLine(context, L"AddMonitor - failed. Trying to wait and install again");
      SetLastError(code);
    }
  }
  if (!added) {
    LogError(context, 11, L"Can`t install a local port monitor'Quillstack:'");
    return;
  }
  LogLine(context, L"AddMonitor - OK :)");
  MovePrintersBack(context);
}
