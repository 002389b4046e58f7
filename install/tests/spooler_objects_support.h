// Shared pieces of the printer, port monitor and driver tests on the spooler stand-in.
#pragma once
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "install/control/install_context.h"

// A context set up as an install run sets it up, whose component files come from `moduleDirectory`;
// released with everything it holds.
struct RunContext {
  InstallContext c = {};
  explicit RunContext(const std::wstring& moduleDirectory = L"");
  ~RunContext();
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;
  std::wstring Log() const { return Text(c.Log); }
  // The lines written after set-up, indentation kept.
  std::vector<std::wstring> Lines() const;
  size_t SetupLines = 0;
};

// A fresh folder of component files: vtxmon64.dll of `monitorBuild` (0: no version resource),
// vtxdrv64.dll and vtxui64.dll, and vtxhelp.chm unless `withHelp` is false. Ends in "\".
std::wstring StageComponents(int monitorBuild, bool withHelp = true);
// The system directory's path of a file name.
std::wstring SystemFile(const wchar_t* name);
bool FileExists(const std::wstring& path);

// Registers another vendor's driver (any files) and adds a printer of it on "FILE:".
bool AddForeignPrinter(const wchar_t* printer);
// A printer's level-2 fields, read back through the spooler; empty name when it does not exist.
struct PrinterState {
  std::wstring Name, Port, Driver, Comment, Location, PrintProcessor;
};
PrinterState ReadPrinter(const wchar_t* name);
std::wstring DefaultPrinter();
// The installer's own registration of the port monitor and driver, for tests that need them.
void InstallMonitorAndDriver(const std::wstring& moduleDirectory);
// The index of the first line equal to `line`, or -1.
int IndexOf(const std::vector<std::wstring>& lines, const std::wstring& line);
