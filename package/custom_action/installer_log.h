// Lines written into the Windows Installer log (msiexec /l*v), and the error lines of
// install.exe's own log copied there.
#pragma once
#include <windows.h>
#include <msi.h>

// One line in the Windows Installer log (an information message: logged, never shown).
void LogToInstaller(MSIHANDLE install, const WCHAR* text);
// Copies the "Error(n): ..." lines of install.exe's latest run from
// %ProgramData%\Corvell\Quillstack\install.log into the Windows Installer log, each after
// "install.exe: "; returns how many it copied.
int CopyInstallerErrorLines(MSIHANDLE install);
// The path of install.exe's log, or an empty string.
void InstallerLogPath(WCHAR* path, DWORD units);
