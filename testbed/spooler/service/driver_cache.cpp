#include "driver_cache.h"

#include <vector>

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "service_trace.h"
#include "switches.h"

namespace {

// The files of a registered driver, full paths in the driver's version folder.
std::vector<std::wstring> DriverFiles(HKEY key, const std::wstring& environment, bool withAll) {
  std::vector<std::wstring> files;
  std::wstring folder = DriverVersionDirectory(environment);
  const wchar_t* const loaded[] = {L"Driver", L"Data File", L"Configuration File"};
  for (const wchar_t* value : loaded) {
    std::wstring name = ReadTextOr(key, value, L"");
    if (!name.empty()) files.push_back(folder + name);
  }
  if (withAll) {
    std::wstring help = ReadTextOr(key, L"Help File", L"");
    if (!help.empty()) files.push_back(folder + help);
    for (const std::wstring& dependent : ReadTextList(key, L"Dependent Files")) files.push_back(folder + dependent);
  }
  // The driver file is often its data file too.
  std::vector<std::wstring> unique;
  for (const std::wstring& file : files) {
    bool seen = false;
    for (const std::wstring& other : unique) seen = seen || SameText(file, other);
    if (!seen) unique.push_back(file);
  }
  return unique;
}

bool IsCached(const SpoolerState& state, const std::wstring& environment, const std::wstring& name) {
  for (const CachedDriverFile& file : state.DriverFiles)
    if (SameText(file.Environment, environment) && SameText(file.DriverName, name)) return true;
  return false;
}

}  // namespace

DWORD UseDriver(SpoolerState& state, const std::wstring& environment, const std::wstring& name) {
  if (ReadSwitch(TESTBED_DRIVER_CACHE, 1) == 0 || IsCached(state, environment, name)) return 0;
  KeyScope key(OpenPrintKey(DriverKeyPath(environment, name), KEY_READ, false));
  if (!key.Key) return ERROR_UNKNOWN_PRINTER_DRIVER;
  for (const std::wstring& path : DriverFiles(key.Key, environment, false)) {
    // Held without write or delete sharing: while the spooler holds the file nobody can
    // overwrite or delete it, as with a loaded DLL.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      TraceLine(L"driver \"%s\": %s not loaded, error %lu", name.c_str(), path.c_str(), GetLastError());
      continue;
    }
    state.DriverFiles.push_back(CachedDriverFile{environment, name, path, file});
  }
  // A marker with no file, so that a driver whose files are missing still counts as loaded.
  state.DriverFiles.push_back(CachedDriverFile{environment, name, L"", INVALID_HANDLE_VALUE});
  TraceLine(L"driver \"%s\" (%s) loaded", name.c_str(), environment.c_str());
  return 0;
}

DWORD DeleteDriver(SpoolerState& state, const std::wstring& environment, const std::wstring& name, DWORD flags) {
  if (DWORD fault = TakeFault(TESTBED_FAIL_DELETE_DRIVER, DefaultFaultError(TESTBED_FAIL_DELETE_DRIVER)))
    return fault;
  KeyScope drivers(OpenPrintKey(DriversKeyPath(environment), KEY_ALL_ACCESS, false));
  HKEY driverKey = nullptr;
  if (!drivers.Key || RegOpenKeyExW(drivers.Key, name.c_str(), 0, KEY_READ, &driverKey) != ERROR_SUCCESS)
    return ERROR_UNKNOWN_PRINTER_DRIVER;
  KeyScope driver(driverKey);
  for (const PrinterEntry& printer : ReadPrinterEntries())
    if (SameText(printer.Driver, name)) return ERROR_PRINTER_DRIVER_IN_USE;
  if (IsCached(state, environment, name)) return ERROR_PRINTER_DRIVER_IN_USE;
  std::vector<std::wstring> files;
  if (flags & (DPD_DELETE_ALL_FILES | DPD_DELETE_UNUSED_FILES)) {
    std::vector<std::wstring> own = DriverFiles(driver.Key, environment, true);
    // Files that another driver of the environment also names.
    std::vector<std::wstring> shared;
    for (const std::wstring& other : SubKeyNames(drivers.Key)) {
      if (SameText(other, name)) continue;
      HKEY otherKey = nullptr;
      if (RegOpenKeyExW(drivers.Key, other.c_str(), 0, KEY_READ, &otherKey) != ERROR_SUCCESS) continue;
      KeyScope scope(otherKey);
      for (const std::wstring& file : DriverFiles(otherKey, environment, true)) shared.push_back(file);
    }
    for (const std::wstring& file : own) {
      bool isShared = false;
      for (const std::wstring& other : shared) isShared = isShared || SameText(file, other);
      if (isShared && (flags & DPD_DELETE_ALL_FILES)) return ERROR_PRINTER_DRIVER_IN_USE;
      if (!isShared) files.push_back(file);
    }
    // All or nothing: a file that some process holds refuses the deletion before anything changes.
    for (const std::wstring& file : files) {
      HANDLE probe = CreateFileW(file.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (probe == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
        return ERROR_PRINTER_DRIVER_IN_USE;
      }
      CloseHandle(probe);
    }
  }
  LONG status = RegDeleteTreeW(drivers.Key, name.c_str());
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  for (const std::wstring& file : files) DeleteFileW(file.c_str());
  return 0;
}

void ReleaseDriverCache(SpoolerState& state) {
  for (CachedDriverFile& file : state.DriverFiles)
    if (file.File != INVALID_HANDLE_VALUE) CloseHandle(file.File);
  state.DriverFiles.clear();
}
