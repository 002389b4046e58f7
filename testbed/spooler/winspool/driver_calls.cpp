// Printer drivers: EnumPrinterDriversW, AddPrinterDriverExW, DeletePrinterDriverExW,
// GetPrinterDriverW, GetPrinterDriverDirectoryW.
#include <vector>

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "spooler_link.h"

namespace {

struct DriverEntry {
  std::wstring Name;
  std::wstring Environment;
  DWORD Version;
  std::wstring DriverPath, DataFile, ConfigFile, HelpFile;  // full paths ("" when none)
  std::wstring DependentFiles;                              // "a\0b\0\0", full paths; "" when none
  std::wstring Monitor, Datatype, PreviousNames;
  std::wstring Manufacturer, OemUrl, HardwareId, Provider;
};

std::wstring FullPath(const std::wstring& folder, const std::wstring& file) {
  return file.empty() ? std::wstring() : folder + file;
}

bool ReadDriver(const std::wstring& environment, const std::wstring& name, DriverEntry& entry) {
  KeyScope key(OpenPrintKey(DriverKeyPath(environment, name), KEY_READ, false));
  if (!key.Key) return false;
  std::wstring folder = DriverVersionDirectory(environment);
  entry.Name = name;
  entry.Environment = environment;
  entry.Version = ReadNumber(key.Key, L"Version", 3);
  entry.DriverPath = FullPath(folder, ReadTextOr(key.Key, L"Driver", L""));
  entry.DataFile = FullPath(folder, ReadTextOr(key.Key, L"Data File", L""));
  entry.ConfigFile = FullPath(folder, ReadTextOr(key.Key, L"Configuration File", L""));
  entry.HelpFile = FullPath(folder, ReadTextOr(key.Key, L"Help File", L""));
  entry.DependentFiles.clear();
  for (const std::wstring& file : ReadTextList(key.Key, L"Dependent Files")) {
    entry.DependentFiles += folder + file;
    entry.DependentFiles.push_back(0);
  }
  if (!entry.DependentFiles.empty()) entry.DependentFiles.push_back(0);
  entry.Monitor = ReadTextOr(key.Key, L"Monitor", L"");
  entry.Datatype = ReadTextOr(key.Key, L"Datatype", L"");
  entry.PreviousNames.clear();
  for (const std::wstring& previous : ReadTextList(key.Key, L"Previous Names")) {
    entry.PreviousNames += previous;
    entry.PreviousNames.push_back(0);
  }
  if (!entry.PreviousNames.empty()) entry.PreviousNames.push_back(0);
  entry.Manufacturer = ReadTextOr(key.Key, L"Manufacturer", L"");
  entry.OemUrl = ReadTextOr(key.Key, L"OEM Url", L"");
  entry.HardwareId = ReadTextOr(key.Key, L"HardwareID", L"");
  entry.Provider = ReadTextOr(key.Key, L"Provider", L"");
  return true;
}

DWORD DriverRecordBytes(DWORD level) {
  switch (level) {
    case 1: return sizeof(DRIVER_INFO_1W);
    case 2: return sizeof(DRIVER_INFO_2W);
    case 3: return sizeof(DRIVER_INFO_3W);
    case 4: return sizeof(DRIVER_INFO_4W);
    case 5: return sizeof(DRIVER_INFO_5W);
    case 6: return sizeof(DRIVER_INFO_6W);
  }
  return 0;
}

LPWSTR OptionalText(InfoPacker& packer, const std::wstring& text) { return text.empty() ? nullptr : packer.Text(text); }
LPWSTR OptionalList(InfoPacker& packer, const std::wstring& list) {
  return list.empty() ? nullptr : packer.TextList(list);
}

// Levels 2, 3, 4 and 6 are prefixes of one another: fill a DRIVER_INFO_6W and keep the level's part.
void FillDriverRecord(InfoPacker& packer, BYTE* record, DWORD level, const DriverEntry& entry) {
  if (level == 1) {
    LPWSTR name = packer.Text(entry.Name);
    if (record) reinterpret_cast<DRIVER_INFO_1W*>(record)->pName = name;
    return;
  }
  DRIVER_INFO_6W info = {};
  info.cVersion = entry.Version;
  info.pName = packer.Text(entry.Name);
  info.pEnvironment = packer.Text(entry.Environment);
  info.pDriverPath = packer.Text(entry.DriverPath);
  info.pDataFile = packer.Text(entry.DataFile);
  info.pConfigFile = packer.Text(entry.ConfigFile);
  if (level == 5) {
    if (!record) return;
    DRIVER_INFO_5W* five = reinterpret_cast<DRIVER_INFO_5W*>(record);
    five->cVersion = info.cVersion;
    five->pName = info.pName;
    five->pEnvironment = info.pEnvironment;
    five->pDriverPath = info.pDriverPath;
    five->pDataFile = info.pDataFile;
    five->pConfigFile = info.pConfigFile;
    return;
  }
  if (level >= 3) {
    info.pHelpFile = packer.Text(entry.HelpFile);
    info.pDependentFiles = OptionalList(packer, entry.DependentFiles);
    info.pMonitorName = OptionalText(packer, entry.Monitor);
    info.pDefaultDataType = OptionalText(packer, entry.Datatype);
  }
  if (level >= 4) info.pszzPreviousNames = OptionalList(packer, entry.PreviousNames);
  if (level == 6) {
    info.pszMfgName = OptionalText(packer, entry.Manufacturer);
    info.pszOEMUrl = OptionalText(packer, entry.OemUrl);
    info.pszHardwareID = OptionalText(packer, entry.HardwareId);
    info.pszProvider = OptionalText(packer, entry.Provider);
  }
  if (record) memcpy(record, &info, DriverRecordBytes(level));
}

// The bare file name of a path.
std::wstring FileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Copies one file of the driver into the version-3 folder; the Windows error or 0.
DWORD CopyDriverFile(const std::wstring& source, const std::wstring& folder, const std::wstring& environment) {
  std::wstring from = source;
  // A bare name is looked for in the driver directory, where installers stage their files.
  if (from.find_first_of(L"\\/:") == std::wstring::npos) from = DriverDirectory(environment) + L"\\" + source;
  std::wstring to = folder + FileNameOf(source);
  if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) return ERROR_FILE_NOT_FOUND;
  if (SameText(from, to)) return 0;
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return GetLastError();
  return 0;
}

}  // namespace

extern "C" {

BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                LPDWORD pcbNeeded, LPDWORD pcReturned) {
  (void)pName;
  if (!pcbNeeded || !pcReturned) return FailWith(RPC_X_NULL_REF_POINTER);
  if (DWORD error = SpoolerUp()) return FailWith(error);
  std::wstring environment;
  if (!CanonicalEnvironment(pEnvironment, environment)) return FailWith(ERROR_INVALID_ENVIRONMENT);
  DWORD recordBytes = DriverRecordBytes(Level);
  if (!recordBytes) return FailWith(ERROR_INVALID_LEVEL);
  std::vector<DriverEntry> drivers;
  {
    KeyScope root(OpenPrintKey(DriversKeyPath(environment), KEY_READ, false));
    if (root.Key) {
      for (const std::wstring& name : SubKeyNames(root.Key)) {
        DriverEntry entry;
        if (ReadDriver(environment, name, entry)) drivers.push_back(entry);
      }
    }
  }
  return PackRecords(pDriverInfo, cbBuf, pcbNeeded, pcReturned, static_cast<DWORD>(drivers.size()), recordBytes,
                     [&](InfoPacker& packer, BYTE* record, DWORD i) { FillDriverRecord(packer, record, Level, drivers[i]); });
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return FALSE;
  if (!pcbNeeded) return FailWith(RPC_X_NULL_REF_POINTER);
  std::wstring environment;
  if (!CanonicalEnvironment(pEnvironment, environment)) return FailWith(ERROR_INVALID_ENVIRONMENT);
  DWORD recordBytes = DriverRecordBytes(Level);
  if (!recordBytes) return FailWith(ERROR_INVALID_LEVEL);
  std::wstring driverName;
  {
    KeyScope key(OpenPrintKey(PrinterKeyPath(printer->Name), KEY_READ, false));
    if (!key.Key) return FailWith(ERROR_INVALID_PRINTER_NAME);
    driverName = ReadTextOr(key.Key, L"Printer Driver", L"");
  }
  DriverEntry entry;
  if (!ReadDriver(environment, driverName, entry)) return FailWith(ERROR_UNKNOWN_PRINTER_DRIVER);
  return PackRecords(pDriverInfo, cbBuf, pcbNeeded, nullptr, 1, recordBytes,
                     [&](InfoPacker& packer, BYTE* record, DWORD) { FillDriverRecord(packer, record, Level, entry); });
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  (void)pName;
  if (!pcbNeeded) return FailWith(RPC_X_NULL_REF_POINTER);
  if (DWORD error = SpoolerUp()) return FailWith(error);
  if (Level != 1) return FailWith(ERROR_INVALID_LEVEL);
  std::wstring environment;
  if (!CanonicalEnvironment(pEnvironment, environment)) return FailWith(ERROR_INVALID_ENVIRONMENT);
  std::wstring directory = DriverDirectory(environment);
  DWORD bytes = static_cast<DWORD>((directory.size() + 1) * sizeof(wchar_t));
  *pcbNeeded = bytes;
  if (!pDriverDirectory || cbBuf < bytes) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  memcpy(pDriverDirectory, directory.c_str(), bytes);
  return TRUE;
}

BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo, DWORD dwFileCopyFlags) {
  (void)pName;
  (void)dwFileCopyFlags;  // every named file is copied, whatever the copy flags
  if (Level != 2 && Level != 3 && Level != 4 && Level != 6) return FailWith(ERROR_INVALID_LEVEL);
  if (!pDriverInfo) return FailWith(RPC_X_NULL_REF_POINTER);
  if (DWORD error = SpoolerUp()) return FailWith(error);
  DRIVER_INFO_6W info = {};
  memcpy(&info, pDriverInfo, DriverRecordBytes(Level));
  if (!info.pName || !*info.pName || !info.pDriverPath || !*info.pDriverPath || !info.pDataFile ||
      !*info.pDataFile || !info.pConfigFile || !*info.pConfigFile)
    return FailWith(ERROR_INVALID_PARAMETER);
  if (wcslen(info.pName) > 200 || wcschr(info.pName, L'\\')) return FailWith(ERROR_INVALID_PARAMETER);
  std::wstring environment;
  if (!CanonicalEnvironment(info.pEnvironment, environment)) return FailWith(ERROR_INVALID_ENVIRONMENT);
  if (info.cVersion != 3) return FailWith(ERROR_INVALID_PARAMETER);
  if (DWORD fault = TakeServiceFault(TESTBED_FAIL_ADD_DRIVER)) return FailWith(fault);
  std::vector<std::wstring> files = {info.pDriverPath, info.pDataFile, info.pConfigFile};
  if (Level >= 3 && info.pHelpFile && *info.pHelpFile) files.push_back(info.pHelpFile);
  std::vector<std::wstring> dependent;
  if (Level >= 3 && info.pDependentFiles)
    for (const wchar_t* at = info.pDependentFiles; *at; at += wcslen(at) + 1) dependent.push_back(at);
  for (const std::wstring& file : dependent) files.push_back(file);
  std::wstring folder = DriverVersionDirectory(environment);
  CreateDirectoryW(DriverDirectory(environment).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const std::wstring& file : files)
    if (DWORD error = CopyDriverFile(file, folder, environment)) return FailWith(error);
  KeyScope key(OpenPrintKey(DriverKeyPath(environment, info.pName), KEY_ALL_ACCESS, true));
  if (!key.Key) return FALSE;
  WriteNumber(key.Key, L"Version", info.cVersion);
  WriteText(key.Key, L"Driver", FileNameOf(info.pDriverPath));
  WriteText(key.Key, L"Data File", FileNameOf(info.pDataFile));
  WriteText(key.Key, L"Configuration File", FileNameOf(info.pConfigFile));
  WriteText(key.Key, L"Help File", Level >= 3 && info.pHelpFile ? FileNameOf(info.pHelpFile) : L"");
  std::vector<std::wstring> dependentNames;
  for (const std::wstring& file : dependent) dependentNames.push_back(FileNameOf(file));
  WriteTextList(key.Key, L"Dependent Files", dependentNames);
  WriteText(key.Key, L"Monitor", Level >= 3 && info.pMonitorName ? info.pMonitorName : L"");
  WriteText(key.Key, L"Datatype", Level >= 3 && info.pDefaultDataType ? info.pDefaultDataType : L"");
  std::vector<std::wstring> previous;
  if (Level >= 4 && info.pszzPreviousNames)
    for (const wchar_t* at = info.pszzPreviousNames; *at; at += wcslen(at) + 1) previous.push_back(at);
  WriteTextList(key.Key, L"Previous Names", previous);
  if (Level == 6) {
    WriteText(key.Key, L"Manufacturer", info.pszMfgName ? info.pszMfgName : L"");
    WriteText(key.Key, L"OEM Url", info.pszOEMUrl ? info.pszOEMUrl : L"");
    WriteText(key.Key, L"HardwareID", info.pszHardwareID ? info.pszHardwareID : L"");
    WriteText(key.Key, L"Provider", info.pszProvider ? info.pszProvider : L"");
  }
  return TRUE;
}

BOOL WINAPI DeletePrinterDriverExW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName, DWORD dwDeleteFlag,
                                   DWORD dwVersionFlag) {
  (void)pName;
  if (DWORD error = SpoolerUp()) return FailWith(error);
  if (!pDriverName || !*pDriverName || !FitsRequest(pDriverName)) return FailWith(ERROR_INVALID_PARAMETER);
  std::wstring environment;
  if (!CanonicalEnvironment(pEnvironment, environment)) return FailWith(ERROR_INVALID_ENVIRONMENT);
  if ((dwDeleteFlag & DPD_DELETE_SPECIFIC_VERSION) && dwVersionFlag != 3) return FailWith(ERROR_UNKNOWN_PRINTER_DRIVER);
  DWORD error = CallService(SpoolerDeleteDriver, dwDeleteFlag, environment, pDriverName);
  return error ? FailWith(error) : TRUE;
}

}  // extern "C"
