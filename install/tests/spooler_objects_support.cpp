#include "spooler_objects_support.h"

#include <algorithm>

#include "spooler_test_support.h"
#include "install/control/context_setup.h"
#include "install/printers/printer_enumeration.h"
#include "install/spooler/port_monitor.h"
#include "install/spooler/printer_driver.h"

RunContext::RunContext(const std::wstring& moduleDirectory) {
  InitInstallContext(c, InstallMode64Bit);
  if (!moduleDirectory.empty()) AssignWide(c.ModuleDirectory, moduleDirectory.c_str());
  SetupLines = Lines().size();
}

RunContext::~RunContext() { ReleaseInstallContext(c); }

std::vector<std::wstring> RunContext::Lines() const {
  std::vector<std::wstring> lines;
  std::wstring log = Log();
  size_t start = 0;
  for (size_t end; (end = log.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) lines.push_back(log.substr(start, end - start));
  lines.erase(lines.begin(), lines.begin() + static_cast<long>(std::min(SetupLines, lines.size())));
  return lines;
}

std::wstring StageComponents(int monitorBuild, bool withHelp) {
  static int serial = 0;
  wchar_t folder[MAX_PATH];
  swprintf(folder, MAX_PATH, L"C:\\windows\\temp\\quill-components-%lu-%d\\", GetCurrentProcessId(), ++serial);
  CreateDirectoryW(folder, nullptr);
  std::wstring bin = ProgramDirectory();
  std::wstring monitor = monitorBuild == 0 ? L"fixture_monitor_none.dll" : L"fixture_monitor_" + std::to_wstring(monitorBuild) + L".dll";
  CopyFileW((bin + monitor).c_str(), (std::wstring(folder) + L"vtxmon64.dll").c_str(), FALSE);
  CopyFileW((bin + L"fixture_build_7_0_0_2436.dll").c_str(), (std::wstring(folder) + L"vtxdrv64.dll").c_str(), FALSE);
  CopyFileW((bin + L"fixture_no_version.dll").c_str(), (std::wstring(folder) + L"vtxui64.dll").c_str(), FALSE);
  if (withHelp) CopyFileW((bin + L"fixture_no_version.dll").c_str(), (std::wstring(folder) + L"vtxhelp.chm").c_str(), FALSE);
  return folder;
}

std::wstring SystemFile(const wchar_t* name) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\" + name;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool AddForeignPrinter(const wchar_t* printer) {
  std::wstring bin = ProgramDirectory();
  std::wstring file = bin + L"fixture_build_7_0_1_2436.dll";
  DRIVER_INFO_3W driver = {};
  driver.cVersion = 3;
  driver.pName = const_cast<wchar_t*>(L"Other Vendor Printer");
  driver.pEnvironment = const_cast<wchar_t*>(L"Windows x64");
  driver.pDriverPath = driver.pDataFile = driver.pConfigFile = const_cast<wchar_t*>(file.c_str());
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_ALL_FILES) &&
      GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
    return false;
  PRINTER_INFO_2W info = {};
  info.pPrinterName = const_cast<wchar_t*>(printer);
  info.pPortName = const_cast<wchar_t*>(L"FILE:");
  info.pDriverName = driver.pName;
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  HANDLE handle = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (handle == nullptr) return false;
  ClosePrinter(handle);
  return true;
}

PrinterState ReadPrinter(const wchar_t* name) {
  PrinterState state;
  HANDLE handle = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name), &handle, nullptr)) return state;
  PrinterInfo2 info = QueryPrinterInfo2(handle);
  ClosePrinter(handle);
  if (info.info == nullptr) return state;
  auto text = [](const wchar_t* value) { return std::wstring(value != nullptr ? value : L"(null)"); };
  state = {text(info.info->pPrinterName), text(info.info->pPortName),    text(info.info->pDriverName),
           text(info.info->pComment),     text(info.info->pLocation),    text(info.info->pPrintProcessor)};
  GlobalFree(info.info);
  return state;
}

std::wstring DefaultPrinter() {
  wchar_t name[256] = {};
  DWORD units = 256;
  return QueryDefaultPrinter(name, &units) ? name : L"";
}

void InstallMonitorAndDriver(const std::wstring& moduleDirectory) {
  RunContext run(moduleDirectory);
  InstallPortMonitor(run.c);
  InstallPrinterDriver(run.c);
}

int IndexOf(const std::vector<std::wstring>& lines, const std::wstring& line) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == line) return static_cast<int>(i);
  return -1;
}
