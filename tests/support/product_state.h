// The product's traces on the machine, read and prepared from outside the installer: the tray
// program, printers of the product's driver with key names, and the stand-in spooler's starts.
#pragma once
#include <windows.h>

#include <string>

// The DLL of the registered port monitor "Quillstack:", and the driver path of "Quillstack
// printer" (Windows x64); "<none>" when there is none.
std::wstring MonitorDll();
std::wstring DriverPath();

// A file's bytes, read while others may write it; "" when it cannot be opened.
std::string ReadFileBytes(const std::wstring& path);

// The autostart value "QuillstackTray" (64-bit view); "<none>" when there is none.
std::wstring RunValue();
void DeleteRunValue();
// A window of the calling thread made the desktop's shell window (SetShellWindow) for the life of
// the scope: the test plays the signed-in user's Explorer, whose token an elevated installer
// starts the tray program with. Wine headless has no shell of its own.
struct DesktopShell {
  HWND Window = nullptr;
  bool Set = false;
  DesktopShell();
  ~DesktopShell();
  DesktopShell(const DesktopShell&) = delete;
  DesktopShell& operator=(const DesktopShell&) = delete;
};

// The tray program's window, waiting up to timeoutMs for it to appear; null when none.
HWND WaitForTrayWindow(DWORD timeoutMs);
// Ends a running tray program as the installer does (one exit request, its process awaited).
void EndTray();
// Deletes the system folder's vtxmon64.dll, waiting a little for a process that lets go of it.
bool DeleteSystemMonitorFile();

// Adds a printer of the product's driver on "Quillstack:" (with PRINTER_ATTRIBUTE_NETWORK among
// the attributes: a printer connection, a print server's printer as the spooler lists it).
bool AddOurPrinter(const wchar_t* name, const wchar_t* comment, DWORD attributes = 0);
// Gives an existing printer a key name (printer data "DsUser", "SubKey") and marks its printer
// key below HKCU\Software\Corvell\Quillstack\Quillstacks as deleted.
bool GiveKeyName(const wchar_t* printer, const char* keyName);
// The printer's key name from "DsUser"; "<none>", or "<no printer>" when it cannot be opened.
std::string KeyName(const wchar_t* printer);
bool MarkedDeleted(const char* keyName);

// How often the stand-in's spooler service has started so far, from its trace.
int SpoolerStarts();
