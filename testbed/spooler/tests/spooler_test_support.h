// Shared set-up of the spooler tests: the test monitors in the system folder, a driver whose
// files are staged for AddPrinterDriverExW, printers on given ports.
#pragma once
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#define TEST_MONITOR_NAME L"Quill Test Monitor"
#define TEST_MONITOR_DLL L"quilltestmon.dll"
#define TEST_NOT_MONITOR_DLL L"quillnotmon.dll"
#define TEST_PORT L"QuillTest:"
#define TEST_DRIVER L"Quill Test Driver"

std::wstring SystemFile(const std::wstring& name);
// Copies a DLL of the build into the system folder (false when it is locked).
bool InstallSystemFile(const std::wstring& name);
bool AddTestMonitor();
// Stages driver, UI and help files in a temporary folder and registers the driver (level 6,
// APD_COPY_ALL_FILES). The files in the version-3 folder are named `<stem>drv.dll`, `<stem>ui.dll`,
// `<stem>help.chm`.
bool AddTestDriver(const std::wstring& name, const std::wstring& stem);
std::wstring StagedDriverFile(const std::wstring& file);
// A printer on `port` with `driver`, WinPrint, no data type. Returns the handle or null.
HANDLE AddTestPrinter(const std::wstring& name, const std::wstring& port, const std::wstring& driver);
bool FileIsLocked(const std::wstring& path);  // cannot be opened for writing or deleting
bool FileExists(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);
// The test monitor's record of a job.
std::wstring MonitorJobFile(DWORD jobId, const wchar_t* extension);
