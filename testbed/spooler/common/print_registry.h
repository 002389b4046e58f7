// The spooler's state in the registry, where Windows keeps it; read and written by the service
// and by the stand-in's winspool.drv alike.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Opens (or creates) a key below HKLM\SYSTEM\CurrentControlSet\Control\Print. Null on failure,
// with the registry's error as the last error.
HKEY OpenPrintKey(const std::wstring& subPath, REGSAM access, bool create);
// RAII for a registry key.
struct KeyScope {
  HKEY Key;
  explicit KeyScope(HKEY key) : Key(key) {}
  ~KeyScope() {
    if (Key) RegCloseKey(Key);
  }
  KeyScope(const KeyScope&) = delete;
  KeyScope& operator=(const KeyScope&) = delete;
};

bool ReadText(HKEY key, const wchar_t* value, std::wstring& text);
std::wstring ReadTextOr(HKEY key, const wchar_t* value, const wchar_t* fallback);
DWORD ReadNumber(HKEY key, const wchar_t* value, DWORD fallback);
// A REG_MULTI_SZ value as a list (empty when missing).
std::vector<std::wstring> ReadTextList(HKEY key, const wchar_t* value);
LONG WriteText(HKEY key, const wchar_t* value, const std::wstring& text);
LONG WriteNumber(HKEY key, const wchar_t* value, DWORD number);
LONG WriteTextList(HKEY key, const wchar_t* value, const std::vector<std::wstring>& list);
std::vector<std::wstring> SubKeyNames(HKEY key);

// The spooler environments this machine knows: "Windows x64" (its own) and "Windows NT x86".
// A null or empty name means "Windows x64". False for any other name.
bool CanonicalEnvironment(const wchar_t* name, std::wstring& canonical);
// "x64" or "W32X86".
std::wstring EnvironmentFolderName(const std::wstring& environment);
// C:\windows\system32\spool\drivers\x64 (no trailing backslash).
std::wstring DriverDirectory(const std::wstring& environment);
// The version-3 folder of the driver directory, with a trailing backslash.
std::wstring DriverVersionDirectory(const std::wstring& environment);
std::wstring SystemDirectory();

std::wstring MonitorKeyPath(const std::wstring& name);
std::wstring DriverKeyPath(const std::wstring& environment, const std::wstring& name);
std::wstring DriversKeyPath(const std::wstring& environment);
std::wstring PrinterKeyPath(const std::wstring& name);

// A printer as the registry holds it (only the fields the spooler's own logic needs).
struct PrinterEntry {
  std::wstring Name;
  std::wstring Port;  // comma-separated list, as in PRINTER_INFO_2W
  std::wstring Driver;
};
std::vector<PrinterEntry> ReadPrinterEntries();
// The ports of a comma-separated port list, blanks trimmed.
std::vector<std::wstring> SplitPorts(const std::wstring& ports);
bool SameText(const std::wstring& a, const std::wstring& b);  // case-insensitive, as Windows names
