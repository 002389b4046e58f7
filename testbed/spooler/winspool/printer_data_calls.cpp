// Printer data: Get/SetPrinterData(Ex) A and W. Values without a key name live in the printer's
// "PrinterDriverData" key, keyed values in a key of that name below the printer's key.
#include <vector>

#include "../common/print_registry.h"
#include "spooler_link.h"

namespace {

// Opens the data key of the printer behind the handle. 0 or the error the call returns.
DWORD OpenDataKey(HANDLE hPrinter, const std::wstring* keyName, bool forWriting, HKEY& key) {
  key = nullptr;
  PrinterHandle* printer = CheckedHandle(hPrinter);
  if (!printer) return GetLastError();
  if (forWriting && !(printer->Access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
  if (keyName && keyName->empty()) return ERROR_INVALID_PARAMETER;
  KeyScope printerKey(OpenPrintKey(PrinterKeyPath(printer->Name), KEY_ALL_ACCESS, false));
  if (!printerKey.Key) return ERROR_INVALID_PRINTER_NAME;
  std::wstring sub = keyName ? *keyName : std::wstring(L"PrinterDriverData");
  LONG status = forWriting ? RegCreateKeyExW(printerKey.Key, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr)
                           : RegOpenKeyExW(printerKey.Key, sub.c_str(), 0, KEY_READ, &key);
  return static_cast<DWORD>(status);
}

std::wstring Widen(LPCSTR text) {
  if (!text) return std::wstring();
  int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (chars <= 0) return std::wstring();
  std::vector<wchar_t> buffer(chars);
  MultiByteToWideChar(CP_ACP, 0, text, -1, buffer.data(), chars);
  return std::wstring(buffer.data());
}

// RegQueryValueEx with the spooler's contract: ERROR_MORE_DATA and the size needed when the
// buffer is too small, also when no buffer is given.
template <typename Query>
DWORD QueryInto(Query query, LPDWORD pType, LPBYTE pData, DWORD nSize, LPDWORD pcbNeeded) {
  if (!pcbNeeded) return RPC_X_NULL_REF_POINTER;
  DWORD type = 0, size = 0;
  LONG status = query(&type, nullptr, &size);
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  *pcbNeeded = size;
  if (pType) *pType = type;
  if (size > nSize || (size > 0 && !pData)) return ERROR_MORE_DATA;
  DWORD got = nSize;
  status = query(&type, pData, &got);
  if (status == ERROR_SUCCESS) *pcbNeeded = got;
  return static_cast<DWORD>(status);
}

// The registry's value calls in both character sets; the ANSI ones convert string values, as the
// spooler does.
LONG QueryValue(HKEY key, LPCWSTR name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExW(key, name, nullptr, type, data, size);
}
LONG QueryValue(HKEY key, LPCSTR name, DWORD* type, BYTE* data, DWORD* size) {
  return RegQueryValueExA(key, name, nullptr, type, data, size);
}
LONG SetValue(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
  return RegSetValueExW(key, name, 0, type, data, size);
}
LONG SetValue(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size) {
  return RegSetValueExA(key, name, 0, type, data, size);
}

// One value of the printer's data key (keyName null: "PrinterDriverData").
template <typename Name>
DWORD GetData(HANDLE hPrinter, const std::wstring* keyName, Name valueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
              LPDWORD pcbNeeded) {
  HKEY key = nullptr;
  if (DWORD error = OpenDataKey(hPrinter, keyName, false, key)) return error;
  KeyScope scope(key);
  return QueryInto([&](DWORD* type, BYTE* data, DWORD* size) { return QueryValue(key, valueName, type, data, size); },
                   pType, pData, nSize, pcbNeeded);
}

template <typename Name>
DWORD SetData(HANDLE hPrinter, const std::wstring* keyName, Name valueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  HKEY key = nullptr;
  if (DWORD error = OpenDataKey(hPrinter, keyName, true, key)) return error;
  KeyScope scope(key);
  if (!pData && cbData) return ERROR_INVALID_PARAMETER;
  return static_cast<DWORD>(SetValue(key, valueName, Type, pData, cbData));
}

}  // namespace

extern "C" {

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  return GetData(hPrinter, nullptr, static_cast<LPCWSTR>(pValueName), pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI GetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, LPDWORD pType, LPBYTE pData,
                               DWORD nSize, LPDWORD pcbNeeded) {
  if (!pKeyName) return ERROR_INVALID_PARAMETER;
  std::wstring keyName = pKeyName;
  return GetData(hPrinter, &keyName, pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI GetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  return GetData(hPrinter, nullptr, static_cast<LPCSTR>(pValueName), pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI GetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, LPDWORD pType, LPBYTE pData,
                               DWORD nSize, LPDWORD pcbNeeded) {
  if (!pKeyName) return ERROR_INVALID_PARAMETER;
  std::wstring keyName = Widen(pKeyName);
  return GetData(hPrinter, &keyName, pValueName, pType, pData, nSize, pcbNeeded);
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  return SetData(hPrinter, nullptr, static_cast<LPCWSTR>(pValueName), Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, DWORD Type, LPBYTE pData,
                               DWORD cbData) {
  if (!pKeyName) return ERROR_INVALID_PARAMETER;
  std::wstring keyName = pKeyName;
  return SetData(hPrinter, &keyName, pValueName, Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataA(HANDLE hPrinter, LPSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  return SetData(hPrinter, nullptr, static_cast<LPCSTR>(pValueName), Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataExA(HANDLE hPrinter, LPCSTR pKeyName, LPCSTR pValueName, DWORD Type, LPBYTE pData,
                               DWORD cbData) {
  if (!pKeyName) return ERROR_INVALID_PARAMETER;
  std::wstring keyName = Widen(pKeyName);
  return SetData(hPrinter, &keyName, pValueName, Type, pData, cbData);
}

}  // extern "C"
