// The user's default printer: GetDefaultPrinterW (ordinal 203), SetDefaultPrinterW (204).
// HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows, value "Device" = "name,winspool,port".
#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"
#include "printer_records.h"
#include "spooler_link.h"

namespace {

// The default printer's name when it names an existing printer.
bool CurrentDefault(std::wstring& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, TESTBED_WINDOWS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  std::wstring device;
  bool found = ReadText(key, L"Device", device);
  RegCloseKey(key);
  if (!found) return false;
  name = device.substr(0, device.find(L','));
  PrinterRecord record;
  if (name.empty() || !ReadPrinterRecord(name, record)) return false;
  name = record.Name;
  return true;
}

}  // namespace

extern "C" {

BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
  if (!pcchBuffer) return FailWith(ERROR_INVALID_PARAMETER);
  if (DWORD error = SpoolerUp()) return FailWith(error);
  std::wstring name;
  if (!CurrentDefault(name)) return FailWith(ERROR_FILE_NOT_FOUND);
  DWORD chars = static_cast<DWORD>(name.size() + 1);
  if (!pszBuffer || *pcchBuffer < chars) {
    *pcchBuffer = chars;
    return FailWith(ERROR_INSUFFICIENT_BUFFER);
  }
  wmemcpy(pszBuffer, name.c_str(), chars);
  *pcchBuffer = chars;
  return TRUE;
}

BOOL WINAPI SetDefaultPrinterW(LPCWSTR pszPrinter) {
  if (DWORD error = SpoolerUp()) return FailWith(error);
  PrinterRecord record;
  if (!pszPrinter || !*pszPrinter) {
    // No name: keep a valid default, else make the first printer the default.
    std::wstring current;
    if (CurrentDefault(current)) return TRUE;
    std::vector<PrinterRecord> printers = ReadPrinterRecords();
    if (printers.empty()) return FailWith(ERROR_INVALID_PRINTER_NAME);
    record = printers[0];
  } else if (!ReadPrinterRecord(pszPrinter, record)) {
    return FailWith(ERROR_INVALID_PRINTER_NAME);
  }
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, TESTBED_WINDOWS_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr);
  if (status != ERROR_SUCCESS) return FailWith(static_cast<DWORD>(status));
  std::vector<std::wstring> ports = SplitPorts(record.Port);
  status = WriteText(key, L"Device", record.Name + L",winspool," + (ports.empty() ? L"" : ports[0]));
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? TRUE : FailWith(static_cast<DWORD>(status));
}

}  // extern "C"
