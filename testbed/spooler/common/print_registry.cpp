#include "print_registry.h"

#include "testbed_spooler_keys.h"

HKEY OpenPrintKey(const std::wstring& subPath, REGSAM access, bool create) {
  std::wstring path = TESTBED_PRINT_KEY;
  if (!subPath.empty()) path += L"\\" + subPath;
  HKEY key = nullptr;
  LONG status = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, access | KEY_WOW64_64KEY,
                                         nullptr, &key, nullptr)
                       : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | KEY_WOW64_64KEY, &key);
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return nullptr;
  }
  return key;
}

bool ReadText(HKEY key, const wchar_t* value, std::wstring& text) {
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, 0);
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  buffer.back() = 0;
  text = buffer.data();
  return true;
}

std::wstring ReadTextOr(HKEY key, const wchar_t* value, const wchar_t* fallback) {
  std::wstring text;
  return ReadText(key, value, text) ? text : std::wstring(fallback);
}

DWORD ReadNumber(HKEY key, const wchar_t* value, DWORD fallback) {
  DWORD type = 0, number = 0, size = sizeof(number);
  if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(number))
    return fallback;
  return number;
}

std::vector<std::wstring> ReadTextList(HKEY key, const wchar_t* value) {
  std::vector<std::wstring> list;
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, value, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_MULTI_SZ)
    return list;
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, 0);
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return list;
  buffer[buffer.size() - 1] = 0;
  buffer[buffer.size() - 2] = 0;
  for (const wchar_t* at = buffer.data(); *at; at += wcslen(at) + 1) list.push_back(at);
  return list;
}

LONG WriteText(HKEY key, const wchar_t* value, const std::wstring& text) {
  return RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG WriteNumber(HKEY key, const wchar_t* value, DWORD number) {
  return RegSetValueExW(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

LONG WriteTextList(HKEY key, const wchar_t* value, const std::vector<std::wstring>& list) {
  std::wstring joined;
  for (const std::wstring& item : list) {
    joined += item;
    joined.push_back(0);
  }
  joined.push_back(0);
  return RegSetValueExW(key, value, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(joined.data()),
                        static_cast<DWORD>(joined.size() * sizeof(wchar_t)));
}

std::vector<std::wstring> SubKeyNames(HKEY key) {
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD chars = 256;
    if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  return names;
}

bool CanonicalEnvironment(const wchar_t* name, std::wstring& canonical) {
  if (!name || !*name || _wcsicmp(name, L"Windows x64") == 0) {
    canonical = L"Windows x64";
    return true;
  }
  if (_wcsicmp(name, L"Windows NT x86") == 0) {
    canonical = L"Windows NT x86";
    return true;
  }
  return false;
}

std::wstring EnvironmentFolderName(const std::wstring& environment) {
  return environment == L"Windows NT x86" ? L"W32X86" : L"x64";
}

std::wstring SystemDirectory() {
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(path) : std::wstring(L"C:\\windows\\system32");
}

std::wstring DriverDirectory(const std::wstring& environment) {
  return SystemDirectory() + L"\\spool\\drivers\\" + EnvironmentFolderName(environment);
}

std::wstring DriverVersionDirectory(const std::wstring& environment) { return DriverDirectory(environment) + L"\\3\\"; }

std::wstring MonitorKeyPath(const std::wstring& name) { return L"Monitors\\" + name; }
std::wstring DriversKeyPath(const std::wstring& environment) {
  return L"Environments\\" + environment + L"\\Drivers\\Version-3";
}
std::wstring DriverKeyPath(const std::wstring& environment, const std::wstring& name) {
  return DriversKeyPath(environment) + L"\\" + name;
}
std::wstring PrinterKeyPath(const std::wstring& name) { return L"Printers\\" + name; }

std::vector<PrinterEntry> ReadPrinterEntries() {
  std::vector<PrinterEntry> printers;
  KeyScope root(OpenPrintKey(L"Printers", KEY_READ, false));
  if (!root.Key) return printers;
  for (const std::wstring& keyName : SubKeyNames(root.Key)) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root.Key, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    KeyScope scope(key);
    PrinterEntry entry;
    entry.Name = ReadTextOr(key, L"Name", keyName.c_str());
    entry.Port = ReadTextOr(key, L"Port", L"");
    entry.Driver = ReadTextOr(key, L"Printer Driver", L"");
    printers.push_back(entry);
  }
  return printers;
}

std::vector<std::wstring> SplitPorts(const std::wstring& ports) {
  std::vector<std::wstring> list;
  size_t start = 0;
  while (start <= ports.size()) {
    size_t comma = ports.find(L',', start);
    if (comma == std::wstring::npos) comma = ports.size();
    std::wstring port = ports.substr(start, comma - start);
    size_t first = port.find_first_not_of(L' ');
    size_t last = port.find_last_not_of(L' ');
    if (first != std::wstring::npos) list.push_back(port.substr(first, last - first + 1));
    start = comma + 1;
  }
  return list;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }
